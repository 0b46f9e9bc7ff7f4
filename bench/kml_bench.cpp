// The KML trip folder of a long flight: building and signing it (every save of a flight), and
// reading it back with the signature check (every open of a logbook file).
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "core/flight_summary.h"
#include "core/records.h"
#include "core/text_buffer.h"
#include "formats/kml_reader.h"
#include "formats/kml_writer.h"

namespace {

using namespace tarnvik;

// A flight of `count` fixes one second apart, wandering around the Alps with a changing height.
core::FlightSummary LongFlight(int count) {
  core::FlightSummary s;
  const uint32_t start = *core::CalendarToTime({2021, 7, 0, 14, 9, 30, 0, 0});
  for (int i = 0; i < count; ++i) {
    core::TrackPoint p;
    p.flags = i == 0;
    p.time = start + static_cast<uint32_t>(i);
    p.latitude = *core::LatitudeFromDegrees(46.5 + 0.2 * std::sin(i * 1e-3));
    p.longitude = *core::LongitudeFromDegrees(8.0 + 0.3 * std::cos(i * 7e-4));
    p.height = 15000 + static_cast<int32_t>(8000 * std::sin(i * 3e-3));
    s.fixes.push_back(p);
  }
  s.startTime = start;
  s.finishTime = s.fixes.back().time;
  s.duration = s.finishTime - start;
  s.downloadedTime = static_cast<int32_t>(start + 20000);
  s.signFlag = 1;
  s.utcFlag = 1;
  const int32_t five[5] = {0, count / 4, count / 2, 3 * count / 4, count - 1};
  for (int i = 0; i < 5; ++i) s.fivePointFixes[i] = five[i];
  s.openDistanceFixes[1] = count - 1;
  return s;
}

constexpr int kFixes = 40000;

void BuildSignedTripFolder(benchmark::State& state) {
  const core::FlightSummary flight = LongFlight(kFixes);
  size_t bytes = 0;
  for (auto _ : state) {
    core::TextBuffer buffer;
    if (formats::BuildKmlTripFolder(buffer, flight, "benchmark flight", "Flytec 6030") != 0) {
      state.SkipWithError("build failed");
    }
    bytes = buffer.Length();
    benchmark::DoNotOptimize(buffer.Text().data());
  }
  state.SetItemsProcessed(state.iterations() * kFixes);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
  state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BuildSignedTripFolder)->Unit(benchmark::kMillisecond);

class SilentUi final : public core::Ui {
 public:
  void ShowMessage(const std::string&, const std::string&, core::Icon) override { ++messages; }
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer a, core::Icon) override {
    return a;
  }
  std::optional<std::string> ChooseOpenFile(core::FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(core::FileRequest&) override { return std::nullopt; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return 0; }
  int messages = 0;
};

void ReadSignedTripFolder(benchmark::State& state) {
  core::TextBuffer buffer;
  formats::BuildKmlTripFolder(buffer, LongFlight(kFixes), "benchmark flight", "Flytec 6030");
  const std::string document =
      std::string(formats::kKmlHeader) + buffer.Text() + std::string(formats::kKmlFooter);
  SilentUi ui;
  for (auto _ : state) {
    formats::TrackParseResult r = formats::ReadKmlLog(ui, document);
    if (r.result != kFixes || r.signatureFlag != formats::kKmlSignatureValid) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(r.fixes.data());
  }
  state.SetItemsProcessed(state.iterations() * kFixes);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(document.size()));
}
BENCHMARK(ReadSignedTripFolder)->Unit(benchmark::kMillisecond);

}  // namespace
