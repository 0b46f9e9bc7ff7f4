#include "devices/logit/logit_transfers.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/devices/logit/logit_test_support.h"

namespace tarnvik::devices::logit {
namespace {

using sim::logit::WalkPoints;
using testing::logit::Model;
using testing::logit::Rig;
using testing::logit::SamePoints;
using sim::logit::LoggerModel;

// 2024-07-15 10:00:00 UTC.
uint32_t FlightStart() { return *core::CalendarToTime({2024, 7, 0, 15, 10, 0, 0, 0}); }

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(LogItTrack, ReadsAtEachSpeedAndReturnsToCommands) {
  const struct {
    int speed;
    const char* sentence;
  } cases[] = {{19200, "$PMLR,24,02,0100,0398\r\n"},
               {38400, "$PMLR,24,02,0101,0399\r\n"},
               {57600, "$PMLR,24,02,0102,039A\r\n"},
               {115200, "$PMLR,24,02,0103,039B\r\n"},
               {0, "$PMLR,24,02,0110,0399\r\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.speed);
    Rig rig;
    rig.device.track = WalkPoints(100, FlightStart());
    access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolLogIt, c.speed);
    ASSERT_EQ(ReadLogItTrack(job), 0) << ::testing::PrintToString(rig.FailureTexts());
    EXPECT_TRUE(SamePoints(job.data.points, rig.device.track));
    EXPECT_EQ(job.count, 100);
    EXPECT_EQ(job.origin, kLogItOrigin);
    EXPECT_EQ(job.data.text, "LOGIT");
    EXPECT_EQ(rig.operation.products, std::vector<std::string>{"LOGIT 1.20 (PILOT)"});
    EXPECT_NE(rig.Written().find(c.sentence), std::string::npos);
    EXPECT_TRUE(rig.EndsInCommandMode());
    EXPECT_EQ(rig.device.badSentences(), 0);
    // A LogIt is not asked for its count.
    EXPECT_EQ(rig.Written().find("$PMLR,58"), std::string::npos);
    EXPECT_EQ(rig.operation.statuses.back(), "100 points received");
  }
}

TEST(LogItTrack, AnotherSpeedSendsTheOtherSentenceAndGarblesAgainstTheLogger) {
  Rig rig;
  rig.device.track = WalkPoints(40, FlightStart());
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolLogIt, 9600);
  EXPECT_EQ(ReadLogItTrack(job), -1);
  EXPECT_NE(rig.Written().find("$PMLR,24,02,0110,0399\r\n"), std::string::npos);
  // Noise at the wrong speed: it times out or fails to frame, with one message.
  const std::vector<std::string> failures = rig.FailureTexts();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].rfind("Read LogIt track log: E20", 0), 0u) << failures[0];
  EXPECT_TRUE(job.data.points.empty());
  EXPECT_TRUE(rig.EndsInCommandMode());
}

TEST(TrackloggerTrack, BreakAfter1234PointsResendsFrom1235AndEndsExact) {
  Rig rig(Model(LoggerModel::Tracklogger));
  rig.device.track = WalkPoints(3000, FlightStart());
  rig.device.config().perPacket = 2;
  rig.device.config().damagePoint = 1235;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolLogIt, 115200);
  ASSERT_EQ(ReadLogItTrack(job), 0) << ::testing::PrintToString(rig.FailureTexts());
  EXPECT_TRUE(SamePoints(job.data.points, rig.device.track));
  EXPECT_EQ(Occurrences(rig.Written(), "$PMLR,59,1235,031C\r\n"), 1u);
  EXPECT_EQ(rig.device.restarts(), 1);
  EXPECT_NE(std::find(rig.operation.statuses.begin(), rig.operation.statuses.end(), "RESTART at point 1235"),
            rig.operation.statuses.end());
  EXPECT_NE(rig.Written().find("$PMLR,58,00,02B0\r\n"), std::string::npos);
  EXPECT_TRUE(rig.EndsInCommandMode());
  EXPECT_EQ(rig.device.badSentences(), 0);
}

