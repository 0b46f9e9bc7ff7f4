// What a transfer does when it cannot go on: a list longer than the unit can count, a port that
// fails while writing, an abort between the zones of a CTR upload; and the track upload's
// layouts, which follow the types the unit declared.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "devices/garmin/garmin_product.h"
#include "devices/garmin/garmin_transfers.h"
#include "tests/devices/garmin/garmin_test_support.h"

namespace tarnvik::devices::garmin {
namespace {

using sim::garmin::GarminDeviceConfig;
using sim::garmin::StandardCapabilities;
using testing::garmin::MakeWaypoint;
using testing::garmin::Rig;
using testing::garmin::SampleTrack;

std::vector<core::Waypoint> Records(size_t n) {
  std::vector<core::Waypoint> out(n, MakeWaypoint("PT", "", 1000, -1000, 10));
  for (size_t i = 0; i < n; ++i) out[i].latitude = static_cast<int32_t>(i);
  return out;
}

GarminDeviceConfig Unit(std::vector<std::pair<char, uint16_t>> capabilities) {
  GarminDeviceConfig config;
  config.capabilities = std::move(capabilities);
  return config;
}

TEST(GarminUploadLimits, ListsLongerThanTheRecordsPacketCanCountAreRefusedBeforeSending) {
  struct Case {
    const char* name;
    uint16_t trackTransfer;
    std::function<int(GarminSession&)> upload;
    const char* caption;
    const char* message;
  } cases[] = {
      {"waypoints", 301, [](GarminSession& s) { return UploadGarminWaypoints(s, Records(65536)); }, "Upload waypoints",
       "Too many waypoints (65536): a Garmin unit takes at most 65535 in one transfer"},
      // The track header counts as a record on A301 and A302 units.
      {"A301 track", 301, [](GarminSession& s) { return UploadGarminTrack(s, Records(65535)); }, "Upload track log",
       "Too many track points (65535): a Garmin unit takes at most 65534 in one transfer"},
      {"A300 track", 300, [](GarminSession& s) { return UploadGarminTrack(s, Records(65536)); }, "Upload track log",
       "Too many track points (65536): a Garmin unit takes at most 65535 in one transfer"},
      {"CTR", 301, [](GarminSession& s) { return UploadGarminCtrs(s, {Records(65535)}); }, "Upload CTR",
       "CTR 1: too many points (65535): a Garmin unit takes at most 65534 in one transfer"},
  };
  for (const auto& c : cases) {
    Rig rig(Unit(StandardCapabilities(108, c.trackTransfer, c.trackTransfer == 300 ? 300 : 301)));
    ASSERT_EQ(ReadProductData(rig.session), 0) << c.name;
    EXPECT_EQ(c.upload(rig.session), -1) << c.name;
    ASSERT_EQ(rig.FailureTexts(), std::vector<std::string>{c.message}) << c.name;
    EXPECT_EQ(rig.operation.failures[0].caption, c.caption) << c.name;
    // Nothing of the upload went out: the product request is the only packet of the host.
    EXPECT_EQ(rig.device.hostPackets().size(), 1u) << c.name;
  }
}

// Writes go through to the wire until the failAt-th, which fails as a broken port does.
class FailingWrites : public access::Transport {
 public:
  FailingWrites(access::Transport& inner, int failAt) : inner_(inner), failAt_(failAt) {}
  int SetSpeed(int baud, bool xonXoff) override { return inner_.SetSpeed(baud, xonXoff); }
  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override { return inner_.Read(buffer, size, maxWaitMs); }
  int Write(const uint8_t* bytes, size_t count) override {
    ++writes;
    if (writes >= failAt_) return -1;
    return inner_.Write(bytes, count);
  }
  void Purge() override { inner_.Purge(); }
  void Close() override { inner_.Close(); }
  std::string ErrorCaption() const override { return writes >= failAt_ ? "Writing to the COM port" : ""; }
  std::string ErrorText() const override { return writes >= failAt_ ? "Input/output error" : ""; }
  int writes = 0;

