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
#include "synthetic_flight.h"

namespace {

using tarnvik::core::FlightSummary;
using tarnvik::core::TrackPoint;

using tarnvik::bench::SyntheticFlight;

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
