#include "app/olc_command.h"

#include <ostream>
#include <string_view>

#include "analysis/olc_model.h"
#include "analysis/olc_search.h"
#include "analysis/olc_text.h"
#include "core/file_io.h"
#include "formats/igc.h"

namespace tarnvik::app {

int RunOlcCommand(const std::string& path, std::ostream& out, core::Ui& ui) {
  core::FileBytes file = core::ReadWholeFile(path);
  switch (file.error) {
    case core::ReadError::None: break;
    case core::ReadError::Open:
      ui.ShowMessage("Error opening track log file", file.systemText, core::Icon::Information);
      return 1;
    case core::ReadError::TooLarge:
      ui.ShowMessage("File buffer memory allocation", file.systemText, core::Icon::Information);
      return 1;
    case core::ReadError::Read:
      ui.ShowMessage("Track log file read error", file.systemText, core::Icon::Information);
      return 1;
  }
  if (file.size == 0) {
    ui.ShowMessage("Read track log file", "File is empty", core::Icon::Information);
    return 1;
  }
  formats::IgcParseResult parsed = formats::ParseIgcLog(std::string_view(file.begin(), file.size));
  if (parsed.count <= 0 || parsed.fixes.empty()) {
    ui.ShowMessage(analysis::kOlcOpenCaption, parsed.error.empty() ? "No positions found" : parsed.error,
                   core::Icon::Error);
    return 1;
  }
  if (parsed.fixes.size() < analysis::kMinimumOlcPoints) {
    ui.ShowMessage(analysis::kOlcOpenCaption, "Number of positions must be 5 or more", core::Icon::Error);
    return 1;
  }
  analysis::OlcResult result;
  if (analysis::RunOlcSearch(parsed.fixes, nullptr, nullptr, result) != 0) {
    ui.ShowMessage(analysis::kOlcTableCaption, analysis::kOlcTableText, core::Icon::Error);
    return 1;
  }
  for (const std::string& line : analysis::OlcSummaryLines(result)) out << line << '\n';
  return 0;
}

}  // namespace tarnvik::app
