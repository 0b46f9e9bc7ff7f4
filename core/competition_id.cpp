#include "core/competition_id.h"

#include <cmath>

namespace tarnvik::core {
namespace {

// Whole arc-seconds of a semicircle value, rounded to nearest: 2^31 semicircles are 180 degrees.
int64_t ArcSeconds(int32_t semicircles) {
  return static_cast<int64_t>(std::llround(static_cast<double>(semicircles) * (180.0 * 3600.0) / 2147483648.0));
}

}  // namespace

int32_t DecodeIdPosition(int32_t latitude, int32_t longitude) {
  const int64_t lat = ArcSeconds(latitude);
  const int64_t lon = ArcSeconds(longitude);
  if (lat < 0 || lon < 0) return -1;
  const int64_t latDegrees = lat / 3600, latMinutes = lat / 60 % 60, latSeconds = lat % 60;
  const int64_t lonDegrees = lon / 3600, lonMinutes = lon / 60 % 60, lonSeconds = lon % 60;
  if (lonDegrees > 179 || lonMinutes > 9 || lonSeconds > 9) return -1;
  if (latDegrees > 9 || latMinutes > 9 || latSeconds > 9) return -1;
  return static_cast<int32_t>(((((lonDegrees * 10 + lonMinutes) * 10 + lonSeconds) * 10 + latDegrees) * 10 + latMinutes) *
                                  10 +
                              latSeconds);
}

}  // namespace tarnvik::core
