// MapSource record files (".mps"): "MsRcd" and NUL, then records of a 32-bit little-endian
// length L and L + 1 bytes (the type character and L more). Written: the format record (version
// "i"), the product record, one track record with its points or one record per waypoint, and
// the end record. Read: track records ("T") and waypoint records ("W"); other records are
// skipped by their length.
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

constexpr const char* kMapSourceCaption = "Decoding MapSource file";
// Seconds from 1970-01-01 to 1989-12-31, the offset of MapSource times.
constexpr uint32_t kMapSourceTimeOffset = 631065600;
constexpr const char* kMapSourceTrackName = "Tarnvik track log source   ";

std::string FormatMapSourceTrack(std::span<const core::TrackPoint> fixes);
std::string FormatMapSourceWaypoints(std::span<const core::Waypoint> waypoints);

// Track parser interface. Every track record starts a segment; a time before 1989-12-31 is 0.
TrackParseResult ReadMapSourceTrack(core::Ui& ui, std::string_view bytes);

// Waypoints of the "W" records. Without question.interactive a name that would need the ID
// question is refused with "Bad ID for waypoint %d".
int ReadMapSourceWaypoints(core::Ui& ui, std::string_view bytes, std::vector<core::Waypoint>& waypoints,
                           WaypointIdQuestion question);

}  // namespace tarnvik::formats