 private:
  access::Transport& inner_;
  int failAt_;
};

struct Routine {
  const char* name;
  int accessType;
  int (*run)(access::AccessJob&);
};

TEST(GarminWriteFailures, AFailedWriteEndsTheTransferAtOnceWithThePortsError) {
  const Routine routines[] = {
      {"track log download", access::kAccessDownloadTrackLog, GarminDownloadTrack},
      {"waypoint download", access::kAccessDownloadWaypoints, GarminDownloadWaypoints},
      {"waypoint upload", access::kAccessUploadWaypoints, GarminUploadWaypoints},
      {"track upload", access::kAccessUploadTrackLog, GarminUploadTrack},
  };
  for (const Routine& r : routines) {
    for (int k = 1;; ++k) {
      testing::FakeClock clock;
      testing::RecordingOperation operation;
      access::DebugCapture capture;
      sim::garmin::GarminDevice device;
      device.track = SampleTrack(3);
      device.waypoints = Records(3);
      sim::PumpedLink wire(device, clock);
      FailingWrites port(wire, k);
      access::AccessJob job(r.accessType, access::kProtocolGarminSerial, port, clock, operation, capture);
      job.data.waypoints = Records(3);
      const int64_t start = clock.NowMs();
      const int result = r.run(job);
      const std::string where = std::string(r.name) + " write " + std::to_string(k);
      if (port.writes < k) {
        // The transfer needs fewer writes: every one has been failed once.
        EXPECT_EQ(result, 0) << where;
        EXPECT_GT(k, 8) << where;
        break;
      }
      EXPECT_EQ(result, -1) << where;
      ASSERT_EQ(operation.failures.size(), 1u) << where;
      const std::string& text = operation.failures[0].text;
      EXPECT_NE(text.find(" COM port write error: Input/output error"), std::string::npos) << where << ": " << text;
      EXPECT_EQ(text[0], 'E') << where;
      // At once: no wait for an answer, and nothing more is written to the broken port.
      EXPECT_LT(clock.NowMs() - start, kPacketTimeoutMs) << where << ": " << text;
      EXPECT_EQ(port.writes, k) << where << ": " << text;
    }
  }
}

TEST(GarminCtrUpload, AnAbortBetweenZonesStopsTheUpload) {
  Rig rig;
  ASSERT_EQ(ReadProductData(rig.session), 0);
  // Cancelled as the first zone's last point is reported sent.
  rig.operation.cancelAfterStatuses = static_cast<int>(rig.operation.statuses.size()) + 1;
  EXPECT_EQ(UploadGarminCtrs(rig.session, {Records(2), Records(2), {}, Records(2)}), -1);
  EXPECT_EQ(rig.operation.statuses.back(), "CTR 1: Point 2 of 2 sent");
  EXPECT_EQ(rig.device.uploads().announcedCounts, std::vector<int>{3});
  EXPECT_EQ(rig.device.uploads().completedTransfers, 1);
  EXPECT_TRUE(rig.operation.failures.empty());  // the engine reports the abort
}

TEST(GarminTrackUpload, PointAndHeaderLayoutsAreTheOnesTheUnitDeclared) {
  struct Case {
    std::vector<std::pair<char, uint16_t>> track;  // the unit's track entries
    size_t headerSize;                             // 0: no header
    size_t pointSize;
  } cases[] = {
      // Header: display, colour, the first record's ID "PT" and its NUL; D311: the index.
      {{{'A', 300}, {'D', 300}}, 0, 13},
      {{{'A', 301}, {'D', 310}, {'D', 301}}, 2 + 2 + 1, 21},
      {{{'A', 301}, {'D', 312}, {'D', 302}}, 2 + 2 + 1, 25},
      {{{'A', 302}, {'D', 311}, {'D', 304}}, 2, 23},
      {{{'A', 302}, {'D', 310}, {'D', 303}}, 2 + 2 + 1, 17},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<char, uint16_t>> caps = {{'P', 0}, {'L', 1}, {'A', 10}, {'A', 100}, {'D', 110}};
    caps.insert(caps.end(), c.track.begin(), c.track.end());
    Rig rig(Unit(caps));
    const std::string where = "A" + std::to_string(c.track[0].second) + "/D" + std::to_string(c.track.back().second);
    ASSERT_EQ(ReadProductData(rig.session), 0) << where;
    auto records = Records(3);
    ASSERT_EQ(UploadGarminTrack(rig.session, records), 0) << where;
    size_t headers = 0;
    size_t points = 0;
    for (const auto& p : rig.device.hostPackets()) {
      if (p.id == kPidTrackHeader) {
        ++headers;
        EXPECT_EQ(p.data.size(), c.headerSize) << where;
      } else if (p.id == kPidTrackPoint) {
        ++points;
        EXPECT_EQ(p.data.size(), c.pointSize) << where;
      }
    }
    EXPECT_EQ(headers, c.headerSize ? 1u : 0u) << where;
    EXPECT_EQ(points, 3u) << where;
    EXPECT_EQ(rig.device.uploads().announcedCounts, std::vector<int>{static_cast<int>(headers + points)}) << where;
    EXPECT_TRUE(rig.device.protocolErrors().empty()) << where << ": " << rig.device.protocolErrors().front();
  }
}

}  // namespace
}  // namespace tarnvik::devices::garmin
