// Pilot IDs as waypoint positions: the "COMPID" and "CIVLID" waypoints that carry a pilot's
// competition and CIVL IDs to an instrument (core/competition_id.h reads them back).
#pragma once

#include <cstdint>
#include <vector>

#include "core/records.h"

namespace tarnvik::competition {

// Greatest ID a position can carry: the longitude's degrees hold ID div 100000 (0-179).
inline constexpr int32_t kMaxCarriedId = 17999999;

// The position (semicircles) of an ID: latitude d2 degrees d1 minutes d0 seconds north,
// longitude (ID div 100000) degrees d4 minutes d3 seconds east. False for a negative ID or one
// above kMaxCarriedId, which no position can carry.
bool EncodeIdPosition(int32_t id, int32_t& latitude, int32_t& longitude);

// Appends "COMPID" when the competition ID is set, then "CIVLID" when the CIVL ID is set (ID
// and comment the same, height 0). An ID that is unset or cannot be carried is not appended.
void AppendIdWaypoints(std::vector<core::Waypoint>& waypoints, int32_t competitionId, int32_t civlId);

}  // namespace tarnvik::competition
