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
#include "fuzz/fuzz_line.h"

namespace {

using namespace tarnvik;
using fuzzing::InputLine;
using fuzzing::StillClock;

// Takes the first track; checks the texts it is shown (a product text of at most 40 characters,
// list entries of 2 to 81).
class PickingOperation final : public fuzzing::QuietOperation {
 public:
  PickingOperation() : QuietOperation(40) {}
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
    StillClock clock({2024, 7, 0, 15, 12, 0, 0, 0});
    InputLine line(data, size, clock);
    PickingOperation operation;
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
