// The OLC search (reduction to at most 2000 fixes, matrix, gap table, free distance,
// out-and-return and triangles, each refined) on the largest real flight of the test data and
// on the synthetic 40,000-fix flight of the statistics benchmark.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "analysis/olc_search.h"
#include "core/file_io.h"
#include "formats/igc.h"
#include "synthetic_flight.h"

namespace {

using tarnvik::core::TrackPoint;

std::vector<TrackPoint> LargestFlight() {
  tarnvik::core::FileBytes file =
      tarnvik::core::ReadWholeFile(std::string(TARNVIK_TEST_DATA) + "/igc/igp_2016-11-08-xcs-aaa-02.igc");
  return tarnvik::formats::ParseIgcLog(std::string_view(file.begin(), file.size)).fixes;
}

void RunOlc(benchmark::State& state, const std::vector<TrackPoint>& fixes) {
  if (fixes.size() < 5) {
    state.SkipWithError("no flight");
    return;
  }
  tarnvik::analysis::OlcResult result;
  for (auto _ : state) {
    int rc = tarnvik::analysis::RunOlcSearch(fixes, nullptr, nullptr, result);
    if (rc != 0) state.SkipWithError("search failed");
    benchmark::DoNotOptimize(rc);
    benchmark::ClobberMemory();
  }
  state.counters["fixes"] = static_cast<double>(fixes.size());
  state.counters["free_km"] = result.fiveSum / 1000;
  state.counters["fai_km"] = result.faiTriangle.Distance() / 1000;
}

void BM_Olc_LargestTestFlight(benchmark::State& state) { RunOlc(state, LargestFlight()); }
BENCHMARK(BM_Olc_LargestTestFlight)->Name("Olc/LargestTestFlight")->Unit(benchmark::kMillisecond);

void BM_Olc_Synthetic40000(benchmark::State& state) { RunOlc(state, tarnvik::bench::SyntheticFlight(40000)); }
BENCHMARK(BM_Olc_Synthetic40000)->Name("Olc/Synthetic40000")->Unit(benchmark::kMillisecond);

}  // namespace
