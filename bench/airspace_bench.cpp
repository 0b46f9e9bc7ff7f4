// The OpenAir reader on a synthetic national file (1,600 zones, 80,000 DP records plus circles
// and arcs) and the outline of zones of 100 arcs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "airspace/openair.h"

namespace {

using namespace tarnvik;

class QuietUi final : public core::Ui {
 public:
  void ShowMessage(const std::string&, const std::string&, core::Icon) override {}
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer a, core::Icon) override { return a; }
  std::optional<std::string> ChooseOpenFile(core::FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(core::FileRequest&) override { return std::nullopt; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }
};

std::string NationalFile() {
  std::string text;
  char line[96];
  for (int zone = 0; zone < 1600; ++zone) {
    std::snprintf(line, sizeof line, "AC D\r\nAN Zone %d TMA\r\nAL FL 65\r\nAH FL 195\r\n", zone);
    text += line;
    const int lat = 42 + zone % 8;
    for (int p = 0; p < 50; ++p) {
      std::snprintf(line, sizeof line, "DP %02d:%02d:%02d N %03d:%02d:%02d E\r\n", lat, p, (zone * 7) % 60, zone % 9,
                    (p * 3) % 60, (p * 11) % 60);
      text += line;
    }
    if (zone % 4 == 0) {
      std::snprintf(line, sizeof line, "V X=%02d:30:00 N 004:30:00 E\r\nDB %02d:35:00 N 004:30:00 E, %02d:30:00 N 004:37:00 E\r\n",
                    lat, lat, lat);
      text += line;
    }
    text += "\r\n";
  }
  return text;
}

void BM_ParseNationalOpenAirFile(benchmark::State& state) {
  const std::string text = NationalFile();
  QuietUi ui;
  for (auto _ : state) {
    core::CtrList zones;
    const int count = airspace::ParseOpenAir(ui, text, zones, {});
    if (count != 1600) state.SkipWithError("wrong zone count");
    benchmark::DoNotOptimize(zones);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseNationalOpenAirFile)->Unit(benchmark::kMillisecond);

void BM_OutlineOfHundredArcZone(benchmark::State& state) {
  core::CtrRecord zone;
  for (int i = 0; i < 100; ++i) {
    core::CtrSegment s;
    s.kind = 'A';
    s.direction = i % 2 ? '-' : '+';
    s.latitude = 46.0 + i * 0.01;
    s.longitude = 7.0;
    s.startLatitude = s.latitude + 0.05;
    s.startLongitude = 7.0;
    s.endLatitude = s.latitude;
    s.endLongitude = 7.07;
    zone.segments.push_back(s);
  }
  for (auto _ : state) {
    std::vector<core::Waypoint> points = airspace::CtrOutlinePoints(zone);
    benchmark::DoNotOptimize(points);
  }
}
BENCHMARK(BM_OutlineOfHundredArcZone)->Unit(benchmark::kMillisecond);

}  // namespace
