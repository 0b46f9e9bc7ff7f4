// The conversion command: one track log or waypoint file into another format, without a window.
//
//   tarnvik --convert [--waypoints] [--type=NAME] [--track=N] [--overwrite] INPUT OUTPUT
//
// Tracks: the input's reader by its extension (.igc .kml .dat .plt .gpx .csv .log .mps; any
// case), the output's writer by its extension (.kml .igc .gpx .plt .csv .mps). The log gets the
// source kind and flag that "Open log" gives it: KML goes through the command line's KML writer
// (a validated .dat or signed KML stays signed), IGC gets its G record only for an instrument's
// log (never here), the rest are the "Save log As" writers over all fixes. --track=N picks one
// track of a KML logbook (1-based); without it a logbook with several tracks is refused.
// Waypoints (--waypoints): the input's layout recognised from its bytes, names that would need
// the ID question refused; output .wpt (OziExplorer, or --type=UTM / --type=Geographical),
// .mps, .cup, .gpx.
// On success "<N> positions written" or "<N> waypoints written" on out and 0; a refusal is one
// "caption: text" line through ui and 1, with no output file. An existing OUTPUT is kept
// unless --overwrite.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "core/ports.h"

namespace tarnvik::app {

constexpr const char* kConvertCaption = "Convert";

// args: the arguments after "--convert".
int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, core::Ui& ui, core::Clock& clock);

// The usage lines of the conversion command for --help.
std::string ConvertUsageText();

}  // namespace tarnvik::app
