// Fail, corrupt or starve the k-th read that delivers bytes while a whole Graviter routine runs
// against the simulated instrument in memory. Every run ends within its time limits, and either
// fails with at most one message and hands nothing over, or equals the clean run. The memory
// image comes in some 1300 reads; the loop takes the first 30, every 41st and the last 5.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

#include "access/debug_capture.h"
#include "devices/graviter/graviter_transfers.h"
#include "sim/graviter/graviter_device.h"
#include "sim/memory_link.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"
#include "tests/fakes/counting_transport.h"

namespace tarnvik::devices::graviter {
namespace {

using sim::ReadFault;
using testing::CountingTransport;

struct Outcome {
  int result = 0;
  size_t failures = 0;
  std::vector<core::TrackPoint> points;
  std::map<uint32_t, uint8_t> writes;
  int reads = 0;
  int64_t elapsedMs = 0;
};

Outcome RunOnce(int accessType, int k, ReadFault fault) {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  sim::graviter::GraviterDevice device;
  device.tracks = sim::graviter::SampleTracks(100);
  sim::PumpedLink wire(device, clock);
  CountingTransport counting(wire);
  access::AccessJob job(accessType, access::kProtocolGraviter, counting, clock, operation, capture);
  job.link().SetSpeed(access::OpeningSpeed(access::kProtocolGraviter, accessType));
  job.data.text = "PILOT";
  if (k > 0) wire.InjectReadFault(k, fault);
  const int64_t start = clock.NowMs();
  Outcome o;
  o.result = accessType == access::kAccessWriteOwnerName ? UploadGraviterName(job) : ReadGraviterTrack(job);
  o.elapsedMs = clock.NowMs() - start;
  for (const auto& f : operation.failures) o.failures += f.question ? 0 : 1;
  o.points = job.data.points;
  o.writes = device.writes();
  o.reads = counting.reads;
  return o;
}

TEST(GraviterFaultLoop, ReadsOfBothRoutines) {
  for (int accessType : {access::kAccessDownloadTrackLog, access::kAccessWriteOwnerName}) {
    const Outcome clean = RunOnce(accessType, 0, ReadFault::None);
    ASSERT_EQ(clean.result, 0);
    std::vector<int> ks;
    for (int k = 1; k <= clean.reads; ++k) {
      if (k <= 30 || k % 41 == 0 || k > clean.reads - 5) ks.push_back(k);
    }
    for (ReadFault fault : {ReadFault::Fail, ReadFault::Corrupt, ReadFault::Silent}) {
      for (int k : ks) {
        const Outcome o = RunOnce(accessType, k, fault);
        const std::string where = "type " + std::to_string(accessType) + " fault " +
                                  std::to_string(static_cast<int>(fault)) + " read " + std::to_string(k);
        EXPECT_LE(o.elapsedMs, 300 + 10000 + 300 + 2000 * 3 + 1000) << where;
        if (o.result != 0) {
          EXPECT_EQ(o.failures, 1u) << where;
          EXPECT_TRUE(o.points.empty()) << where;
          continue;
        }
        EXPECT_EQ(o.failures, 0u) << where;
        ASSERT_EQ(o.points.size(), clean.points.size()) << where;
        EXPECT_EQ(o.writes, clean.writes) << where;
      }
    }
  }
}

}  // namespace
}  // namespace tarnvik::devices::graviter
