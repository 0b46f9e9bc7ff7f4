// The command line's conversions: an IGC log or an old-logbook .dat log to a KML file.
#include "app/command_line.h"
#include "formats/dat_track.h"
#include "formats/igc.h"

namespace tarnvik::app {

int RunCommandLineConversion(const CommandLineOptions& options, core::Ui& ui) {
  formats::TrackParseResult track;
  if (options.action == CommandLineAction::IgcToKml) {
    track = formats::ReadIgcFile(ui, options.fileName);
  } else if (options.action == CommandLineAction::DatToKml) {
    track = formats::ReadDatFile(ui, options.fileName);
  } else {
    return -1;
  }
  if (track.result <= 0) return -1;  // the reader has reported
  // The KML export is not part of this build yet: say so rather than pretend.
  ui.ShowMessage("Write GoogleEarth file", "KML export is not available in this build", core::Icon::Error);
  return -1;
}

}  // namespace tarnvik::app