TEST(TrackloggerTrack, APacketAlwaysDamagedEndsAfterThreeRestarts) {
  Rig rig(Model(LoggerModel::Tracklogger));
  rig.device.track = WalkPoints(100, FlightStart());
  // The first data packet of every transfer is damaged: no restart brings a new point.
  rig.device.config().badSumPacket = 2;
  rig.device.config().badSumAlways = true;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolLogIt, 57600);
  EXPECT_EQ(ReadLogItTrack(job), -1);
  EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{"Read LogIt track log: E204 Format error 9"});
  EXPECT_EQ(rig.device.restarts(), kMaxBarrenRestarts);
  EXPECT_TRUE(rig.EndsInCommandMode());
  EXPECT_TRUE(job.data.points.empty());
}

TEST(LogItTrack, FaultsEndWithTheirMessage) {
  const struct {
    const char* fault;
    const char* message;
  } cases[] = {
      {"badsum=2", "Read LogIt track log: E204 Format error 9"},
      {"gap=3", "Read LogIt track log: E204 Format error 53"},
      {"misnumber=2", "Read LogIt track log: E204 Format error 52"},
      {"toomany=2", "Read LogIt track log: E204 Format error 8"},
      {"kind", "Read LogIt track log: E204 Format error 2"},
      {"nocrlf=2", "Read LogIt track log: E204 Format error 10"},
      {"nofin", "Read LogIt track log: E206 Track log timeout"},
      {"silent=3", "Read LogIt track log: E206 Track log timeout"},
      {"noproduct", "Read LogIt product data: E101 Product data request timeout"},
      {"badproduct", "Read LogIt product data: E105 Format error 12"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    Rig rig;
    rig.device.track = WalkPoints(100, FlightStart());
    std::string error;
    ASSERT_TRUE(sim::logit::ApplyLoggerFault(c.fault, rig.device, error)) << error;
    access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolLogIt, 38400);
    const int64_t start = rig.clock.NowMs();
    EXPECT_EQ(ReadLogItTrack(job), -1);
    EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{c.message});
    EXPECT_TRUE(job.data.points.empty());
    EXPECT_TRUE(rig.EndsInCommandMode());
    EXPECT_LT(rig.clock.NowMs() - start, 30000);
  }
}

TEST(LogItTrack, SequenceWrapsAndSeventyThousandPointsReadWhole) {
  Rig rig(Model(LoggerModel::Tracklogger));
  rig.device.track = WalkPoints(70000, FlightStart());
  rig.device.config().firstSequence = 250;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolLogIt, 115200);
  ASSERT_EQ(ReadLogItTrack(job), 0) << ::testing::PrintToString(rig.FailureTexts());
  EXPECT_TRUE(SamePoints(job.data.points, rig.device.track));
  EXPECT_EQ(rig.operation.statuses.back(), "70000 points received");
  EXPECT_NE(std::find(rig.operation.statuses.begin(), rig.operation.statuses.end(), "250 points of 70000 received"),
            rig.operation.statuses.end());
}

TEST(LogItTrack, CompetitionRefusalEndsBeforeTheTransfer) {
  Rig rig;
  rig.operation.confirm = false;
  access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolLogIt, 57600);
  job.competition = true;
  EXPECT_EQ(ReadLogItTrack(job), -1);
  EXPECT_EQ(rig.operation.asked, 1);
  EXPECT_EQ(rig.Written().find("$PMLR,24"), std::string::npos);
}

TEST(LogItCommands, ProductDataEraseAndName) {
  Rig rig;
  rig.device.track = WalkPoints(10, FlightStart());
  access::AccessJob& data = rig.Job(access::kAccessReadInstrumentData, access::kProtocolLogIt);
  ASSERT_EQ(ReadLogItData(data), 0);
  EXPECT_EQ(data.data.text, "Model: LOGIT\nUser name: PILOT\nSerial No.: 12345\nSoftware: 1.20");

  access::AccessJob& erase = rig.Job(access::kAccessEraseTrack, access::kProtocolLogIt);
  ASSERT_EQ(EraseLogIt(erase), 0);
  EXPECT_TRUE(rig.device.erased());
  EXPECT_TRUE(rig.device.track.empty());
  EXPECT_EQ(rig.operation.statuses.back(), "Command sent (no verification)");

  access::AccessJob& name = rig.Job(access::kAccessWriteOwnerName, access::kProtocolLogIt);
  name.data.text = "Anna,B*";
  ASSERT_EQ(WriteLogItName(name), 0);
  EXPECT_EQ(rig.device.name(), "Anna B");
  EXPECT_NE(rig.Written().find("$PMLR,IDGPS,01,Anna B   ,       *00\r\n"), std::string::npos);
  EXPECT_EQ(rig.operation.statuses.back(), "Name uploaded");
  EXPECT_EQ(rig.operation.products.back(), "LOGIT 1.20 (Anna B)");
  EXPECT_EQ(rig.device.badSentences(), 0);
}

