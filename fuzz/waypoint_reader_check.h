// The check every fuzz target of a waypoint file reader makes: the reader is given the bytes
// once without and once with questions (answered "Yes", the default, so the lenient ID path
// runs too). What it reads it counts rightly and silently, each ID and comment NUL-terminated
// inside its field and no ID empty; when it reads nothing it hands nothing over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/records.h"
#include "formats/format_text.h"
#include "fuzz/silent_ui.h"

namespace tarnvik::fuzzing {

// read(ui, bytes, waypoints, question) returns the number of waypoints read, or 0 or less.
template <typename Reader>
void CheckWaypointReader(const uint8_t* data, size_t size, Reader read) {
  for (bool interactive : {false, true}) {
    SilentUi ui;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<core::Waypoint> waypoints;
    formats::WaypointIdQuestion question;
    question.interactive = interactive;
    const int count = read(ui, bytes, waypoints, question);
    if (count > 0) {
      if (ui.shown != 0 || waypoints.size() != static_cast<size_t>(count)) __builtin_trap();
      for (const auto& w : waypoints) {
        if (w.id[6] != '\0' || w.comment[40] != '\0' || w.id[0] == '\0') __builtin_trap();
      }
    } else if (!waypoints.empty()) {
      __builtin_trap();
    }
  }
}

}  // namespace tarnvik::fuzzing
