// Feeds arbitrary bytes to the old-logbook .dat track reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/dat_track.h"

namespace {

class SilentUi final : public tarnvik::core::Ui {
 public:
  int shown = 0;
  void ShowMessage(const std::string&, const std::string&, tarnvik::core::Icon) override { ++shown; }
  tarnvik::core::Answer Ask(const std::string&, const std::string&, tarnvik::core::Buttons,
                            tarnvik::core::Answer answer, tarnvik::core::Icon) override {
    return answer;
  }
  std::optional<std::string> ChooseOpenFile(tarnvik::core::FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(tarnvik::core::FileRequest&) override { return std::nullopt; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilentUi ui;
  auto parsed = tarnvik::formats::ReadDatTrack(ui, std::string_view(reinterpret_cast<const char*>(data), size));
  // A failure is shown once and gives no fixes; a success shows nothing and counts its fixes.
  if (parsed.result > 0) {
    if (ui.shown != 0 || parsed.fixes.size() != static_cast<size_t>(parsed.result)) __builtin_trap();
    if (parsed.fixes.front().flags != 1) __builtin_trap();
  } else if (ui.shown != 1 || !parsed.fixes.empty()) {
    __builtin_trap();
  }
  return 0;
}
