// The file formats this build gives the command-line runs.
#include "app/command_line_run.h"
#include "app/google_earth_export.h"
#include "formats/igc_writer.h"
#include "formats/mapsource.h"
#include "formats/other_tracks.h"
#include "formats/waypoint_files.h"

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
  // OZI_LOG (RD_LOG), MPS_LOG: every fix of the log; the OziExplorer file stamped with "now".
  formats.oziTrack = [](const CommandLineFileData& data, std::string& bytes) {
    bytes = formats::FormatOziTrack(data.log.points, data.clock.UtcNow());
    return 0;
  };
  formats.mapSource = [](const CommandLineFileData& data, std::string& bytes) {
    bytes = formats::FormatMapSourceTrack(data.log.points);
    return 0;
  };
  // RD_WPT: the command line always writes the OziExplorer layout.
  formats.oziWaypoints = [](const CommandLineFileData& data, std::string& bytes) {
    bytes = formats::FormatOziWaypoints(data.waypoints.waypoints);
    return 0;
  };
  // WR_WPT, WR_WPT2: any of the six layouts; with nobody to ask, a name that would need the
  // "Modify waypoint ID" question is refused.
  formats.readWaypoints = [](core::Ui& ui, std::string_view bytes, std::vector<core::Waypoint>& waypoints) {
    formats::WaypointIdQuestion question;
    question.interactive = false;
    return formats::DetectWaypointFormat(ui, bytes, waypoints, question);
  };
  return formats;
}

}  // namespace tarnvik::app
