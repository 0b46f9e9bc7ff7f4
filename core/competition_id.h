// The ID position code: a pilot's competition or CIVL ID carried as the position of a waypoint
// named "COMPID" or "CIVLID". The longitude's degrees (0-179), minutes (0-9) and seconds (0-9),
// then the latitude's degrees, minutes and seconds (each 0-9), are the decimal digits of the
// ID, most significant first, both positions north and east in whole arc-seconds.
#pragma once

#include <cstdint>

namespace tarnvik::core {

// The ID a position (semicircles) holds, or -1 when it holds none: a negative coordinate, or
// any digit out of its range after rounding to whole arc-seconds.
int32_t DecodeIdPosition(int32_t latitude, int32_t longitude);

}  // namespace tarnvik::core
