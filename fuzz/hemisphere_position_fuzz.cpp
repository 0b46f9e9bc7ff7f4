// Feeds arbitrary bytes to the hemisphere position parser (waypoint text files).
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy
  double value = 0;
  for (bool latitude : {true, false}) {
    const char* end = tarnvik::core::ParseHemispherePosition(text.c_str(), latitude, value);
    if (end && (end < text.c_str() || end > text.c_str() + text.size())) __builtin_trap();
  }
  char id[7];
  tarnvik::core::NormaliseWaypointId(text, id, true);
  tarnvik::core::ValidateWaypointId(text, id);
  char comment[41];
  tarnvik::core::NormaliseComment(text, comment);
  return 0;
}
