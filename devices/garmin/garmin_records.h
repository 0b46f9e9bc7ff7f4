// The Garmin record layouts: track points (D300-D304) and waypoints (D100-D110, D150-D155)
// as received, waypoints as sent for each waypoint type, and the track points and track
// header of a track upload. Shared by the serial and USB paths and by the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/records.h"

namespace tarnvik::devices::garmin {

// Minimum data size of a received track point of this type; 0 for a type we do not read.
size_t TrackPointMinimumSize(uint16_t trackPointType);
// A track point of the unit's type into point (flags 1 when the new-segment flag byte is set).
// 0, or -1 when the packet is shorter than the type needs or the type is unknown.
int DecodeTrackPoint(uint16_t trackPointType, const uint8_t* data, size_t size, core::TrackPoint& point);
// Height in decimetres from a unit's altitude in metres: altitude x 10 + 0.5 truncated, or 0
// ("no height") when the value is not finite or lies outside +-20000 m. Units send 1.0e25 when
// they have no altitude.
int32_t TrackHeightFromGarminAltitude(float altitudeM);

// Minimum data size of a received waypoint of this type; 0 for a type we do not read.
size_t WaypointMinimumSize(uint16_t waypointType);
constexpr int kWaypointTooShort = -1;  // or not a type we read
constexpr int kWaypointBadMarker = -2; // D109/D110 without their type and attribute bytes
// A waypoint of the unit's type into waypoint (zeroed first). ID and comment are upper-cased
// and cut after the last non-blank; the variable-length texts of D108-D110 end at their NUL or
// at the end of the packet, whichever comes first. 0, kWaypointTooShort or kWaypointBadMarker.
int DecodeWaypoint(uint16_t waypointType, const uint8_t* data, size_t size, core::Waypoint& waypoint);

// Builds the waypoint packet for the unit's type (every byte not named is 0). out must hold
// 255 bytes. Returns the data size, 0 for a type we cannot send.
size_t EncodeWaypoint(uint16_t waypointType, const core::Waypoint& waypoint, uint8_t* out);
// Text as the unit accepts it: 'a'-'z' upper-cased; 'A'-'Z', '0'-'9', blank and '-' kept; any
// other character becomes `replacement`.
void CleanUploadText(std::string_view text, char replacement, char* out, size_t outSize);

// A track point of a track upload: the position at 0 and 4, everything else 0; size 13 for
// A300, 21 for A301, 25 for A302 (0 for any other transfer protocol).
size_t EncodeUploadTrackPoint(uint16_t trackTransfer, const core::Waypoint& record, uint8_t* out);
// The track header of a track upload: display 0, colour 0, then the name NUL-terminated.
size_t EncodeTrackHeader(std::string_view name, uint8_t* out);

}  // namespace tarnvik::devices::garmin
