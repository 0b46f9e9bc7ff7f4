// The XC Trainer / Top Navigator routines against the simulated instrument in memory (fake
// clock): MXP and TNC logs fix for fix in UTC with the raw log kept, the instrument's faults,
// the inactivity limits, competition mode, waypoints both ways.
#include <gtest/gtest.h>

#include <algorithm>

#include "devices/xctrainer/xctrainer_transfers.h"
#include "tests/devices/xctrainer/xctrainer_test_support.h"

namespace tarnvik::devices::xctrainer {
namespace {

using testing::xctrainer::Config;
using tarnvik::testing::Degrees;
using testing::xctrainer::FlightStart;
using testing::xctrainer::Rig;
using testing::xctrainer::SameFixes;
using testing::xctrainer::XcSend;
using sim::xctrainer::WalkTrack;

bool Has(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

struct MxpModel {
  bool xcTrainer;
  int protocol;
  const char* product;
};

class MxpDownload : public ::testing::TestWithParam<MxpModel> {};

TEST_P(MxpDownload, FixForFixWithRawLogAndProduct) {
  Rig rig(Config(XcSend::Mxp, GetParam().xcTrainer));
  rig.device.track = WalkTrack(250, FlightStart());
  rig.device.track[200].time += 65536 - 200;  // past the 16-bit offset: a long pause
  for (size_t i = 201; i < 250; ++i) rig.device.track[i].time = rig.device.track[200].time + static_cast<uint32_t>(i - 200);
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, GetParam().protocol);
  ASSERT_EQ(ReceiveMxpLog(job), 0) << ::testing::PrintToString(rig.FailureTexts());
  EXPECT_TRUE(rig.FailureTexts().empty());
  EXPECT_TRUE(SameFixes(job.data.points, rig.device.ServedFixes()));
  EXPECT_EQ(job.count, 250);
  EXPECT_EQ(job.origin, 3);
  EXPECT_EQ(job.extra, 0);
  EXPECT_EQ(job.data.rawDevice, rig.Transmission());
  EXPECT_EQ(job.data.text, GetParam().product);
  EXPECT_EQ(rig.operation.products, std::vector<std::string>{GetParam().product});
  for (const char* s : {"Waiting for data", "100 points of 250 read", "200 points of 250 read", "250 points received"}) {
    EXPECT_TRUE(Has(rig.operation.statuses, s)) << s;
  }
}

INSTANTIATE_TEST_SUITE_P(Models, MxpDownload,
                         ::testing::Values(MxpModel{true, access::kProtocolXcTrainerMxp, "XC Trainer V1.2-05, S/N 4711"},
                                           MxpModel{false, access::kProtocolTopNavigatorMxp,
                                                    "Top Navigator V1.205, S/N 4711"}));

TEST(MxpDownload, CountOfZeroEndsAtOnceWithTheHeaderAsRawLog) {
  Rig rig(Config(XcSend::Mxp));
  rig.device.track = WalkTrack(5, FlightStart());
  rig.device.config().announcedCount = 0;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolXcTrainerMxp);
  ASSERT_EQ(ReceiveMxpLog(job), 0);
  EXPECT_TRUE(job.data.points.empty());
  const std::vector<uint8_t> all = rig.Transmission();
  const auto lf = std::find(all.begin(), all.end(), '\n');
  EXPECT_EQ(job.data.rawDevice, std::vector<uint8_t>(all.begin(), lf + 1));
}

TEST(MxpDownload, InstrumentFaults) {
  struct Case {
    const char* fault;
    bool xcTrainer;
    const char* caption;
    const char* text;
  };
  const Case cases[] = {
      {"checksum=7", true, "Decode track log sentence", "E202 Bad checksum"},
      {"skip=4", true, "Decode track log sentence", "E202 Bad record number sequence"},
      {"count=30", true, "Read GPS track log", "E204 No data received"},
      {"silent=3", true, "Read GPS track log", "E204 No data received"},
      {"delay=121000", true, "Read GPS track log", "E204 No data received"},
      {"sprinkle=1", false, "Decode track log sentence", "E202 Bad identifier"},
  };
  for (const Case& c : cases) {
    Rig rig(Config(XcSend::Mxp, c.xcTrainer));
    rig.device.track = WalkTrack(20, FlightStart());
    std::string error;
    ASSERT_TRUE(sim::xctrainer::ApplyXcTrainerFault(c.fault, rig.device.config(), error)) << error;
    access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolXcTrainerMxp);
    EXPECT_EQ(ReceiveMxpLog(job), -1) << c.fault;
    EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{std::string(c.caption) + ": " + c.text}) << c.fault;
    EXPECT_TRUE(job.data.points.empty());
    EXPECT_TRUE(job.data.rawDevice.empty());
  }
}

