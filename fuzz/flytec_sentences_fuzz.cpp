// Arbitrary bytes as what a Flytec/Brauniger instrument sends: the product data, track list and
// waypoint sentence parsers byte by byte with the bounds of what they keep, and whole routines
// (track download with its list, waypoint download) reading the bytes as the line.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "access/access_engine.h"
#include "devices/flytec/flytec_sentences.h"
#include "devices/flytec/flytec_transfers.h"

namespace {

using namespace tarnvik;

class StillClock : public core::Clock {
 public:
  int64_t NowMs() override { return now; }
  void SleepMs(int64_t ms) override { now += ms; }
  core::SystemTime UtcNow() override { return {2024, 7, 0, 15, 12, 0, 0, 0}; }
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

// Takes the first track and every track; checks the texts it is shown.
class QuietOperation : public core::Operation {
 public:
  bool IsCancelled() const override { return false; }
  void Status(const std::string&) override {}
  void Product(const std::string& text) override {
    if (text.size() > 40) __builtin_trap();
  }
  void Fail(const std::string&, const std::string&) override {}
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer a) override { return a; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>& items) override {
    for (const auto& item : items) {
      if (item.size() > 81 || item.size() < 2) __builtin_trap();
    }
    return items.empty() ? -1 : 0;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::devices::flytec;
  ProductParser product;
  TrackListParser list;
  WaypointParser waypoint;
  for (size_t i = 0; i < size; ++i) {
    if (product.Feed(data[i]) == kParseComplete) {
      const FlytecProduct& p = product.product();
      if (p.name.size() > 16 || p.pilot.size() > 40 || p.serial.size() > 7 || p.version.size() > 6) __builtin_trap();
    }
    if (list.Feed(data[i]) == kParseComplete) {
      for (const auto& entry : list.entries()) {
        if (entry.size() > kTrackEntryLength) __builtin_trap();
      }
    }
    if (waypoint.Feed(data[i]) == kParseComplete) {
      const ReceivedWaypoint& w = waypoint.waypoint();
      if (w.id.size() > 6 || w.name.size() > 17) __builtin_trap();
      const tarnvik::core::Waypoint made = MakeWaypoint(w);
      if (made.id[6] != 0 || made.comment[40] != 0 || made.id[0] == 0) __builtin_trap();
      if (made.latitude > (1 << 30) || made.latitude < -(1 << 30)) __builtin_trap();
    }
  }

  for (int access : {tarnvik::access::kAccessDownloadTrackLog, tarnvik::access::kAccessDownloadWaypoints}) {
    StillClock clock;
    InputLine line(data, size, clock);
    QuietOperation operation;
    tarnvik::access::DebugCapture capture;
    tarnvik::access::AccessJob job(access, tarnvik::access::kProtocolFlytec, line, clock, operation, capture);
    const int result = access == tarnvik::access::kAccessDownloadTrackLog ? FlytecReadTrack(job)
                                                                            : FlytecReadWaypoints(job);
    if (result >= 0 && job.count != static_cast<int>(job.data.points.size() + job.data.waypoints.size())) {
      __builtin_trap();
    }
    if (result < 0 && !(job.data.points.empty() && job.data.rawIgc.empty() && job.data.waypoints.empty())) {
      __builtin_trap();
    }
  }
  return 0;
}
