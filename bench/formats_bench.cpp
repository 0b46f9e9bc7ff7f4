// Track files of a long flight (40,000 fixes) in each format: writing the whole file text and
// reading it back, as "Save log As" and "Open log" do. Bytes processed give MB/s.
#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/records.h"
#include "formats/gpx.h"
#include "formats/mapsource.h"
#include "formats/other_tracks.h"
#include "fuzz/silent_ui.h"

namespace {

using namespace tarnvik;

constexpr int kFixes = 40000;
constexpr core::SystemTime kNow{2024, 7, 0, 14, 12, 30, 5, 0};

std::vector<core::TrackPoint> LongFlight() {
  std::vector<core::TrackPoint> fixes;
  const uint32_t start = *core::CalendarToTime({2021, 7, 0, 14, 9, 30, 0, 0});
  for (int i = 0; i < kFixes; ++i) {
    core::TrackPoint p;
    p.flags = i == 0;
    p.time = start + static_cast<uint32_t>(i);
    p.latitude = *core::LatitudeFromDegrees(46.5 + 0.2 * std::sin(i * 1e-3));
    p.longitude = *core::LongitudeFromDegrees(8.0 + 0.3 * std::cos(i * 7e-4));
    p.height = 15000 + static_cast<int32_t>(8000 * std::sin(i * 3e-3));
    fixes.push_back(p);
  }
  return fixes;
}

struct Format {
  std::function<std::string(const std::vector<core::TrackPoint>&)> write;
  std::function<formats::TrackParseResult(core::Ui&, std::string_view)> read;
};

Format FormatOf(int index) {
  switch (index) {
    case 0: return {[](const auto& f) { return formats::FormatGpxTrack(f, kNow); }, formats::ReadGpxTrack};
    case 1: return {[](const auto& f) { return formats::FormatCsvTrack(f); }, formats::ReadCsvTrack};
    case 2: return {[](const auto& f) { return formats::FormatOziTrack(f, kNow); }, formats::ReadOziTrack};
    default: return {[](const auto& f) { return formats::FormatMapSourceTrack(f); }, formats::ReadMapSourceTrack};
  }
}

const char* const kNames[] = {"GPX", "CSV", "Ozi", "MapSource"};

void WriteTrackFile(benchmark::State& state) {
  const std::vector<core::TrackPoint> fixes = LongFlight();
  const Format format = FormatOf(static_cast<int>(state.range(0)));
  size_t bytes = 0;
  for (auto _ : state) {
    std::string text = format.write(fixes);
    bytes += text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.SetLabel(kNames[state.range(0)]);
}
BENCHMARK(WriteTrackFile)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void ReadTrackFile(benchmark::State& state) {
  const Format format = FormatOf(static_cast<int>(state.range(0)));
  const std::string text = format.write(LongFlight());
  size_t bytes = 0;
  for (auto _ : state) {
    fuzzing::SilentUi ui;
    formats::TrackParseResult parsed = format.read(ui, text);
    if (parsed.result != kFixes) state.SkipWithError("the file did not read back");
    bytes += text.size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.SetLabel(kNames[state.range(0)]);
}
BENCHMARK(ReadTrackFile)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
