// Arbitrary bytes as a saved Top Navigator log (.tnc): the line assembly, the start, time and
// position records and the block rules. A successful read holds only fixes on the globe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "devices/xctrainer/xctrainer_records.h"
#include "fuzz/silent_ui.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik;
  fuzzing::SilentUi ui;
  const formats::TrackParseResult r =
      devices::xctrainer::ParseTncLogFile(ui, std::string_view(reinterpret_cast<const char*>(data), size));
  if (r.result > 0) {
    if (static_cast<size_t>(r.result) != r.fixes.size() || ui.shown != 0) std::abort();
    for (const core::TrackPoint& p : r.fixes) {
      if (p.latitude > (1 << 30) || p.latitude < -(1 << 30)) std::abort();
    }
  } else if (!r.fixes.empty() || ui.shown > 1) {
    std::abort();
  }
  return 0;
}
