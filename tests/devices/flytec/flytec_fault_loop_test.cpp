// For every k: fail, corrupt or starve the k-th read that delivers bytes, and run a whole worker
// routine against the simulated instrument. Every run ends within the protocol's time limits,
// either with what the clean run received (a starved reply may end early: a list then holds
// fewer entries, a track without its G record is said so) or with exactly one message and
// nothing handed over.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "devices/flytec/flytec_transfers.h"
#include "tests/devices/flytec/flytec_test_support.h"
#include "tests/fakes/counting_transport.h"

namespace tarnvik::devices::flytec {
namespace {

using sim::ReadFault;
using testing::CountingTransport;
using testing::flytec::MakeIgc;
using testing::flytec::Walk;

// Picks the first track, or all of them.
class PickingOperation final : public testing::RecordingOperation {
 public:
  int ChooseItem(const std::string& caption, const std::string& prompt, const std::vector<std::string>& items) override {
    RecordingOperation::ChooseItem(caption, prompt, items);
    return IsCancelled() || items.empty() ? -1 : 0;
  }
  std::vector<int> ChooseItems(const std::string&, const std::string&, const std::vector<std::string>& items) override {
    std::vector<int> all;
    for (size_t i = 0; i < items.size(); ++i) all.push_back(static_cast<int>(i));
    return all;
  }
};

struct Routine {
  const char* name;
  int accessType;
  int protocol;
  std::function<int(access::AccessJob&)> run;
  const char* version;  // "2.2" lists the tracks, "2.0" gets the newest
};

struct Outcome {
  int result = 0;
  std::vector<std::string> messages;
  std::vector<core::TrackPoint> points;
  std::vector<uint8_t> raw;
  std::vector<core::Waypoint> waypoints;
  std::string text;
  int64_t elapsedMs = 0;
  int reads = 0;
};

Outcome RunRoutine(const Routine& r, int k, ReadFault fault) {
  testing::FakeClock clock;
  PickingOperation operation;
  access::DebugCapture capture;
  sim::flytec::FlytecDeviceConfig config;
  config.software = r.version;
  sim::flytec::FlytecDevice device(config);
  device.tracks = {MakeIgc(Walk(12, 9)), MakeIgc(Walk(15, 11))};
  for (int i = 0; i < 6; ++i) device.waypoints.push_back({46.0 + i, 8.0 + i, "W" + std::to_string(i), "NAME", 100 * i});
  sim::PumpedLink wire(device, clock);
  CountingTransport counting(wire);
  if (fault != ReadFault::None) wire.InjectReadFault(k, fault);
  access::AccessJob job(r.accessType, r.protocol, counting, clock, operation, capture);
  if (r.accessType == access::kAccessUploadWaypoints) {
    for (int i = 0; i < 4; ++i) {
      core::Waypoint w;
      w.latitude = 1000 * i;
      std::string("UP" + std::to_string(i)).copy(w.comment, 40);
      job.data.waypoints.push_back(w);
    }
  }
  const int64_t start = clock.NowMs();
  Outcome out;
  out.result = r.run(job);
  out.elapsedMs = clock.NowMs() - start;
  for (const auto& f : operation.failures) {
    if (!f.question) out.messages.push_back(f.text);
  }
  out.points = job.data.points;
  out.raw = job.data.rawIgc;
  out.text = job.data.text;
  if (r.accessType != access::kAccessUploadWaypoints) out.waypoints = job.data.waypoints;
  out.reads = counting.reads;
  return out;
}

bool SamePoints(const std::vector<core::TrackPoint>& a, const std::vector<core::TrackPoint>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].time != b[i].time || a[i].latitude != b[i].latitude || a[i].longitude != b[i].longitude ||
        a[i].height != b[i].height || a[i].flags != b[i].flags) {
      return false;
    }
  }
  return true;
}

TEST(FlytecFaultLoop, EveryFaultAtEveryReadEndsWithOneMessage) {
  const Routine routines[] = {
      {"track with list", access::kAccessDownloadTrackLog, access::kProtocolFlytec, FlytecReadTrack, "2.2"},
      {"newest track", access::kAccessDownloadTrackLog, access::kProtocolFlytec, FlytecReadTrack, "2.0"},
      {"logbook", access::kAccessDownloadTrackLog, access::kProtocolFlytecTrackList, FlytecReadTracksForLogbook, "2.2"},
      {"waypoint download", access::kAccessDownloadWaypoints, access::kProtocolFlytec, FlytecReadWaypoints, "2.2"},
      {"waypoint upload", access::kAccessUploadWaypoints, access::kProtocolFlytec, FlytecSendWaypoints, "2.2"},
  };
  for (const Routine& r : routines) {
    const Outcome clean = RunRoutine(r, 0, ReadFault::None);
    ASSERT_GE(clean.result, 0) << r.name;
    ASSERT_TRUE(clean.messages.empty()) << r.name << ": " << clean.messages.front();
    ASSERT_GT(clean.reads, 0) << r.name;
    std::set<std::string> seen;
    for (ReadFault fault : {ReadFault::Fail, ReadFault::Corrupt, ReadFault::Silent}) {
      for (int k = 1; k <= clean.reads; ++k) {
        const Outcome o = RunRoutine(r, k, fault);
        const std::string where =
            std::string(r.name) + " fault " + std::to_string(static_cast<int>(fault)) + " at read " + std::to_string(k);
        // No hang: at most the product data limit and one reply's quiet time beyond the clean run.
        EXPECT_LE(o.elapsedMs, clean.elapsedMs + kProductLimitMs + kIgcQuietMs) << where;
        if (o.result >= 0) {
          // A reply that was starved ends early; a track without its G record says so. (A byte
          // spoiled inside a line that holds no fix is not seen here: IGC text has no
          // checksum; its G record shows it to the verifier.)
          if (!SamePoints(o.points, clean.points)) {
            EXPECT_EQ(o.messages, std::vector<std::string>{"No G-records found"}) << where;
            EXPECT_FALSE(o.points.empty()) << where;
          } else {
            EXPECT_TRUE(o.messages.empty() || o.messages == std::vector<std::string>{"No G-records found"}) << where;
          }
          EXPECT_LE(o.waypoints.size(), clean.waypoints.size()) << where;
          continue;
        }
        EXPECT_EQ(o.result, -1) << where;
        ASSERT_EQ(o.messages.size(), 1u) << where << ": " << ::testing::PrintToString(o.messages);
        seen.insert(o.messages[0]);
        EXPECT_TRUE(o.points.empty()) << where;
        EXPECT_TRUE(o.raw.empty()) << where;
        EXPECT_TRUE(o.waypoints.empty()) << where;
        EXPECT_TRUE(o.text.empty()) << where;
      }
    }
    // Every routine meets a port error and the product data time-out somewhere in the loop.
    EXPECT_TRUE(seen.count("E103 COM port read error")) << r.name;
    EXPECT_TRUE(seen.count("E101 Serial number request timeout")) << r.name;
  }
}

}  // namespace
}  // namespace tarnvik::devices::flytec
