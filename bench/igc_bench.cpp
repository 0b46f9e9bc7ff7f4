// IGC parser and verifier throughput (bytes per second) on the largest real flight of the test
// data and on a synthetic file of 100,000 fixes written by our own IGC writer.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "core/records.h"
#include "formats/igc.h"
#include "formats/igc_writer.h"

namespace {

using namespace tarnvik;

const std::string& LargestFlight() {
  static const std::string text = [] {
    core::FileBytes file =
        core::ReadWholeFile(std::string(TARNVIK_TEST_DATA) + "/igc/igp_2016-11-08-xcs-aaa-02.igc");
    return std::string(file.begin(), file.size);
  }();
  return text;
}

// 100,000 fixes, one a second, wandering north-east and climbing, signed.
const std::string& SyntheticFlight() {
  static const std::string text = [] {
    std::vector<core::TrackPoint> fixes(100000);
    const uint32_t start = *core::CalendarToTime(core::SystemTime{2024, 7, 0, 14, 8, 0, 0, 0});
    for (size_t i = 0; i < fixes.size(); ++i) {
      fixes[i].flags = i == 0 ? 1 : 0;
      fixes[i].time = start + static_cast<uint32_t>(i);
      fixes[i].latitude = 700000000 + static_cast<int32_t>(i * 997);
      fixes[i].longitude = 120000000 + static_cast<int32_t>(i * 1409);
      fixes[i].height = 5000 + static_cast<int32_t>(i % 20000);
    }
    formats::IgcHeader header;
    header.pilot = "Bench";
    header.serial = "BEN";
    return formats::FormatIgcLog(fixes, 1, header, core::SystemTime{2024, 7, 0, 14, 12, 0, 0, 0},
                                 formats::IgcGRecord::Always);
  }();
  return text;
}

void Parse(benchmark::State& state, const std::string& text, int expectedFixes) {
  for (auto _ : state) {
    formats::IgcParseResult r = formats::ParseIgcLog(text);
    if (r.count != expectedFixes) state.SkipWithError(("unexpected result: " + r.error).c_str());
    benchmark::DoNotOptimize(r.fixes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void Verify(benchmark::State& state, const std::string& text, formats::IgcCheck expected) {
  for (auto _ : state) {
    formats::IgcVerification v = formats::VerifyIgcBytes(text);
    if (v.outcome != expected) state.SkipWithError("unexpected verification outcome");
    benchmark::DoNotOptimize(v);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_ParseIgcLog_LargestFlight(benchmark::State& state) { Parse(state, LargestFlight(), 6752); }
void BM_ParseIgcLog_Synthetic100k(benchmark::State& state) { Parse(state, SyntheticFlight(), 100000); }
void BM_VerifyIgc_Synthetic100k(benchmark::State& state) {
  Verify(state, SyntheticFlight(), formats::IgcCheck::Passed);
}

BENCHMARK(BM_ParseIgcLog_LargestFlight);
BENCHMARK(BM_ParseIgcLog_Synthetic100k);
BENCHMARK(BM_VerifyIgc_Synthetic100k);

}  // namespace
