// Feeds arbitrary bytes to the waypoint file recognition and every waypoint reader behind it, asked questions answered "Yes" (the default), so
// the lenient ID path runs too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "formats/waypoint_files.h"
#include "fuzz/silent_ui.h"

using tarnvik::fuzzing::SilentUi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (bool interactive : {false, true}) {
    SilentUi ui;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<tarnvik::core::Waypoint> waypoints;
    tarnvik::formats::WaypointIdQuestion question;
    question.interactive = interactive;
    int count = tarnvik::formats::DetectWaypointFormat(ui, bytes, waypoints, question);
    if (count > 0) {
      if (ui.shown != 0 || waypoints.size() != static_cast<size_t>(count)) __builtin_trap();
      // Every ID and comment is NUL-terminated inside its field.
      for (const auto& w : waypoints) {
        if (w.id[6] != '\0' || w.comment[40] != '\0' || w.id[0] == '\0') __builtin_trap();
      }
    } else if (!waypoints.empty()) {
      __builtin_trap();
    }
  }
  return 0;
}
