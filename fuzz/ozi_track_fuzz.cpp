// Feeds arbitrary bytes to the OziExplorer track reader.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/other_tracks.h"
#include "fuzz/silent_ui.h"

using tarnvik::fuzzing::SilentUi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilentUi ui;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto parsed = tarnvik::formats::ReadOziTrack(ui, bytes);
  // A failure is shown once and gives no fixes; a success shows nothing and counts its fixes.
  if (parsed.result > 0) {
    if (ui.shown != 0 || parsed.fixes.size() != static_cast<size_t>(parsed.result)) __builtin_trap();
  } else if (ui.shown > 1 || !parsed.fixes.empty()) {
    __builtin_trap();
  }
  return 0;
}
