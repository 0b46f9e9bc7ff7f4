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

// A track point of a track upload: the position at 0 and 4, everything else 0 (time 0, altitude
// 0.0, new-segment flag 0). Its size is that of the point type the unit declared (D300 13, D301
// 21, D302 25, D303 17, D304 23); for a unit that declared none, that of its transfer protocol
// (A300 13, A301 21, A302 25). 0 when neither is known.
size_t EncodeUploadTrackPoint(uint16_t trackTransfer, uint16_t trackPointType, const core::Waypoint& record,
                              uint8_t* out);
// The track header of a track upload in the header type the unit declared: D311 is a 16-bit
// track index (0); D310, D312 and an undeclared type are display 0, colour 0, then the name
// NUL-terminated. out must hold 255 bytes.
size_t EncodeTrackHeader(uint16_t trackHeaderType, std::string_view name, uint8_t* out);

}  // namespace tarnvik::devices::garmin
