// Positions as the records hold them (semicircles) read back in degrees, for comparing with the
// degrees a simulator or a file was given.
#pragma once

#include <cstdint>

namespace tarnvik::testing {

inline double Degrees(int32_t semicircles) { return semicircles * (180.0 / 2147483648.0); }

}  // namespace tarnvik::testing
