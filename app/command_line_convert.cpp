// The command line's conversions: an IGC log or an old-logbook .dat log to a KML file.
#include "app/command_line.h"
#include "app/google_earth_export.h"
#include "formats/dat_track.h"
#include "formats/igc.h"

namespace tarnvik::app {

int RunCommandLineConversion(const CommandLineOptions& options, core::Ui& ui) {
  formats::TrackParseResult track;
  int signFlag = 0;
  if (options.action == CommandLineAction::IgcToKml) {
    track = formats::ReadIgcFile(ui, options.fileName);
  } else if (options.action == CommandLineAction::DatToKml) {
    // A .dat log whose validation code checked out is exported signed.
    track = formats::ReadDatFile(ui, options.fileName);
    signFlag = track.signatureFlag;
  } else {
    return -1;
  }
  if (track.result <= 0) return -1;  // the reader has reported
  return WriteGoogleEarthKml(ui, options.fileName, options.overwrite, track.fixes, signFlag, 0);
}

}  // namespace tarnvik::app
