// For every k: fail, corrupt or starve the k-th read that delivers bytes, and run a whole worker
// routine against the simulated instrument. Every run ends within the time limits with either
// exactly one message and nothing handed over, or what the clean run received (a corrupted
// first line of a TNC block is dropped with its block's message; a corrupted waypoint line is
// skipped).
#include <gtest/gtest.h>

#include <functional>

#include "devices/xctrainer/xctrainer_transfers.h"
#include "tests/devices/xctrainer/xctrainer_test_support.h"
#include "tests/fakes/counting_transport.h"

namespace tarnvik::devices::xctrainer {
namespace {

using sim::ReadFault;
using testing::CountingTransport;
using testing::xctrainer::Config;
using testing::xctrainer::FlightStart;
using testing::xctrainer::Rig;
using testing::xctrainer::XcSend;

struct Routine {
  const char* name;
  XcSend send;
  int accessType;
  int protocol;
  std::function<int(access::AccessJob&)> run;
};

struct Outcome {
  int result = 0;
  std::vector<std::string> failures;
  size_t records = 0;
  bool rawEmpty = true;
  int reads = 0;
  int64_t elapsedMs = 0;
};

Outcome RunOnce(const Routine& r, int k, ReadFault fault) {
  Rig rig(Config(r.send));
  rig.device.track = sim::xctrainer::WalkTrack(75, FlightStart());
  rig.device.waypoints = {{"ABC", 47.5, 8.25, 852}, {"DEF", 46.5, 7.25, 1500}, {"GHI", 45.5, 6.25, 100}};
  CountingTransport counting(rig.wire);
  access::AccessJob job(r.accessType, r.protocol, counting, rig.clock, rig.operation, rig.capture);
  job.link().SetSpeed(access::OpeningSpeed(r.protocol, r.accessType));
  if (k > 0) rig.wire.InjectReadFault(k, fault);
  const int64_t start = rig.clock.NowMs();
  Outcome o;
  o.result = r.run(job);
  o.failures = rig.FailureTexts();
  o.records = job.data.points.size() + job.data.waypoints.size();
  o.rawEmpty = job.data.rawDevice.empty();
  o.reads = counting.reads;
  o.elapsedMs = rig.clock.NowMs() - start;
  return o;
}

TEST(XcTrainerFaultLoop, EveryReadOfEveryRoutine) {
  const Routine routines[] = {
      {"mxp", XcSend::Mxp, access::kAccessDownloadTrackLog, access::kProtocolXcTrainerMxp, ReceiveMxpLog},
      {"tnc", XcSend::Tnc, access::kAccessDownloadTrackLog, access::kProtocolXcTrainer, ReceiveTncLog},
      {"waypoints", XcSend::Waypoints, access::kAccessDownloadWaypoints, access::kProtocolTopNavigator,
       ReceiveTncWaypoints},
  };
  for (const Routine& r : routines) {
    const Outcome clean = RunOnce(r, 0, ReadFault::None);
    ASSERT_EQ(clean.result, 0) << r.name << ::testing::PrintToString(clean.failures);
    ASSERT_GT(clean.reads, 1) << r.name;
    for (ReadFault fault : {ReadFault::Fail, ReadFault::Corrupt, ReadFault::Silent}) {
      for (int k = 1; k <= clean.reads; ++k) {
        const Outcome o = RunOnce(r, k, fault);
        const std::string where = std::string(r.name) + " fault " + std::to_string(static_cast<int>(fault)) +
                                  " at read " + std::to_string(k);
        // Never longer than the first-byte limit and one silence per line.
        EXPECT_LT(o.elapsedMs, kFirstByteLimitMs + 2 * kSilenceLimitMs) << where;
        if (o.result != 0) {
          EXPECT_EQ(o.failures.size(), 1u) << where << ::testing::PrintToString(o.failures);
          EXPECT_EQ(o.records, 0u) << where;
          EXPECT_TRUE(o.rawEmpty) << where;
          continue;
        }
        // Only a corrupted byte can leave a download that still succeeds.
        EXPECT_EQ(fault, ReadFault::Corrupt) << where;
        if (r.send == XcSend::Waypoints) {
          EXPECT_TRUE(o.failures.empty()) << where;
          EXPECT_GE(o.records + 1, clean.records) << where;
        } else if (o.records != clean.records) {
          EXPECT_EQ(o.failures, std::vector<std::string>{"Read GPS track log: Error(s) in 1 block(s) ignored"}) << where;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarnvik::devices::xctrainer
