// The simulated unit's records, as Garmin's published device interface document lays them out: the
// track points (D300-D304), track headers (D310-D312) and waypoints (D100-D110, D150-D155) it
// sends with every field a real unit fills, and its reading of what a host uploads, checked
// against the layout of the type the unit declared. Independent of the host's record code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"

namespace tarnvik::sim::garmin {

// "No value" of the Garmin document's float fields (altitude, depth, temperature, distance).
constexpr float kUnitNoValue = 1.0e25f;

// One record of the unit's track log: a point, or (A301/A302) a track header.
struct SimTrackRecord {
  bool header = false;
  std::string name;        // header: the track's name
  core::TrackPoint point;  // point: time, position, flags (1 = new segment)
  float altitudeM = 0;     // point: altitude; 1.0e25 when the unit has none
};

// Data length of a track point type (D300 13, D301 21, D302 25, D303 17, D304 23); 0 for others.
size_t UnitTrackPointSize(uint16_t type);
// A track point as the unit sends it.
std::vector<uint8_t> UnitTrackPoint(uint16_t type, const SimTrackRecord& record);
// A track header as the unit sends it: D311 the track's index, D310/D312 display, colour, name.
std::vector<uint8_t> UnitTrackHeader(uint16_t type, const SimTrackRecord& record, uint16_t index);
// A waypoint as the unit sends it; empty for a type it does not know.
std::vector<uint8_t> UnitWaypoint(uint16_t type, const core::Waypoint& waypoint);

// The unit's reading of an uploaded record. On a packet that does not fit the declared type,
// false with the reason in problem (the unit still takes what it can read).
bool ReadUploadedWaypoint(uint16_t type, const std::vector<uint8_t>& data, core::Waypoint& waypoint,
                          std::string& problem);
bool ReadUploadedTrackPoint(uint16_t type, const std::vector<uint8_t>& data, core::Waypoint& position,
                            std::string& problem);
// The header's name (D311: its index as text).
bool ReadUploadedTrackHeader(uint16_t type, const std::vector<uint8_t>& data, std::string& name, std::string& problem);

}  // namespace tarnvik::sim::garmin
