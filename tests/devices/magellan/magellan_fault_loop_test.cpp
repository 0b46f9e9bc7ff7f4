// For every k: fail, corrupt or starve the k-th read that delivers bytes, and run a whole Magellan
// routine against the simulated receiver. Every run ends within the time limits, and either
// fails with exactly one message (or silently, for a list that ends in silence before its
// first record) and hands nothing over, or hands over records that the clean run received, in
// the same order: silence ends a list early, and a corrupted "$" drops one sentence, which
// the collector cannot tell from noise between sentences.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "devices/magellan/magellan_transfers.h"
#include "tests/devices/magellan/magellan_test_support.h"
#include "tests/fakes/counting_transport.h"

namespace tarnvik::devices::magellan {
namespace {

using sim::ReadFault;
using testing::CountingTransport;
using testing::magellan::Rig;

struct Routine {
  const char* name;
  int accessType;
  std::function<int(access::AccessJob&)> run;
};

struct Outcome {
  int result = 0;
  std::vector<std::string> failures;
  std::vector<core::TrackPoint> points;
  std::vector<core::Waypoint> waypoints;
  int reads = 0;
  int64_t elapsedMs = 0;
};

Outcome RunOnce(const Routine& r, int k, ReadFault fault) {
  Rig rig;
  CountingTransport counting(rig.wire);
  access::AccessJob job(r.accessType, access::kProtocolMagellan, counting, rig.clock, rig.operation, rig.capture);
  job.link().SetSpeed(access::OpeningSpeed(access::kProtocolMagellan, r.accessType));
  if (r.accessType == access::kAccessUploadWaypoints) {
    job.data.waypoints.resize(3);
    for (auto& w : job.data.waypoints) std::strcpy(w.id, "WP");
  }
  if (k > 0) rig.wire.InjectReadFault(k, fault);
  const int64_t start = rig.clock.NowMs();
  Outcome o;
  o.result = r.run(job);
  o.elapsedMs = rig.clock.NowMs() - start;
  o.failures = rig.FailureTexts();
  o.points = job.data.points;
  if (r.accessType != access::kAccessUploadWaypoints) o.waypoints = job.data.waypoints;
  o.reads = counting.reads;
  return o;
}

template <typename T, typename Same>
bool Subsequence(const std::vector<T>& part, const std::vector<T>& whole, Same same) {
  size_t j = 0;
  for (const T& p : part) {
    while (j < whole.size() && !same(p, whole[j])) ++j;
    if (j == whole.size()) return false;
    ++j;
  }
  return true;
}

TEST(MagellanFaultLoop, EveryReadOfEveryRoutine) {
  const Routine routines[] = {
      {"track", access::kAccessDownloadTrackLog, ReadMagellanTrack},
      {"waypoints", access::kAccessDownloadWaypoints, ReadMagellanWaypoints},
      {"upload", access::kAccessUploadWaypoints, SendMagellanWaypoints},
  };
  for (const Routine& r : routines) {
    const Outcome clean = RunOnce(r, 0, ReadFault::None);
    ASSERT_EQ(clean.result, 0) << r.name;
    ASSERT_GT(clean.reads, 0) << r.name;
    for (ReadFault fault : {ReadFault::Fail, ReadFault::Corrupt, ReadFault::Silent}) {
      for (int k = 1; k <= clean.reads; ++k) {
        const Outcome o = RunOnce(r, k, fault);
        const std::string where = std::string(r.name) + " fault " + std::to_string(static_cast<int>(fault)) +
                                  " at read " + std::to_string(k);
        EXPECT_LE(o.elapsedMs, 4000 + 500 + 1000 + 300 * 3 + 1000) << where;
        if (o.result != 0) {
          EXPECT_LE(o.failures.size(), 1u) << where;
          EXPECT_TRUE(o.points.empty() && o.waypoints.empty()) << where;
          continue;
        }
        EXPECT_TRUE(o.failures.empty()) << where;
        EXPECT_TRUE(Subsequence(o.points, clean.points, [](const core::TrackPoint& a, const core::TrackPoint& b) {
          return a.time == b.time && a.latitude == b.latitude && a.longitude == b.longitude && a.height == b.height;
        })) << where;
        EXPECT_TRUE(Subsequence(o.waypoints, clean.waypoints, [](const core::Waypoint& a, const core::Waypoint& b) {
          return std::memcmp(&a, &b, sizeof a) == 0;
        })) << where;
      }
    }
  }
}

}  // namespace
}  // namespace tarnvik::devices::magellan
