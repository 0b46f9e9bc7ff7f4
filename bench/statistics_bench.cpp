// Flight statistics: the distance searches (reduction to at most 6000 fixes, the distance
// triangle, two- and five-point searches, refinement) on the largest real flight of the test
// data and on a synthetic flight of 40,000 one-second fixes; the summary values and the
// speed filter that run when the statistics dialog opens; and the summary values alone on a
// 66,000-fix flight logged at one and at six fixes a second (a logger that repeats each
// whole-second timestamp six times: the windowed speeds must cost the same per fix whatever
// the fix rate).
//
// Peak memory is process-wide: run one benchmark at a time under /usr/bin/time -v, e.g.
//   /usr/bin/time -v bench/tarnvik_bench --benchmark_filter=Statistics/Synthetic40000
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "analysis/flight_statistics.h"
#include "analysis/speed_filter.h"
#include "core/file_io.h"
#include "core/flight_summary.h"
#include "formats/igc.h"

namespace {

using tarnvik::core::FlightSummary;
using tarnvik::core::TrackPoint;

constexpr double kDegree = std::numbers::pi / 180.0;

// `count` fixes, `perSecond` to each whole second of the timestamps: thermals (circles of 60 m
// radius, one turn in 24 s, climbing) and glides (12 m/s on a slowly turning course, sinking),
// starting in the Alps. At one fix a second every fix has its own timestamp; at more, the
// fixes of one second share it as the loggers that write whole seconds do.
std::vector<TrackPoint> SyntheticFlight(size_t count, int perSecond = 1) {
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

std::vector<TrackPoint> LargestTestFlight() {
  tarnvik::core::FileBytes file =
      tarnvik::core::ReadWholeFile(std::string(TARNVIK_TEST_DATA) + "/igc/igp_2016-11-08-xcs-aaa-02.igc");
  tarnvik::formats::IgcParseResult parsed = tarnvik::formats::ParseIgcLog(std::string_view(file.begin(), file.size));
  parsed.fixes.resize(static_cast<size_t>(parsed.count));
  return parsed.fixes;
}

void RunSearches(benchmark::State& state, const std::vector<TrackPoint>& fixes) {
  if (fixes.empty()) {
    state.SkipWithError("no fixes");
    return;
  }
  FlightSummary summary;
  summary.fixes = fixes;
  for (auto _ : state) {
    int rc = tarnvik::analysis::RunFlightStatistics(summary, nullptr);
    if (rc != 0) state.SkipWithError("statistics failed");
    // (DoNotOptimize on a double lvalue lets this compiler clobber it: keep to the int.)
    benchmark::DoNotOptimize(rc);
    benchmark::ClobberMemory();
  }
  state.counters["fixes"] = static_cast<double>(fixes.size());
  state.counters["five_point_km"] = summary.fivePointSum / 1000;
}

void BM_Statistics_LargestTestFlight(benchmark::State& state) { RunSearches(state, LargestTestFlight()); }
BENCHMARK(BM_Statistics_LargestTestFlight)->Name("Statistics/LargestTestFlight")->Unit(benchmark::kMillisecond);

void BM_Statistics_Synthetic40000(benchmark::State& state) { RunSearches(state, SyntheticFlight(40000)); }
BENCHMARK(BM_Statistics_Synthetic40000)->Name("Statistics/Synthetic40000")->Unit(benchmark::kMillisecond);

// What the dialog computes before the worker starts: the speed filter and the summary values
// (a 10- and a 60-second window at every fix).
void BM_Statistics_OpeningValues40000(benchmark::State& state) {
  const std::vector<TrackPoint> fixes = SyntheticFlight(40000);
  for (auto _ : state) {
    FlightSummary summary;
    summary.fixes = fixes;
    summary.fixes.resize(static_cast<size_t>(tarnvik::analysis::FilterTrackSpeed(summary.fixes)));
    tarnvik::analysis::ComputeFlightValues(summary);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Statistics_OpeningValues40000)->Name("Statistics/OpeningValues40000")->Unit(benchmark::kMillisecond);

// The summary values alone (total distance, the 10- and 60-second windows at every fix) on
// 66,000 fixes at state.range(0) fixes a second.
void BM_Statistics_FlightValues66000(benchmark::State& state) {
  FlightSummary summary;
  summary.fixes = SyntheticFlight(66000, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    tarnvik::analysis::ComputeFlightValues(summary);
    benchmark::ClobberMemory();
  }
  state.counters["fixes"] = static_cast<double>(summary.fixes.size());
  state.counters["top_kmh"] = summary.topSpeed;
}
BENCHMARK(BM_Statistics_FlightValues66000)
    ->Name("Statistics/FlightValues66000PerSecond")
    ->Arg(1)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond);

}  // namespace
