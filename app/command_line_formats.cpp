// The file formats this build gives the command-line runs.
#include "app/command_line_run.h"
#include "app/google_earth_export.h"
#include "formats/igc_writer.h"

namespace tarnvik::app {

CommandLineFormats BuiltInCommandLineFormats() {
  CommandLineFormats formats;
  // IGC_LOG: the record writer with the serial "000", the command line's pilot and glider ID,
  // the instrument's name as A-record text; a command-line save always ends with the G record.
  formats.igc = [](const CommandLineFileData& data, std::string& bytes) {
    formats::IgcHeader header;
    header.pilot = data.options.pilotName;
    header.gliderId = data.options.gliderId;
    header.aRecordText = data.log.sourceName;
    header.serial = "000";
    bytes = formats::FormatIgcLog(data.log.points, data.log.sourceKind, header, data.log.takenOver,
                                  formats::IgcGRecord::Always);
    return 0;
  };
  // KML_LOG: one trip with the statistics; signed when the log came from an instrument, with
  // the log's own UTC flag.
  formats.kml = [](const CommandLineFileData& data, std::string& bytes) {
    const int signFlag = data.log.sourceKind >= 1 && data.log.sourceKind <= 8 ? 1 : 0;
    return BuildGoogleEarthKml(data.ui, data.log.points, signFlag, data.log.sourceFlag, data.log.sourceName, bytes);
  };
  return formats;
}

}  // namespace tarnvik::app
