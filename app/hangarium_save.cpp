#include "app/hangarium_save.h"

#include "core/file_io.h"

namespace tarnvik::app {
namespace {

constexpr size_t kLongestName = 256;

// True when the last path component has a dot after its first character.
bool HasExtension(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  return dot != std::string::npos && dot > start;
}

}  // namespace

int SaveHangariumDocument(core::Ui& ui, const std::string& document, std::string& folder, int& filterIndex) {
  for (;;) {
    core::FileRequest request;
    request.title = kHangariumSaveTitle;
    request.filters = {{"Hangarium files (*.kml)", "*.kml"}, {"All Files", "*.*"}};
    request.folder = folder;
    request.filterIndex = filterIndex;
    std::optional<std::string> chosen = ui.ChooseSaveFile(request);
    folder = request.folder;
    filterIndex = request.filterIndex;
    if (!chosen) return -1;
    std::string path = *chosen;
    if (request.filterIndex == 1 && !HasExtension(path)) path += ".kml";
    if (path.size() > kLongestName) {
      ui.ShowMessage("Error opening file", "Too long file name", core::Icon::Error);
      continue;
    }
    bool exists = false;
    std::string error = core::CreateFileExclusively(path, document, exists);
    if (exists) {
      if (ui.Ask(kHangariumSaveTitle, "File already exists. Overwrite ?", core::Buttons::OkCancel,
                 core::Answer::Cancel) != core::Answer::Ok) {
        continue;
      }
      error = core::WriteFileAtomically(path, document);
      if (!error.empty()) {
        ui.ShowMessage("File write error", error, core::Icon::Information);
        continue;
      }
    } else if (!error.empty()) {
      ui.ShowMessage("Error opening file", error, core::Icon::Information);
      continue;
    }
    ui.ShowMessage("Save Hangarium track", "File written", core::Icon::None);
    return 0;
  }
}

}  // namespace tarnvik::app
