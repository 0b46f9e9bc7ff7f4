// The synthetic flight of the analysis benchmarks: thermals and glides in the Alps.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "core/records.h"

namespace tarnvik::bench {

// `count` fixes, `perSecond` to each whole second of the timestamps: thermals (circles of 60 m
// radius, one turn in 24 s, climbing) and glides (12 m/s on a slowly turning course, sinking),
// starting in the Alps. At one fix a second every fix has its own timestamp; at more, the
// fixes of one second share it as the loggers that write whole seconds do.
inline std::vector<core::TrackPoint> SyntheticFlight(size_t count, int perSecond = 1) {
  using core::TrackPoint;
  constexpr double kDegree = std::numbers::pi / 180.0;
  std::mt19937_64 random(40000);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<TrackPoint> fixes;
  fixes.reserve(count);
  double north = 0, east = 0, heightM = 1500, course = 0.3;
  bool thermal = false;
  const double step = 1.0 / perSecond;  // seconds from one fix to the next
  int phaseLeft = 300 * perSecond;       // fixes
  constexpr double metresPerDegree = 111195.0;
  for (size_t i = 0; i < count; ++i) {
    double latitude = 46.3 + north / metresPerDegree;
    double longitude = 7.6 + east / (metresPerDegree * std::cos(latitude * kDegree));
    TrackPoint p;
    p.time = 1089849600 + 9 * 3600 + static_cast<uint32_t>(i / static_cast<size_t>(perSecond));
    p.latitude = tarnvik::core::LatitudeFromDegrees(latitude).value();
    p.longitude = tarnvik::core::LongitudeFromDegrees(longitude).value();
    p.height = static_cast<int32_t>(heightM * 10);
    fixes.push_back(p);
    if (--phaseLeft <= 0) {
      thermal = !thermal;
      phaseLeft = (thermal ? 200 + static_cast<int>(unit(random) * 400) : 300 + static_cast<int>(unit(random) * 900)) *
                  perSecond;
    }
    if (thermal) {
      course += 2 * std::numbers::pi / 24 * step;
      north += (60 * 2 * std::numbers::pi / 24 * std::cos(course) + 0.5) * step;  // drifting with the wind
      east += 60 * 2 * std::numbers::pi / 24 * std::sin(course) * step;
      heightM += (2.0 + unit(random) - 0.5) * step;
    } else {
      course += (unit(random) - 0.5) * 0.02 * step;
      north += 12 * std::cos(course) * step;
      east += 12 * std::sin(course) * step;
      heightM -= 1.2 * step;
    }
  }
  return fixes;
}

}  // namespace tarnvik::bench
