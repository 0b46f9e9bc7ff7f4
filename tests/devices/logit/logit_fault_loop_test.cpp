// For every k: fail, corrupt or starve the k-th read that delivers bytes, and run a whole worker
// routine against the simulated logger. Every run ends within the time limits with either
// exactly one message, nothing handed over and the logger back in command mode at 4800, or
// exactly what the clean run received (a corrupted packet that a Tracklogger resends).
#include <gtest/gtest.h>

#include <functional>

#include "devices/logit/logit_transfers.h"
#include "tests/devices/logit/logit_test_support.h"
#include "tests/fakes/counting_transport.h"

namespace tarnvik::devices::logit {
namespace {

using sim::ReadFault;
using sim::logit::LoggerModel;
using testing::CountingTransport;
using testing::logit::Model;
using testing::logit::Rig;

struct Routine {
  const char* name;
  LoggerModel model;
  int accessType;
  int protocol;
  std::function<int(access::AccessJob&)> run;
};

int WaypointRoutine(access::AccessJob& job) {
  std::vector<core::Waypoint> w;
  if (DownloadMlrWaypoints(job, false, w) != 0) return -1;
  job.data.waypoints = std::move(w);
  return 0;
}

struct Outcome {
  int result = 0;
  std::vector<std::string> failures;
  std::vector<core::TrackPoint> points;
  size_t records = 0;
  bool commandMode = false;
  int reads = 0;
  int64_t elapsedMs = 0;
};

Outcome RunOnce(const Routine& r, int k, ReadFault fault) {
  Rig rig(Model(r.model));
  rig.device.track = sim::logit::WalkPoints(120, 1000000000);
  rig.device.waypoints = {{"ALPHA", 560000000, -12000000, 1000}, {"BRAVO", 560100000, -12100000, 2000}};
  CountingTransport counting(rig.wire);
  access::AccessJob job(r.accessType, r.protocol, counting, rig.clock, rig.operation, rig.capture);
  job.speed = 57600;
  job.data.text = "ANNA";
  job.link().SetSpeed(access::OpeningSpeed(r.protocol, r.accessType));
  if (k > 0) rig.wire.InjectReadFault(k, fault);
  const int64_t start = rig.clock.NowMs();
  Outcome o;
  o.result = r.run(job);
  o.failures = rig.FailureTexts();
  o.points = job.data.points;
  o.records = job.data.points.size() + job.data.waypoints.size();
  o.commandMode = rig.EndsInCommandMode();
  o.reads = counting.reads;
  o.elapsedMs = rig.clock.NowMs() - start;
  return o;
}

TEST(LogItFaultLoop, EveryReadOfEveryRoutine) {
  const Routine routines[] = {
      {"logit track", LoggerModel::LogIt, access::kAccessDownloadTrackLog, access::kProtocolLogIt, ReadLogItTrack},
      {"tracklogger track", LoggerModel::Tracklogger, access::kAccessDownloadTrackLog, access::kProtocolLogIt,
       ReadLogItTrack},
      {"logit data", LoggerModel::LogIt, access::kAccessReadInstrumentData, access::kProtocolLogIt, ReadLogItData},
      {"logit name", LoggerModel::LogIt, access::kAccessWriteOwnerName, access::kProtocolLogIt, WriteLogItName},
      {"mlr track", LoggerModel::Mlr, access::kAccessDownloadTrackLog, access::kProtocolMlr, ReadMlrTrack},
      {"mlr waypoints", LoggerModel::Mlr, access::kAccessDownloadWaypoints, access::kProtocolMlr, WaypointRoutine},
  };
  for (const Routine& r : routines) {
    const Outcome clean = RunOnce(r, 0, ReadFault::None);
    ASSERT_EQ(clean.result, 0) << r.name << ::testing::PrintToString(clean.failures);
    ASSERT_GT(clean.reads, 0) << r.name;
    for (ReadFault fault : {ReadFault::Fail, ReadFault::Corrupt, ReadFault::Silent}) {
      for (int k = 1; k <= clean.reads; ++k) {
        const Outcome o = RunOnce(r, k, fault);
        const std::string where = std::string(r.name) + " fault " + std::to_string(static_cast<int>(fault)) +
                                  " at read " + std::to_string(k);
        EXPECT_LT(o.elapsedMs, 4 * kSilenceLimitMs) << where;
        if (o.result != 0) {
          EXPECT_EQ(o.failures.size(), 1u) << where << ::testing::PrintToString(o.failures);
          EXPECT_EQ(o.records, 0u) << where;
          EXPECT_TRUE(o.commandMode) << where;
          continue;
        }
        EXPECT_NE(fault, ReadFault::Fail) << where;
        EXPECT_TRUE(o.failures.empty()) << where;
        EXPECT_EQ(o.records, clean.records) << where;
        EXPECT_EQ(o.points.size(), clean.points.size()) << where;
        for (size_t i = 0; i < o.points.size() && i < clean.points.size(); ++i) {
          EXPECT_EQ(o.points[i].time, clean.points[i].time) << where;
          EXPECT_EQ(o.points[i].latitude, clean.points[i].latitude) << where;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarnvik::devices::logit
