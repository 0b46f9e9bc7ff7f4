// The Google Earth export of the command line: a one-trip KML file of a whole track log, with
// the flight statistics computed here (the conversions IGC2KML and DAT2KML, and the file of a
// KML_LOG download).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::app {

constexpr const char* kGoogleEarthCaption = "Write GoogleEarth file";
// Fewer fixes than this give "Too few track positions".
constexpr size_t kGoogleEarthMinimumFixes = 5;
// Longest log file name the conversions take (before ".kml" is added).
constexpr size_t kGoogleEarthNameLength = 256;

// Builds the whole KML document (header, one trip folder, footer) of the fixes: statistics and
// both distance searches, the start date as description, no download time and no pilot IDs.
// instrumentName: the product text of the instrument the log came from (may be empty).
// Returns 0, or -1 after a message.
int BuildGoogleEarthKml(core::Ui& ui, std::span<const core::TrackPoint> fixes, int signFlag, int utcFlag,
                        std::string_view instrumentName, std::string& document);

// The conversions' export: writes logFileName + ".kml". With overwrite an existing file is
// replaced, else it is left alone ("File already exists"). The file appears only complete
// (written to a temporary file first). Returns 0, or -1 after a message.
int WriteGoogleEarthKml(core::Ui& ui, std::string_view logFileName, bool overwrite,
                        std::span<const core::TrackPoint> fixes, int signFlag, int utcFlag);

}  // namespace tarnvik::app
