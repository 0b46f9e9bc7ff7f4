// The Flytec/Brauniger routines against the simulated instrument in memory (fake clock): every
// operation with and without the unit's XOFF ... XON framing, the time limits, the track choice,
// the IGC text kept byte for byte, waypoints both ways and the competition IDs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/records.h"
#include "devices/flytec/flytec_transfers.h"
#include "formats/kml_reader.h"
#include "tests/devices/flytec/flytec_test_support.h"

namespace tarnvik::devices::flytec {
namespace {

using testing::flytec::MakeIgc;
using testing::flytec::Rig;
using testing::flytec::Walk;

sim::flytec::FlytecDeviceConfig Config(bool framed, const char* name = "COMPEO", const char* version = "2.2") {
  sim::flytec::FlytecDeviceConfig c;
  c.noFraming = !framed;
  c.name = name;
  c.software = version;
  return c;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

class FlytecFramings : public ::testing::TestWithParam<bool> {};

TEST_P(FlytecFramings, ChosenTrackArrivesByteForByte) {
  Rig rig(Config(GetParam()));
  rig.device.tracks = {MakeIgc(Walk(5)), MakeIgc(Walk(150, 12)), MakeIgc(Walk(3, 14))};
  rig.operation.choices = {1};
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
  ASSERT_EQ(FlytecReadTrack(job), kIgcTrackResult) << ::testing::PrintToString(rig.FailureTexts());
  EXPECT_TRUE(rig.FailureTexts().empty());
  EXPECT_EQ(job.origin, 5);
  EXPECT_EQ(job.data.rawIgc, Bytes(rig.device.ServedIgc(1)));
  ASSERT_EQ(job.data.points.size(), 150u);
  EXPECT_EQ(job.count, 150);
  EXPECT_EQ(job.data.text, "COMPEO, SN12345, SW2.2");
  EXPECT_EQ(rig.operation.products.front(), "COMPEO, SN12345, SW2.2");
  // The list as the dialog showed it, and the request for the chosen number.
  ASSERT_EQ(rig.operation.failures.front().caption, "Track list");
  EXPECT_EQ(rig.device.requests().back(), "PBRTR,01");
  const uint32_t day = *core::CalendarToTime({2024, 7, 0, 15, 0, 0, 0, 0});
  EXPECT_EQ(job.data.points.front().time, day + 12 * 3600);
  EXPECT_EQ(job.data.points.back().time, day + 12 * 3600 + 149);
  EXPECT_EQ(job.data.points.front().flags, 1u);
  EXPECT_EQ(job.data.points.back().height, 1149 * 10);
  const auto& s = rig.operation.statuses;
  for (const char* text : {"Requesting product information", "Product data read", "Requesting track list",
                           "3 tracks in track list found", "Requesting track log", "Receiving track log",
                           "Track posistion 101", "150 points received"}) {
    EXPECT_NE(std::find(s.begin(), s.end(), text), s.end()) << text;
  }
  // Every byte both ways is in the capture, the unit's XON/XOFF included.
  const std::string captured = rig.capture.Contents();
  EXPECT_EQ(captured.rfind("\x11$PBRSNP,*21\r\n", 0), 0u);
  EXPECT_EQ(std::count(captured.begin(), captured.end(), '\x13') > 0, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Framing, FlytecFramings, ::testing::Bool());

TEST(FlytecReadTrack, XonXoffAnywhereAndLowerCaseDigitsInProductAndList) {
  sim::flytec::FlytecDeviceConfig c = Config(true);
  c.sprinkle = 3;
  c.lowerCaseDigits = true;
  Rig rig(c);
  rig.device.tracks = {MakeIgc(Walk(20))};
  rig.operation.choices = {0};
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
  ASSERT_EQ(FlytecReadTrack(job), kIgcTrackResult) << ::testing::PrintToString(rig.FailureTexts());
  // The raw log is the served text without any flow-control byte.
  EXPECT_EQ(job.data.rawIgc, Bytes(rig.device.ServedIgc(0)));
  EXPECT_EQ(job.data.points.size(), 20u);
}

TEST(FlytecReadTrack, VersionDecidesBetweenListAndNewest) {
  for (const char* version : {"2.19", "2.2"}) {
    Rig rig(Config(true, "GALILEO", version));
    rig.device.tracks = {MakeIgc(Walk(4)), MakeIgc(Walk(6))};
    rig.device.config().selectedTrack = 1;  // what the unit's analysis page shows
    rig.operation.choices = {0};
    access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
    ASSERT_EQ(FlytecReadTrack(job), kIgcTrackResult) << version;
    const bool lists = std::string(version) == "2.2";
    EXPECT_EQ(rig.device.requests().back(), lists ? "PBRTR,00" : "PBRIGC,") << version;
    EXPECT_EQ(job.data.points.size(), lists ? 4u : 6u) << version;
  }
}

TEST(FlytecReadTrack, CancelledChoiceEndsWithoutMessage) {
  Rig rig(Config(true));
  rig.device.tracks = {MakeIgc(Walk(4))};
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
  EXPECT_EQ(FlytecReadTrack(job), -1);
  EXPECT_TRUE(rig.FailureTexts().empty());
  EXPECT_TRUE(job.data.points.empty());
  EXPECT_TRUE(job.data.rawIgc.empty());
}

TEST(FlytecReadTrack, MidnightAndRepeatedFixes) {
  sim::flytec::FlytecDeviceConfig c = Config(true, "5020", "1.13");  // newest only
  c.repeatB = true;
  Rig rig(c);
  rig.device.tracks = {MakeIgc(Walk(4, 23, 59, 58))};
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
  ASSERT_EQ(FlytecReadTrack(job), kIgcTrackResult);
  ASSERT_EQ(job.data.points.size(), 8u);
  const uint32_t day = *core::CalendarToTime({2024, 7, 0, 15, 0, 0, 0, 0});
  const uint32_t expected[] = {day + 86398, day + 86398, day + 86399, day + 86399,
                               day + 86400, day + 86400, day + 86401, day + 86401};
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(job.data.points[i].time, expected[i]) << i;
}

TEST(FlytecReadTrack, ReplyFaults) {
  struct Case {
    const char* name;
    void (*set)(sim::flytec::FlytecDeviceConfig&);
    int result;
    std::vector<std::string> messages;
    size_t points;
  } cases[] = {
      {"no date line", [](auto& c) { c.noDate = true; }, -1, {"E206 Format error 25"}, 0},
      {"no G record", [](auto& c) { c.noG = true; }, 0, {"No G-records found"}, 10},
      // Cut before the last LF: the pending line is the last fix.
      {"cut in the last line end", [](auto& c) { c.cutIgcAt = -1; }, 0, {"No G-records found"}, 10},
      {"bad checksum", [](auto& c) { c.badChecksumAtSentence = 1; }, -1, {"E105 Format error 13"}, 0},
      {"silent", [](auto& c) { c.silentFromSentence = 1; }, -1, {"E101 Serial number request timeout"}, 0},
      {"blank pilot", [](auto& c) { c.blankPilot = true; }, 0, {}, 10},
      {"name too long", [](auto& c) { c.name = "ABCDEFGHIJKLMNOPQ"; }, -1, {"E105 Format error 2"}, 0},
  };
  for (const Case& c : cases) {
    sim::flytec::FlytecDeviceConfig config = Config(true, "5030", "2.0");
    c.set(config);
    const bool cutLast = config.cutIgcAt == -1;
    if (cutLast) config.noG = true;
    Rig rig(config);
    rig.device.tracks = {MakeIgc(Walk(10))};
    if (cutLast) rig.device.config().cutIgcAt = static_cast<int>(rig.device.ServedIgc(0).size()) - 1;
    access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
    const int64_t start = rig.clock.NowMs();
    EXPECT_EQ(FlytecReadTrack(job), c.result == 0 ? kIgcTrackResult : c.result) << c.name;
    EXPECT_EQ(rig.FailureTexts(), c.messages) << c.name;
    EXPECT_EQ(job.data.points.size(), c.points) << c.name;
    if (c.result != 0) {
      EXPECT_TRUE(job.data.rawIgc.empty()) << c.name;
    }
    if (std::string(c.name) == "silent") {
      EXPECT_EQ(rig.clock.NowMs() - start, 200 + kProductLimitMs) << c.name;
    }
  }
}

TEST(FlytecReadTrack, AbortMidReplyEndsWithoutMessage) {
  Rig rig(Config(true, "5030", "2.0"));
  rig.device.tracks = {MakeIgc(Walk(300))};
  // Cancelled once the first fix arrived.
  rig.operation.cancelAfterStatuses = 5;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
  EXPECT_EQ(FlytecReadTrack(job), -1);
  EXPECT_TRUE(rig.FailureTexts().empty());
  EXPECT_EQ(rig.operation.statuses.back(), "Transfer aborted");
  EXPECT_TRUE(job.data.points.empty());
}

TEST(FlytecTrackList, EmptyListIsSaidOnce) {
  Rig rig(Config(true));
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog);
  EXPECT_EQ(FlytecReadTrack(job), -1);
  EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{"0 tracks in track list found"});
  EXPECT_EQ(rig.operation.failures.back().caption, "Read GPS track data");
}

TEST(FlytecWaypoints, DownloadBothFramings) {
  for (bool framed : {true, false}) {
    Rig rig(Config(framed));
    rig.device.waypoints = {{46.5, 8.25, "LAUNCH", "South launch", 1650}, {-33.75, -70.125, "", "LZ NORTH", -5}};
    access::AccessJob& job = rig.Job(access::kAccessDownloadWaypoints);
    ASSERT_EQ(FlytecReadWaypoints(job), 0);
    ASSERT_EQ(job.data.waypoints.size(), 2u);
    EXPECT_EQ(job.count, 2);
    EXPECT_EQ(job.origin, 5);
    EXPECT_STREQ(job.data.waypoints[0].id, "LAUNCH");
    EXPECT_STREQ(job.data.waypoints[0].comment, "SOUTH LAUNCH");
    EXPECT_EQ(job.data.waypoints[0].altitude, 1650);
    EXPECT_STREQ(job.data.waypoints[1].id, "LZ");
    EXPECT_EQ(job.data.waypoints[1].altitude, -5);
    EXPECT_EQ(job.data.waypoints[1].latitude, *core::LatitudeFromDegrees(-33.75));
    EXPECT_EQ(job.data.waypoints[1].longitude, *core::LongitudeFromDegrees(-70.125));
    EXPECT_EQ(rig.operation.statuses.back(), "2 waypoints received");
  }
}

TEST(FlytecWaypoints, UploadIsPacedAndKeyedByName) {
  Rig rig(Config(true));
  access::AccessJob& job = rig.Job(access::kAccessUploadWaypoints);
  core::Waypoint a, b;
  a.latitude = *core::LatitudeFromDegrees(46.5);
  a.longitude = *core::LongitudeFromDegrees(-8.25);
  a.altitude = 1200;
  std::string("ALPHA TAKE OFF").copy(a.comment, 40);
  b = a;
  b.altitude = 20000;
  std::memset(b.comment, 0, sizeof b.comment);
  std::string("BRAVO").copy(b.comment, 40);
  job.data.waypoints = {a, b};
  const int64_t start = rig.clock.NowMs();
  ASSERT_EQ(FlytecSendWaypoints(job), 0);
  EXPECT_GE(rig.clock.NowMs() - start, 200 + kProductPauseMs + 2 * kUploadPauseMs);
  const auto& up = rig.device.uploads();
  ASSERT_EQ(up.size(), 2u);
  const auto& alpha = up.at("ALPHA TAKE OFF   ");
  EXPECT_NEAR(alpha.latitude, 46.5, 1e-6);
  EXPECT_NEAR(alpha.longitude, -8.25, 1e-6);
  EXPECT_EQ(alpha.altitude, 1200);
  EXPECT_EQ(up.at("BRAVO            ").altitude, 9999);
  EXPECT_EQ(rig.operation.statuses.back(), "Waypoint 2 sent");
}

TEST(FlytecWaypoints, NamesEqualInSeventeenCharactersAreRefused) {
  Rig rig(Config(true));
  access::AccessJob& job = rig.Job(access::kAccessUploadWaypoints);
  core::Waypoint a, b;
  std::string("SEVENTEEN CHARS..X").copy(a.comment, 40);
  std::string("SEVENTEEN CHARS..Y").copy(b.comment, 40);
  job.data.waypoints = {a, b};
  EXPECT_EQ(FlytecSendWaypoints(job), -1);
  ASSERT_EQ(rig.operation.failures.size(), 1u);
  EXPECT_EQ(rig.operation.failures[0].caption, "Upload waypoints");
  EXPECT_EQ(rig.operation.failures[0].text, kEqualNamesText);
  EXPECT_TRUE(rig.device.requests().empty());  // nothing was sent
}

TEST(FlytecCompetition, IdsAreReadAndConfirmed) {
  class Confirming : public testing::RecordingOperation {
   public:
    bool answer = true;
    std::vector<std::pair<int32_t, int32_t>> asked;
    bool ConfirmCompetition(int32_t comp, int32_t civl) override {
      asked.push_back({comp, civl});
      return answer;
    }
  };
  for (bool confirm : {true, false}) {
    Confirming operation;
    operation.answer = confirm;
    testing::FakeClock clock;
    access::DebugCapture capture;
    sim::flytec::FlytecDevice device(Config(true, "COMPETINO", "1.0"));
    device.config().competitionId = 1234567;
    device.config().civlId = 5000;
    device.tracks = {MakeIgc(Walk(4))};
    sim::PumpedLink wire(device, clock);
    access::AccessJob job(access::kAccessDownloadTrackLog, access::kProtocolFlytec, wire, clock, operation, capture);
    job.competition = true;
    EXPECT_EQ(FlytecReadTrack(job), confirm ? kIgcTrackResult : -1);
    EXPECT_EQ(job.competitionId, 1234567);
    EXPECT_EQ(job.civlId, 5000);
    ASSERT_EQ(operation.asked.size(), 1u);
    EXPECT_EQ(operation.asked[0], std::make_pair(1234567, 5000));
    EXPECT_EQ(operation.products.back(), "Comp ID = 1234567, CIVL ID = 5000");
    EXPECT_EQ(job.data.points.size(), confirm ? 4u : 0u);
  }
  // Without the IDs on the unit: -1 for both.
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  sim::flytec::FlytecDevice device(Config(true, "COMPETINO", "1.0"));
  device.tracks = {MakeIgc(Walk(4))};
  sim::PumpedLink wire(device, clock);
  access::AccessJob job(access::kAccessDownloadTrackLog, access::kProtocolFlytec, wire, clock, operation, capture);
  job.competition = true;
  EXPECT_EQ(FlytecReadTrack(job), kIgcTrackResult);
  EXPECT_EQ(job.competitionId, -1);
  EXPECT_EQ(job.civlId, -1);
}

TEST(FlytecLogbook, ChosenTracksBecomeSignedFolders) {
  class Choosing : public testing::RecordingOperation {
   public:
    std::vector<std::string> offered;
    std::vector<int> ChooseItems(const std::string&, const std::string&, const std::vector<std::string>& items) override {
      offered = items;
      return {0, 2, 3};
    }
  };
  Choosing operation;
  testing::FakeClock clock;
  access::DebugCapture capture;
  sim::flytec::FlytecDevice device(Config(true));
  // The third track is too short for the logbook and is skipped.
  device.tracks = {MakeIgc(Walk(40, 9)), MakeIgc(Walk(30, 11)), MakeIgc(Walk(5, 12)), MakeIgc(Walk(60, 23, 59, 30))};
  sim::PumpedLink wire(device, clock);
  access::AccessJob job(access::kAccessDownloadTrackLog, access::kProtocolFlytecTrackList, wire, clock, operation,
                        capture);
  ASSERT_EQ(FlytecReadTracksForLogbook(job), 0) << ::testing::PrintToString(operation.failures.size());
  ASSERT_EQ(operation.offered.size(), 4u);
  EXPECT_EQ(operation.offered[3], "03   15.07.24   23:59:30   00:00:59");
  EXPECT_TRUE(job.data.points.empty());
  const std::string& document = job.data.text;
  EXPECT_EQ(document.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>\r\n<open>1</open>\r\n", 0), 0u);
  EXPECT_EQ(document.substr(document.size() - 13), "</Document>\r\n");
  size_t folders = 0;
  for (size_t at = document.find("<Folder>"); at != std::string::npos; at = document.find("<Folder>", at + 1)) ++folders;
  EXPECT_EQ(folders, 2u);
  // Each folder reads back with a valid signature and the track's fixes (midnight included).
  testing::RecordingUi ui;
  ui.choices = {1};
  formats::TrackParseResult read = formats::ReadKmlLog(ui, document);
  ASSERT_GT(read.result, 0);
  EXPECT_EQ(read.signatureFlag, formats::kKmlSignatureValid);
  ASSERT_EQ(read.fixes.size(), 60u);
  const uint32_t day = *core::CalendarToTime({2024, 7, 0, 15, 0, 0, 0, 0});
  EXPECT_EQ(read.fixes.back().time, day + 86400 + 29);
  const auto& s = operation.statuses;
  for (const char* text : {"Reading track log 1 of 3", "Analysing track log 1 of 3", "Reading track log 3 of 3",
                           "Downloading completed"}) {
    EXPECT_NE(std::find(s.begin(), s.end(), text), s.end()) << text;
  }
  EXPECT_EQ(std::find(s.begin(), s.end(), "Analysing track log 2 of 3"), s.end());
}

}  // namespace
}  // namespace tarnvik::devices::flytec
