// Arbitrary bytes as an OpenAir file: the reader either refuses them with one message and
// leaves the list as it was, or returns its zones; every zone is written and read back to the
// same count, and its outline is computed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "airspace/openair.h"
#include "fuzz/silent_ui.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik;
  fuzzing::SilentUi ui;
  core::CtrList zones;
  int warnings = 0;
  const int count = airspace::ParseOpenAir(ui, std::string_view(reinterpret_cast<const char*>(data), size), zones,
                                           [&](const std::string& text) {
                                             if (text.size() > 80) __builtin_trap();
                                             return (++warnings % 2) == 0;
                                           });
  if (count < 0) {
    if (ui.shown != 1 || !zones.empty()) __builtin_trap();
    return 0;
  }
  if (ui.shown != 0 || static_cast<size_t>(count) != zones.size()) __builtin_trap();
  for (core::CtrRecord& zone : zones) {
    if (zone.name[core::kCtrTextLength] != 0 || zone.floor[core::kCtrTextLength] != 0 ||
        zone.ceiling[core::kCtrTextLength] != 0 || zone.nameLength != static_cast<int32_t>(std::strlen(zone.name)) ||
        zone.nameLength == 0) {
      __builtin_trap();
    }
    zone.selected = 1;
    const std::vector<core::Waypoint> outline = airspace::CtrOutlinePoints(zone);
    if (outline.size() > 1 + zone.segments.size() * 36 + 33) __builtin_trap();
    (void)airspace::WriteOpenAirEditorForm(zone);
  }
  if (count == 0) return 0;
  const std::string text = airspace::WriteOpenAir(zones);
  core::CtrList again;
  if (airspace::ParseOpenAir(ui, text, again, {}) != count) __builtin_trap();
  return 0;
}