TEST(MxpDownload, FirstByteMayTakeUpToTwoMinutes) {
  Rig rig(Config(XcSend::Mxp));
  rig.device.track = WalkTrack(20, FlightStart());
  rig.device.config().delayMs = 119000;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolXcTrainerMxp);
  ASSERT_EQ(ReceiveMxpLog(job), 0) << ::testing::PrintToString(rig.FailureTexts());
  EXPECT_EQ(job.data.points.size(), 20u);
}

TEST(MxpDownload, InstrumentAtAnotherSpeedIsUnreadable) {
  Rig rig(Config(XcSend::Mxp));
  rig.device.track = WalkTrack(20, FlightStart());
  rig.device.config().baud = 9600;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolXcTrainerMxp);
  EXPECT_EQ(ReceiveMxpLog(job), -1);
  EXPECT_EQ(rig.FailureTexts().size(), 1u);
  EXPECT_TRUE(job.data.points.empty());
}

TEST(TncDownload, LocalTimeBecomesUtcAndRawLogHasNoFlowControl) {
  Rig rig(Config(XcSend::Tnc));
  // 23:59:20 local on the 14th at -5 h: the local date changes after 40 s, the UTC date is the 15th.
  rig.device.track = WalkTrack(95, FlightStart() - 5 * 3600 - 40);
  rig.device.track.erase(rig.device.track.begin() + 50);          // a missing second is repeated
  rig.device.config().sprinkle = 7;
  rig.device.config().offsetHours = -5;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolXcTrainer);
  ASSERT_EQ(ReceiveTncLog(job), 0) << ::testing::PrintToString(rig.FailureTexts());
  EXPECT_TRUE(rig.FailureTexts().empty());
  EXPECT_TRUE(SameFixes(job.data.points, rig.device.ServedFixes()));
  EXPECT_EQ(job.data.points.size(), 95u);
  EXPECT_EQ(job.extra, kUtcExtra);
  EXPECT_EQ(job.origin, 3);
  EXPECT_TRUE(job.data.text.empty());
  EXPECT_EQ(job.data.rawDevice, rig.Transmission());
  EXPECT_EQ(rig.operation.products, std::vector<std::string>{"XC Trainer"});
  EXPECT_TRUE(Has(rig.operation.statuses, "95 points received"));
  // The capture holds what came over the line, XON/XOFF included.
  const std::string captured = rig.capture.Contents();
  EXPECT_NE(captured.find('\x13'), std::string::npos);
}

// A line that delivers nothing but XON/XOFF, one byte per read after 500 ms.
class FlowControlOnly final : public access::Transport {
 public:
  explicit FlowControlOnly(core::Clock& clock) : clock_(clock) {}
  int SetSpeed(int, bool) override { return 0; }
  int Read(uint8_t* buffer, size_t, int maxWaitMs) override {
    clock_.SleepMs(std::min(maxWaitMs, 500));
    buffer[0] = (++reads_ % 2) ? 0x11 : 0x13;
    return 1;
  }
  int Write(const uint8_t*, size_t) override { return 0; }
  void Purge() override {}
  void Close() override {}

 private:
  core::Clock& clock_;
  int reads_ = 0;
};

TEST(TrackDownloads, FlowControlBytesAloneDoNotKeepTheHostListening) {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  FlowControlOnly line(clock);
  access::AccessJob job(access::kAccessDownloadTrackLog, access::kProtocolXcTrainer, line, clock, operation, capture);
  const int64_t start = clock.NowMs();
  EXPECT_EQ(ReceiveTncLog(job), -1);
  EXPECT_LE(clock.NowMs() - start, kFirstByteLimitMs + 500);
  ASSERT_EQ(operation.failures.size(), 1u);
  EXPECT_EQ(operation.failures[0].text, "E204 No data received");
}

TEST(TncDownload, TopNavigatorWithoutTimeZoneKeepsLocalTime) {
  Rig rig(Config(XcSend::Tnc, false));
  rig.device.track = WalkTrack(40, FlightStart());
  rig.device.config().offsetByte = 0x40;  // 64 h: no zone
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolTopNavigator);
  ASSERT_EQ(ReceiveTncLog(job), 0) << ::testing::PrintToString(rig.FailureTexts());
  EXPECT_EQ(job.extra, 0);
  EXPECT_EQ(rig.operation.products, std::vector<std::string>{"Top Navigator"});
  EXPECT_TRUE(SameFixes(job.data.points, rig.device.ServedFixes()));
}

