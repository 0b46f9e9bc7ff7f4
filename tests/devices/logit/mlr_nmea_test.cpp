#include "devices/logit/mlr_nmea.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "devices/logit/logit_transfers.h"
#include "tests/devices/logit/logit_test_support.h"

namespace tarnvik::devices::logit {
namespace {

using sim::logit::LoggerModel;
using testing::logit::Model;
using testing::logit::Rig;

int32_t Semicircles(double degrees) { return static_cast<int32_t>(std::llround(degrees * 2147483648.0 / 180.0)); }

std::string WithXor(const std::string& body) {
  uint8_t x = 0;
  for (char c : body) x ^= static_cast<uint8_t>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", x);
  return "$" + body + tail;
}

core::Waypoint Point(const char* id, const char* comment, double lat, double lon) {
  core::Waypoint w;
  std::strncpy(w.id, id, 6);
  std::strncpy(w.comment, comment, 40);
  w.latitude = Semicircles(lat);
  w.longitude = Semicircles(lon);
  return w;
}

TEST(MlrNmea, UploadSentenceByteForByte) {
  const struct {
    core::Waypoint w;
    std::string body;
  } cases[] = {
      {Point("GOAL", "TP1", 47 + 0.010 / 60, -(1 + 0.008 / 60)), "GPWPL,4700.010,N,00100.008,W,GOAL  0TP1                   "},
      {Point("A,B*", "X$Y", -(33 + 59.9996 / 60), 151.5), "GPWPL,3400.000,S,15130.000,E,A B   0X Y                   "},
      {Point("LONGID", "A COMMENT LONGER THAN TWENTY TWO", 0, 0),
       "GPWPL,0000.000,N,00000.000,E,LONGID0A COMMENT LONGER THAN "},
  };
  for (const auto& c : cases) EXPECT_EQ(WaypointSentence(c.w), WithXor(c.body));
}

TEST(MlrNmea, SentenceCodes) {
  core::Waypoint w;
  std::string name;
  ASSERT_EQ(ParseWaypointSentence(WithXor("GPWPL,4700.010,N,00100.008,W,GOAL  0TP1"), w, name), 0);
  EXPECT_NEAR(w.latitude * 180.0 / 2147483648.0, 47 + 0.010 / 60, 1e-7);
  EXPECT_NEAR(w.longitude * 180.0 / 2147483648.0, -(1 + 0.008 / 60), 1e-7);
  std::string id, comment;
  SplitWaypointName(name, id, comment);
  EXPECT_EQ(id, "GOAL");
  EXPECT_EQ(comment, "TP1");
  std::string badSum = WithXor("GPWPL,4700.010,N,00100.008,W,GOAL");
  badSum[badSum.size() - 3] = badSum[badSum.size() - 3] == '0' ? '1' : '0';
  const struct {
    std::string line;
    int code;
  } cases[] = {
      {WithXor("GPWPX,4700.010,N,00100.008,W,GOAL"), 1},
      {WithXor("GPWPL,8960.000,N,00100.008,W,GOAL"), 2},
      {WithXor("GPWPL,4700.0x0,N,00100.008,W,GOAL"), 2},
      {WithXor("GPWPL,4700.010,Q,00100.008,W,GOAL"), 3},
      {WithXor("GPWPL,4700.010,N,17960.000,W,GOAL"), 4},
      {WithXor("GPWPL,4700.010,N,00100.008,X,GOAL"), 5},
      {"$GPWPL,4700.010,N,00100.008,W,GOAL\r\n", 6},
      {"$GPWPL,4700.010,N,00100.008,W,GOAL*G1\r\n", 7},
      {"$GPWPL,4700.010,N,00100.008,W,GOAL*00", 8},
      {badSum, 9},
      {WithXor("GPWPL,8959.999,N,00100.008,W,GOAL"), 0},
      {WithXor("GPWPL,,,,,GOAL"), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseWaypointSentence(c.line, w, name), c.code) << c.line;
}

TEST(MlrNmea, ListenerReadsTheListOnceFromWhereverItStarts) {
  Rig rig(Model(LoggerModel::Mlr));
  for (int i = 0; i < 5; ++i) {
    rig.device.waypoints.push_back({"WP" + std::to_string(i), Semicircles(46 + i * 0.25), Semicircles(-7 - i * 0.5), 0});
  }
  rig.device.config().nmeaStart = 2;
  access::AccessJob& job = rig.Job(access::kAccessDownloadWaypoints, access::kProtocolMlr);
  ASSERT_EQ(ListenMlrWaypoints(job), 0) << ::testing::PrintToString(rig.FailureTexts());
  ASSERT_EQ(job.data.waypoints.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    const int served = (i + 2) % 5;
    EXPECT_EQ(std::string(job.data.waypoints[i].id), "WP" + std::to_string(served));
    EXPECT_EQ(std::string(job.data.waypoints[i].comment), "FROM MLR");
    EXPECT_NEAR(job.data.waypoints[i].latitude * 180.0 / 2147483648.0, 46 + served * 0.25, 1e-5);
  }
  EXPECT_EQ(rig.operation.statuses.back(), "Waypoints read (5)");
  EXPECT_EQ(job.origin, kMlrOrigin);
}

TEST(MlrNmea, ListenerWaitsForThePilotThenGivesUp) {
  Rig rig(Model(LoggerModel::Mlr));
  access::AccessJob& job = rig.Job(access::kAccessDownloadWaypoints, access::kProtocolMlr);
  const int64_t start = rig.clock.NowMs();
  EXPECT_EQ(ListenMlrWaypoints(job), -1);
  EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{"Read GPS waypoints: E307 Waypoint timeout"});
  EXPECT_GE(rig.clock.NowMs() - start, kFirstSentenceLimitMs);
  EXPECT_LT(rig.clock.NowMs() - start, kFirstSentenceLimitMs + 1000);
}

TEST(MlrNmea, UploadIsRecordedByTheReceiverHalfASecondApart) {
  Rig rig(Model(LoggerModel::Mlr));
  access::AccessJob& job = rig.Job(access::kAccessUploadWaypoints, access::kProtocolMlr);
  job.data.waypoints = {Point("GOAL", "TP1", 47.1, 8.2), Point("START", "", -12.5, -77.25), Point("X", "", 0.5, 0.5)};
  const int64_t start = rig.clock.NowMs();
  ASSERT_EQ(UploadMlrWaypoints(job), 0);
  EXPECT_EQ(rig.clock.NowMs() - start, 3 * kUploadPauseMs);
  ASSERT_EQ(rig.device.uploads().size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(rig.device.uploads()[i], WaypointSentence(job.data.waypoints[i]));
  EXPECT_EQ(rig.operation.statuses.back(), "3 waypoints sent");
  EXPECT_EQ(rig.device.badSentences(), 0);
}

}  // namespace
}  // namespace tarnvik::devices::logit
