// Feeds arbitrary bytes to the pilot list reader: it must end with the entries or one shown
// message, never read past the text, and every entry must obey the list's rules.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "competition/pilot_list.h"
#include "silent_ui.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::competition;
  tarnvik::fuzzing::SilentUi ui;
  std::vector<PilotEntry> pilots;
  const int result = ParsePilotList(ui, std::string_view(reinterpret_cast<const char*>(data), size), pilots);
  if (result == 0 && ui.shown != 0) __builtin_trap();
  if (result == -1 && (ui.shown != 1 || !pilots.empty())) __builtin_trap();
  for (const PilotEntry& pilot : pilots) {
    if (pilot.name.size() > kPilotNameLength || pilot.competitionId < -1 || pilot.civlId < -1) __builtin_trap();
    (void)PilotDisplayText(pilot);
  }
  return 0;
}
