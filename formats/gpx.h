// GPX 1.1 documents: a track log as one track of one segment, a waypoint list as wpt elements,
// and the readers of both. The readers look only at the elements they need, at fixed depths:
// gpx/trk/trkseg/trkpt (every trkpt of every segment and track, in document order) and gpx/wpt.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports.h"
#include "core/records.h"
#include "formats/format_text.h"
#include "formats/track_parser.h"

namespace tarnvik::formats {

constexpr const char* kGpxTrackReadCaption = "Parsing track log file";
constexpr const char* kGpxWaypointReadCaption = "Parsing waypoint file";
constexpr const char* kGpxTrackSaveCaption = "Save GPX track log file";
constexpr const char* kGpxWaypointSaveCaption = "Save GPX waypoint file";

// The metadata link of every written document: the publisher's web address and a one-line
// description of the program.
constexpr const char* kGpxLinkAddress = "https://www.tarnvik.org/";
constexpr const char* kGpxLinkText = "Tarnvik - track logs and waypoints of free-flight instruments";

// The whole document text. now is the save time (metadata time and every waypoint's time).
// Names and comments have '&', '<' and '>' escaped.
std::string FormatGpxTrack(std::span<const core::TrackPoint> fixes, const core::SystemTime& now);
std::string FormatGpxWaypoints(std::span<const core::Waypoint> waypoints, const core::SystemTime& now);

// Track reader (track parser interface; signature flag and extra 0). Fractions of a second in
// the times are accepted and rounded to the nearest second.
TrackParseResult ReadGpxTrack(core::Ui& ui, std::string_view bytes);

// Waypoint reader: the count (-1 after a message, or when the user cancelled the ID question);
// waypoints receives the list. Without question.interactive an ID that would need the question
// is refused with "Bad ID for waypoint %d".
int ReadGpxWaypoints(core::Ui& ui, std::string_view bytes, std::vector<core::Waypoint>& waypoints,
                     WaypointIdQuestion question);

// '&', '<' and '>' as entities; every other byte unchanged.
std::string EscapeXmlText(std::string_view text);

}  // namespace tarnvik::formats
