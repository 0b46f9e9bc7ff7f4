#include "app/command_line_airspace.h"

#include <ostream>

#include "airspace/openair.h"
#include "app/ctr_commands.h"
#include "core/file_io.h"

namespace tarnvik::app {

int RunAirspaceCommand(const std::vector<std::string>& arguments, std::ostream& out, core::Ui& ui) {
  if (arguments.empty() || arguments.size() > 2) {
    out << "--airspace: give FILE [OUT]\n";
    return 1;
  }
  const std::string& path = arguments[0];
  core::CtrList zones;
  const int count = ReadCtrFile(ui, path, zones, [&ui](const std::string& text) {
    ui.ShowMessage(airspace::kNotificationCaption, text, core::Icon::Warning);
    return false;  // every warning is shown
  });
  if (count < 0) return 1;
  out << path << ": " << count << " zones\n";
  if (arguments.size() < 2) return 0;
  if (zones.empty()) {
    ui.ShowMessage(kWriteCtrCaption, kNoCtrsSelectedText, core::Icon::Error);
    return 1;
  }
  for (core::CtrRecord& zone : zones) zone.selected = 1;
  const std::string error = core::WriteFileAtomically(arguments[1], airspace::WriteOpenAir(zones));
  if (!error.empty()) {
    ui.ShowMessage("File write error", error, core::Icon::Error);
    return 1;
  }
  return 0;
}

}  // namespace tarnvik::app