TEST(TncDownload, DamagedFirstLineOfABlockIsReportedAndTheRestKept) {
  Rig rig(Config(XcSend::Tnc));
  rig.device.track = WalkTrack(70, FlightStart());
  rig.device.config().damagedLine = 31;  // the first line of the second block
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolXcTrainer);
  ASSERT_EQ(ReceiveTncLog(job), 0);
  EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{"Read GPS track log: Error(s) in 1 block(s) ignored"});
  std::vector<sim::xctrainer::XcSimFix> served = rig.device.ServedFixes();
  served.erase(served.begin() + 30);
  EXPECT_TRUE(SameFixes(job.data.points, served));
}

TEST(TncDownload, InstrumentFaults) {
  struct Case {
    const char* fault;
    const char* text;
  };
  const Case cases[] = {
      {"block=31", "E202 Format error 23"},
      {"step=20", "E202 Format error 2"},
      {"damage=5", "E202 Format error 21"},
      {"noeof", "E204 No data received"},
      {"silent=10", "E204 No data received"},
      {"baud=9600", "E203 Too long sentence"},  // an XC Trainer sending at 9600: garbage without line ends
  };
  for (const Case& c : cases) {
    Rig rig(Config(XcSend::Tnc));
    rig.device.track = WalkTrack(70, FlightStart());
    std::string error;
    ASSERT_TRUE(sim::xctrainer::ApplyXcTrainerFault(c.fault, rig.device.config(), error)) << error;
    access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolXcTrainer);
    EXPECT_EQ(ReceiveTncLog(job), -1) << c.fault;
    EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{std::string("Read GPS track log: ") + c.text}) << c.fault;
    EXPECT_TRUE(job.data.points.empty());
    EXPECT_TRUE(job.data.rawDevice.empty());
  }
}

TEST(TrackDownloads, CompetitionConfirmationWithoutIds) {
  for (bool confirm : {true, false}) {
    Rig rig(Config(XcSend::Tnc));
    rig.device.track = WalkTrack(10, FlightStart());
    rig.operation.confirm = confirm;
    access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolXcTrainer);
    job.competition = true;
    job.competitionId = 17;
    EXPECT_EQ(ReceiveTncLog(job), confirm ? 0 : -1);
    EXPECT_EQ(rig.operation.asked, (std::vector<std::pair<int32_t, int32_t>>{{-1, -1}}));
    EXPECT_EQ(job.competitionId, -1);
    EXPECT_EQ(job.data.points.size(), confirm ? 10u : 0u);
  }
}

TEST(TrackDownloads, AbortEndsListeningWithoutMessage) {
  Rig rig(Config(XcSend::Tnc));
  rig.device.track = WalkTrack(10, FlightStart());
  rig.device.config().delayMs = 60000;
  rig.operation.cancelAfterStatuses = 2;  // "Waiting for data" is the second text
  rig.operation.Status("opened");
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolXcTrainer);
  EXPECT_EQ(ReceiveTncLog(job), -1);
  EXPECT_TRUE(rig.FailureTexts().empty());
  EXPECT_EQ(rig.operation.statuses.back(), "Transfer aborted");
}

TEST(Waypoints, ListIsReadAndEveryLineAnswered) {
  Rig rig(Config(XcSend::Waypoints));
  rig.device.waypoints = {{"ABC___", 47.5, 8.25, 852}, {"GRIMSEL", -12.25, -100.5, -20}, {"AB_", 1, 2, 3}};
  access::AccessJob& job = rig.Job(access::kAccessDownloadWaypoints, access::kProtocolXcTrainer);
  ASSERT_EQ(ReceiveTncWaypoints(job), 0) << ::testing::PrintToString(rig.FailureTexts());
  ASSERT_EQ(job.data.waypoints.size(), 3u);
  EXPECT_STREQ(job.data.waypoints[0].id, "ABC");
  EXPECT_STREQ(job.data.waypoints[1].id, "GRIMSE");
  EXPECT_STREQ(job.data.waypoints[2].id, "AB_");
  EXPECT_NEAR(Degrees(job.data.waypoints[1].latitude), -12.25, 1e-7);
  EXPECT_NEAR(Degrees(job.data.waypoints[1].longitude), -100.5, 1e-7);
  EXPECT_EQ(job.data.waypoints[0].altitude, 852);
  EXPECT_EQ(job.data.waypoints[1].altitude, 0);
  EXPECT_EQ(job.origin, 3);
  // The comment line and the three waypoints: four answers, none missing or doubled.
  EXPECT_EQ(rig.device.answered(), 4);
  EXPECT_EQ(rig.device.missingAnswers(), 0);
  EXPECT_EQ(rig.device.doubledAnswers(), 0);
  EXPECT_TRUE(Has(rig.operation.statuses, "3 waypoints received"));
}

