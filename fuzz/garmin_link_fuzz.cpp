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
#include "fuzz/fuzz_line.h"

namespace {

using namespace tarnvik;
using fuzzing::InputLine;
using fuzzing::StillClock;

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
    fuzzing::QuietOperation operation(80);  // no product text longer than 80 characters
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
