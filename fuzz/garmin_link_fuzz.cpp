// Arbitrary bytes as what a Garmin unit sends: the packet parser with its round trip, the
// record layouts on every packet, the capability array parser, and whole routines (product
// data exchange, track log and waypoint download) reading the bytes as the line.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "access/access_engine.h"
#include "devices/garmin/garmin_link.h"
#include "devices/garmin/garmin_product.h"
#include "devices/garmin/garmin_records.h"
#include "devices/garmin/garmin_transfers.h"

namespace {

using namespace tarnvik;

class StillClock : public core::Clock {
 public:
  int64_t NowMs() override { return now; }
  void SleepMs(int64_t ms) override { now += ms; }
  core::SystemTime UtcNow() override { return {}; }
  int64_t now = 0;
};

// The fuzz input as the line, in reads of varying size; writes vanish.
class InputLine : public access::Transport {
 public:
  InputLine(const uint8_t* data, size_t size, StillClock& clock) : data_(data), size_(size), clock_(clock) {}
  int SetSpeed(int, bool) override { return 0; }
  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override {
    if (at_ >= size_) {
      clock_.SleepMs(maxWaitMs);
      return 0;
    }
    size_t n = 1 + (data_[at_] % 37);
    n = std::min({n, size, size_ - at_});
    std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    return static_cast<int>(n);
  }
  int Write(const uint8_t*, size_t) override { return 0; }
  void Purge() override {}
  void Close() override {}

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  StillClock& clock_;
};

class QuietOperation : public core::Operation {
 public:
  bool IsCancelled() const override { return false; }
  void Status(const std::string&) override {}
  void Product(const std::string& text) override {
    if (text.size() > 80) __builtin_trap();
  }
  void Fail(const std::string&, const std::string&) override {}
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer a) override { return a; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }
};

constexpr uint16_t kWaypointTypes[] = {100, 101, 102, 103, 104, 107, 108, 109, 110, 150, 151, 152, 154, 155};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::devices::garmin;
  // The parser: every packet it completes frames back to bytes that parse to the same packet.
  GarminParser parser;
  GarminPacket packet;
  for (size_t i = 0; i < size; ++i) {
    if (!parser.Feed(data[i], packet)) continue;
    std::vector<uint8_t> framed = FrameGarminPacket(packet.id, packet.data.data(), packet.size);
    GarminParser again;
    GarminPacket back;
    bool done = false;
    for (uint8_t b : framed) done = again.Feed(b, back);
    if (!done || back.id != packet.id || back.size != packet.size ||
        std::memcmp(back.data.data(), packet.data.data(), packet.size) != 0) {
      __builtin_trap();
    }
    tarnvik::core::TrackPoint point;
    for (uint16_t type = 300; type <= 304; ++type) DecodeTrackPoint(type, packet.data.data(), packet.size, point);
    tarnvik::core::Waypoint waypoint;
    for (uint16_t type : kWaypointTypes) {
      if (DecodeWaypoint(type, packet.data.data(), packet.size, waypoint) == 0 &&
          (waypoint.id[6] != 0 || waypoint.comment[40] != 0)) {
        __builtin_trap();
      }
    }
    GarminCapabilities caps;
    ParseCapabilities(packet.data.data(), packet.size / 3, caps);
  }

  // Whole routines with the bytes as the unit's answers.
  for (int access : {tarnvik::access::kAccessDownloadTrackLog, tarnvik::access::kAccessDownloadWaypoints}) {
    StillClock clock;
    InputLine line(data, size, clock);
    QuietOperation operation;
    tarnvik::access::DebugCapture capture;
    tarnvik::access::AccessJob job(access, 0, line, clock, operation, capture);
    const int result = access == tarnvik::access::kAccessDownloadTrackLog ? GarminDownloadTrack(job)
                                                                            : GarminDownloadWaypoints(job);
    if (result == 0 && job.count != static_cast<int>(job.data.points.size() + job.data.waypoints.size())) {
      __builtin_trap();
    }
  }
  return 0;
}