TEST(Waypoints, EmptyListFailsSilentlyAndSilenceIsSaid) {
  Rig empty(Config(XcSend::Waypoints));
  access::AccessJob& job = empty.Job(access::kAccessDownloadWaypoints, access::kProtocolTopNavigator);
  EXPECT_EQ(ReceiveTncWaypoints(job), -1);
  EXPECT_TRUE(empty.FailureTexts().empty());

  Rig silent(Config(XcSend::Waypoints));
  silent.device.waypoints = {{"ABC", 47.5, 8.25, 852}};
  silent.device.config().noEof = true;
  access::AccessJob& job2 = silent.Job(access::kAccessDownloadWaypoints, access::kProtocolTopNavigator);
  EXPECT_EQ(ReceiveTncWaypoints(job2), -1);
  EXPECT_EQ(silent.FailureTexts(), std::vector<std::string>{"Read GPS waypoints: E304 No data received"});
  EXPECT_TRUE(job2.data.waypoints.empty());
}

TEST(Waypoints, UploadSendsPacketsFourHundredMillisecondsApart) {
  Rig rig(Config(XcSend::Waypoints));
  access::AccessJob& job = rig.Job(access::kAccessUploadWaypoints, access::kProtocolXcTrainer);
  core::Waypoint a, b;
  std::snprintf(a.id, sizeof a.id, "XC1");
  a.latitude = *core::LatitudeFromDegrees(47.5);
  a.longitude = *core::LongitudeFromDegrees(8.25);
  a.altitude = 0x1113;
  std::snprintf(b.id, sizeof b.id, "LOW");
  b.latitude = *core::LatitudeFromDegrees(-33.25);
  b.longitude = *core::LongitudeFromDegrees(-70.5);
  b.altitude = -20;
  job.data.waypoints = {a, b};
  const int64_t before = rig.clock.NowMs();
  ASSERT_EQ(SendTncWaypoints(job), 0);
  EXPECT_GE(rig.clock.NowMs() - before, 800);
  ASSERT_EQ(rig.device.uploads().size(), 2u);
  EXPECT_EQ(rig.device.uploads()[0].id, "XC1");
  EXPECT_EQ(rig.device.uploads()[0].altitude, 0x1113);
  EXPECT_NEAR(rig.device.uploads()[1].latitude, -33.25, 1e-9);
  EXPECT_NEAR(rig.device.uploads()[1].longitude, -70.5, 1e-9);
  EXPECT_EQ(rig.device.uploads()[1].altitude, 0);
  EXPECT_EQ(rig.device.badPackets(), 0);
  for (const char* s : {"Waypoint 1 sent", "Waypoint 2 sent", "2 waypoints sent"}) {
    EXPECT_TRUE(Has(rig.operation.statuses, s)) << s;
  }
  // Nothing but the packets went out.
  EXPECT_EQ(rig.wire.written().size(), 60u);
}

TEST(Routines, RegisteredInTheirCells) {
  access::AccessRoutineTable table;
  RegisterXcTrainerRoutines(table);
  using namespace access;
  for (int p : {kProtocolTopNavigator, kProtocolXcTrainer}) {
    EXPECT_NE(table.Find(kAccessDownloadTrackLog, p), nullptr);
    EXPECT_NE(table.Find(kAccessDownloadWaypoints, p), nullptr);
    EXPECT_NE(table.Find(kAccessUploadWaypoints, p), nullptr);
  }
  for (int p : {kProtocolTopNavigatorMxp, kProtocolXcTrainerMxp}) {
    EXPECT_NE(table.Find(kAccessDownloadTrackLog, p), nullptr);
    EXPECT_EQ(table.Find(kAccessDownloadWaypoints, p), nullptr);
  }
}

}  // namespace
}  // namespace tarnvik::devices::xctrainer
