// Waypoint files in the text layouts: OziExplorer (".wpt"), Geographical and UTM (".wpt"),
// SeeYou-style CSV (".cup"); and DetectWaypointFormat, which recognises any of these, MapSource
// and GPX by the first bytes and reads the file with the matching reader.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports.h"
#include "core/records.h"
#include "formats/format_text.h"

namespace tarnvik::formats {

constexpr const char* kWaypointDecodeCaption = "Decoding waypoint file";

// The whole file text. Instrument texts are made safe for each layout: a comma becomes a blank in
// the OziExplorer layout, a double quote becomes "'" in the SeeYou layout, a blank inside an ID
// becomes "-" in the Geographical and UTM layouts; every other byte is written unchanged.
std::string FormatOziWaypoints(std::span<const core::Waypoint> waypoints);
std::string FormatGeoWaypoints(std::span<const core::Waypoint> waypoints);
std::string FormatUtmWaypoints(std::span<const core::Waypoint> waypoints);
std::string FormatCupWaypoints(std::span<const core::Waypoint> waypoints);

// Each reader: the count (possibly 0), or -1 after its message ("Bad line %d", caption
// "Decoding waypoint file") or when the user cancelled the ID question; waypoints receives the
// list only on success.
int ReadOziWaypoints(core::Ui& ui, std::string_view text, std::vector<core::Waypoint>& waypoints,
                     WaypointIdQuestion question);
int ReadGeoWaypoints(core::Ui& ui, std::string_view text, std::vector<core::Waypoint>& waypoints,
                     WaypointIdQuestion question);
int ReadUtmWaypoints(core::Ui& ui, std::string_view text, std::vector<core::Waypoint>& waypoints,
                     WaypointIdQuestion question);
int ReadCupWaypoints(core::Ui& ui, std::string_view text, std::vector<core::Waypoint>& waypoints,
                     WaypointIdQuestion question);

// Recognises the format by the beginning of the bytes and reads them. Returns the count; 0 or
// less after "No waypoints found" (also when a file holds none) or a reader's message, or when
// the user cancelled.
int DetectWaypointFormat(core::Ui& ui, std::string_view bytes, std::vector<core::Waypoint>& waypoints,
                         WaypointIdQuestion question);

}  // namespace tarnvik::formats
