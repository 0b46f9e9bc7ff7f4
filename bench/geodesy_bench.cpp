// Leg lengths and UTM conversions per second: the statistics, the contest optimiser and the lists
// run these over every point of a track log.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "geo/geodesy.h"

namespace {

using tarnvik::geo::GeoPoint;

constexpr double kDegree = std::numbers::pi / 180.0;

// A wandering track: consecutive points stepMaxDeg apart at most, starting in the Alps.
std::vector<GeoPoint> Track(size_t count, double stepMaxDeg) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> step(-stepMaxDeg, stepMaxDeg);
  std::vector<GeoPoint> points;
  GeoPoint p{46.5 * kDegree, 8.0 * kDegree};
  for (size_t i = 0; i < count; ++i) {
    points.push_back(p);
    p.latitude = std::clamp(p.latitude + step(random) * kDegree, -80 * kDegree, 80 * kDegree);
    p.longitude += step(random) * kDegree;
  }
  return points;
}

void LegsOf(benchmark::State& state, double stepMaxDeg) {
  const std::vector<GeoPoint> points = Track(4096, stepMaxDeg);
  for (auto _ : state) {
    double sum = 0;
    for (size_t i = 1; i < points.size(); ++i) sum += tarnvik::geo::GeoDistanceOrZero(points[i - 1], points[i]);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(points.size() - 1));
}

// Track-log spacing (up to about 100 m per point).
void BM_GeoDistanceTrackLegs(benchmark::State& state) { LegsOf(state, 0.001); }
BENCHMARK(BM_GeoDistanceTrackLegs);

// Task and contest legs (tens to a few hundred kilometres): more passes of the iteration.
void BM_GeoDistanceLongLegs(benchmark::State& state) { LegsOf(state, 2.0); }
BENCHMARK(BM_GeoDistanceLongLegs);

void BM_UtmFromGeo(benchmark::State& state) {
  const std::vector<GeoPoint> points = Track(4096, 0.01);
  for (auto _ : state) {
    double sum = 0;
    for (const GeoPoint& p : points) {
      tarnvik::geo::UtmPoint utm;  // zone 0: chosen per point
      tarnvik::geo::UtmFromGeo(p, utm);
      sum += utm.easting + utm.northing;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(points.size()));
}
BENCHMARK(BM_UtmFromGeo);

}  // namespace
