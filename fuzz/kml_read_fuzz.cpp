// Feeds arbitrary bytes to the KML log reader and the logbook folder finder. Whatever the reader
// accepts must survive a signed write and a second read: same fix count, valid signature.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/flight_summary.h"
#include "core/text_buffer.h"
#include "formats/kml_logbook.h"
#include "formats/kml_reader.h"
#include "formats/kml_writer.h"

namespace {

using namespace tarnvik;

// Answers every question with its default and picks the track named by one input byte.
class FuzzUi final : public core::Ui {
 public:
  explicit FuzzUi(int pick) : pick_(pick) {}
  void ShowMessage(const std::string&, const std::string&, core::Icon) override {}
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer defaultAnswer,
                   core::Icon) override {
    return defaultAnswer;
  }
  std::optional<std::string> ChooseOpenFile(core::FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(core::FileRequest&) override { return std::nullopt; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>& items) override {
    if (items.empty() || items.size() > 50) __builtin_trap();
    return pick_ < 0 ? -1 : pick_ % static_cast<int>(items.size());
  }

 private:
  int pick_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const int pick = size > 0 ? static_cast<int>(data[size - 1]) - 8 : 0;  // sometimes cancels
  FuzzUi ui(pick);
  formats::TrackParseResult r = formats::ReadKmlLog(ui, bytes);
  if (r.result < 0 || (r.result == 0) != r.fixes.empty()) __builtin_trap();
  if (r.result > 0) {
    if (static_cast<size_t>(r.result) != r.fixes.size() || r.fixes[0].flags != 1) __builtin_trap();
    if (r.signatureFlag != 0 && r.signatureFlag != formats::kKmlSignatureValid) __builtin_trap();
    core::FlightSummary summary;
    summary.fixes = r.fixes;
    summary.startTime = r.fixes.front().time;
    summary.finishTime = r.fixes.back().time;
    summary.signFlag = 1;
    summary.utcFlag = r.extra;
    core::TextBuffer folder;
    if (formats::BuildKmlTripFolder(folder, summary, bytes.substr(0, 64), bytes.substr(0, 90)) != 0) __builtin_trap();
    const std::string document =
        std::string(formats::kKmlHeader) + folder.Text() + std::string(formats::kKmlFooter);
    FuzzUi again(0);
    formats::TrackParseResult back = formats::ReadKmlLog(again, document);
    if (back.result != r.result || back.signatureFlag != formats::kKmlSignatureValid) __builtin_trap();
  }

  formats::LogbookFolders folders = formats::FindLogbookFolders(bytes);
  if (folders.code == 0) {
    if (folders.count < 1 || folders.begin >= folders.end || folders.end > size) __builtin_trap();
    if (bytes.substr(folders.begin, 7) != "<Folder") __builtin_trap();
  }
  return 0;
}
