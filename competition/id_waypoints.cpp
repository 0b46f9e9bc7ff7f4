#include "competition/id_waypoints.h"

#include <cmath>
#include <cstring>

namespace tarnvik::competition {
namespace {

// Whole arc-seconds as semicircles, rounded to nearest: 2^31 semicircles are 180 degrees.
int32_t ArcSecondsToSemicircles(int64_t seconds) {
  return static_cast<int32_t>(std::llround(static_cast<double>(seconds) * 2147483648.0 / (180.0 * 3600.0)));
}

void Append(std::vector<core::Waypoint>& waypoints, const char* name, int32_t id) {
  core::Waypoint waypoint;
  if (!EncodeIdPosition(id, waypoint.latitude, waypoint.longitude)) return;
  waypoint.altitude = 0;
  std::strncpy(waypoint.id, name, sizeof waypoint.id - 1);
  std::strncpy(waypoint.comment, name, sizeof waypoint.comment - 1);
  waypoints.push_back(waypoint);
}

}  // namespace

bool EncodeIdPosition(int32_t id, int32_t& latitude, int32_t& longitude) {
  if (id < 0 || id > kMaxCarriedId) return false;
  const int64_t d0 = id % 10, d1 = id / 10 % 10, d2 = id / 100 % 10;
  const int64_t d3 = id / 1000 % 10, d4 = id / 10000 % 10, degrees = id / 100000;
  latitude = ArcSecondsToSemicircles(d2 * 3600 + d1 * 60 + d0);
  longitude = ArcSecondsToSemicircles(degrees * 3600 + d4 * 60 + d3);
  return true;
}

void AppendIdWaypoints(std::vector<core::Waypoint>& waypoints, int32_t competitionId, int32_t civlId) {
  if (competitionId >= 0) Append(waypoints, "COMPID", competitionId);
  if (civlId >= 0) Append(waypoints, "CIVLID", civlId);
}

}  // namespace tarnvik::competition