TEST(MlrTrack, ReadsAt38400AndCorrectsGpsTimeByVersion) {
  for (const char* software : {"2.80ENGLISH15/03/01", "2.71", "9.90", "10.00"}) {
    for (uint32_t start : {*core::CalendarToTime({2005, 6, 0, 1, 12, 0, 0, 0}), FlightStart()}) {
      SCOPED_TRACE(std::string(software) + " " + std::to_string(start));
      Rig rig(Model(LoggerModel::Mlr));
      rig.device.config().software = software;
      rig.device.track = WalkPoints(200, start);
      access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolMlr);
      ASSERT_EQ(ReadMlrTrack(job), 0) << ::testing::PrintToString(rig.FailureTexts());
      EXPECT_TRUE(SamePoints(job.data.points, rig.device.track));
      EXPECT_EQ(job.origin, kMlrOrigin);
      EXPECT_TRUE(rig.EndsInCommandMode());
      EXPECT_NE(rig.Written().find("$PMLR,24,02,0101,0399\r\n"), std::string::npos);
      const std::vector<int> speeds = rig.wire.speedHistory();
      EXPECT_NE(std::find(speeds.begin(), speeds.end(), 38400), speeds.end());
    }
  }
}

TEST(MlrTrack, FaultsEndWithTheirMessage) {
  const struct {
    const char* fault;
    const char* message;
  } cases[] = {
      {"badsum=2", "Read GPS track log: E208 Format error 9"},
      {"gap=3", "Read GPS track log: E204 Bad sentence sequence"},
      {"misnumber=2", "Read GPS track log: E206 Bad track point sequence"},
      {"toomany=2", "Read GPS track log: E208 Format error 8"},
      {"silent=2", "Read GPS track log: E209 Track log timeout"},
      {"noproduct", "Read GPS product data: E101 Serial number request timeout"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    Rig rig(Model(LoggerModel::Mlr));
    rig.device.track = WalkPoints(100, FlightStart());
    std::string error;
    ASSERT_TRUE(sim::logit::ApplyLoggerFault(c.fault, rig.device, error)) << error;
    access::AccessJob& job = rig.Job(access::kAccessDownloadTrackLog, access::kProtocolMlr);
    EXPECT_EQ(ReadMlrTrack(job), -1);
    EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{c.message});
    EXPECT_TRUE(rig.EndsInCommandMode());
  }
}

TEST(MlrWaypoints, BinaryPacketsGiveTheReceiversWaypoints) {
  Rig rig(Model(LoggerModel::Mlr));
  for (int i = 0; i < 30; ++i) {
    rig.device.waypoints.push_back({"WP" + std::to_string(i), 560000000 + i * 1000, -12000000 - i * 1000, 1000 + i * 10});
  }
  access::AccessJob& job = rig.Job(access::kAccessDownloadWaypoints, access::kProtocolMlr);
  std::vector<core::Waypoint> got;
  ASSERT_EQ(DownloadMlrWaypoints(job, false, got), 0) << ::testing::PrintToString(rig.FailureTexts());
  ASSERT_EQ(got.size(), 30u);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(std::string(got[i].id), "WP" + std::to_string(i));
    EXPECT_EQ(got[i].latitude, 560000000 + i * 1000);
    EXPECT_EQ(got[i].longitude, -12000000 - i * 1000);
    EXPECT_EQ(got[i].altitude, 100 + i);
  }
  EXPECT_NE(rig.Written().find("$PMLR,24,02,0301,039B\r\n"), std::string::npos);
  EXPECT_TRUE(rig.EndsInCommandMode());
}

}  // namespace
}  // namespace tarnvik::devices::logit
