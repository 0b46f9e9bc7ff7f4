// Feeds arbitrary bytes to the waypoint file recognition and every waypoint reader behind it, asked questions answered "Yes" (the default), so
// the lenient ID path runs too.
#include <cstddef>
#include <cstdint>

#include "formats/waypoint_files.h"
#include "fuzz/waypoint_reader_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tarnvik::fuzzing::CheckWaypointReader(data, size, tarnvik::formats::DetectWaypointFormat);
  return 0;
}
