// Arbitrary bytes as one TNC waypoint line, and the "@@WP" packet of what it decodes: the ID
// stays within six characters, the position on the globe, the packet keeps its frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "devices/xctrainer/xctrainer_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik;
  core::Waypoint w;
  if (devices::xctrainer::ParseTncWaypointLine(std::string_view(reinterpret_cast<const char*>(data), size), w) != 0) {
    return 0;
  }
  if (w.id[6] != 0 || w.altitude < 0 || w.latitude > (1 << 30) || w.latitude < -(1 << 30)) std::abort();
  const devices::xctrainer::WaypointPacket p = devices::xctrainer::BuildWaypointPacket(w);
  uint8_t x = 0;
  for (size_t i = 2; i <= 27; ++i) x ^= p[i];
  if (std::memcmp(p.data(), "@@WP", 4) != 0 || p[28] != x || p[29] != '\r') std::abort();
  return 0;
}
