// Hand-made tracks for the analysis tests: fixes placed by metres east and north of a point in
// the Alps, and a few-line reader of IGC B records for the real flights.
#pragma once

#include <GeographicLib/Geodesic.hpp>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "core/records.h"

namespace tarnvik::testing {

constexpr double kOriginLatitude = 46.0;
constexpr double kOriginLongitude = 8.0;
constexpr uint32_t kDayStart = 1089849600;       // 2024-07-14 00:00:00 UTC
constexpr uint32_t kMorning = kDayStart + 36000;  // 10:00:00

inline core::TrackPoint FixAt(double latitudeDeg, double longitudeDeg, uint32_t time, int32_t heightDm = 0,
                              uint32_t flags = 0) {
  core::TrackPoint p;
  p.flags = flags;
  p.time = time;
  p.latitude = core::LatitudeFromDegrees(latitudeDeg).value();
  p.longitude = core::LongitudeFromDegrees(longitudeDeg).value();
  p.height = heightDm;
  return p;
}

// A fix `east` and `north` metres from the origin (spherical approximation: good enough to
// place fixes; every expected distance is measured, never assumed).
inline core::TrackPoint FixAtMetres(double east, double north, uint32_t time, int32_t heightDm = 0,
                                    uint32_t flags = 0) {
  constexpr double metresPerDegree = 111195.0;
  double lat = kOriginLatitude + north / metresPerDegree;
  double lon = kOriginLongitude + east / (metresPerDegree * std::cos(kOriginLatitude * std::numbers::pi / 180));
  return FixAt(lat, lon, time, heightDm, flags);
}

// `count` fixes one second apart, moving east at `speedMps`.
inline std::vector<core::TrackPoint> StraightTrack(size_t count, double speedMps, uint32_t start = kMorning) {
  std::vector<core::TrackPoint> track;
  for (size_t i = 0; i < count; ++i) {
    track.push_back(FixAtMetres(speedMps * static_cast<double>(i), 0, start + static_cast<uint32_t>(i)));
  }
  return track;
}

// Geodesic distance in metres by GeographicLib (Karney's method): an oracle independent of the
// program's own Vincenty iteration. The two agree to well under a millimetre.
inline double OracleMetres(const core::TrackPoint& a, const core::TrackPoint& b) {
  constexpr double degreesPerRadian = 180 / std::numbers::pi;
  double metres = 0;
  GeographicLib::Geodesic::WGS84().Inverse(core::SemicircleToRadians(a.latitude) * degreesPerRadian,
                                           core::SemicircleToRadians(a.longitude) * degreesPerRadian,
                                           core::SemicircleToRadians(b.latitude) * degreesPerRadian,
                                           core::SemicircleToRadians(b.longitude) * degreesPerRadian, metres);
  return metres;
}

// Sum of OracleMetres over the legs from fix `from` to fix `to`.
inline double OracleMetres(const std::vector<core::TrackPoint>& track, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += OracleMetres(track[i], track[i + 1]);
  return sum;
}

// Speed in km/h over `metres` in `seconds`.
inline double Kmh(double metres, double seconds) { return (metres / 1000) / (seconds / 3600); }

// The B records of an IGC file: time of day (rolled over at midnight onto the next day),
// latitude, longitude and GNSS altitude. Only what the statistics need; no checks.
inline std::vector<core::TrackPoint> ReadIgcFixes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<core::TrackPoint> fixes;
  std::string line;
  uint32_t day = 0;
  uint32_t lastSecond = 0;
  while (std::getline(in, line)) {
    if (line.size() < 35 || line[0] != 'B') continue;
    uint32_t second = std::stoul(line.substr(1, 2)) * 3600 + std::stoul(line.substr(3, 2)) * 60 +
                      std::stoul(line.substr(5, 2));
    if (!fixes.empty() && second + 43200 < lastSecond) day += 86400;
    lastSecond = second;
    double lat = std::stod(line.substr(7, 2)) + std::stod(line.substr(9, 5)) / 60000.0;
    if (line[14] == 'S') lat = -lat;
    double lon = std::stod(line.substr(15, 3)) + std::stod(line.substr(18, 5)) / 60000.0;
    if (line[23] == 'W') lon = -lon;
    int32_t heightDm = std::stoi(line.substr(30, 5)) * 10;
    fixes.push_back(FixAt(lat, lon, kDayStart + day + second, heightDm));
  }
  return fixes;
}

}  // namespace tarnvik::testing
