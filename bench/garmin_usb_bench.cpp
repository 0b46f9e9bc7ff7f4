// Garmin track log download of 10,000 D301 points over USB from the simulated unit in memory
// (pipes without a wire, waits on a clock that does not wait): what the USB packet layer and the
// record decoding cost, beside the serial figure of garmin_bench.cpp.
#include <benchmark/benchmark.h>

#include "access/debug_capture.h"
#include "devices/garmin/garmin_usb.h"
#include "sim/garmin/garmin_device.h"
#include "sim/garmin/garmin_usb_unit.h"

namespace {

using namespace tarnvik;

constexpr int kPoints = 10000;

class StillClock : public core::Clock {
 public:
  int64_t NowMs() override { return now; }
  void SleepMs(int64_t ms) override { now += ms; }
  core::SystemTime UtcNow() override { return {}; }
  int64_t now = 0;
};

class SilentOperation : public core::Operation {
 public:
  bool IsCancelled() const override { return false; }
  void Status(const std::string&) override {}
  void Product(const std::string&) override {}
  void Fail(const std::string& caption, const std::string& text) override { failure = caption + ": " + text; }
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer answer) override { return answer; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }
  std::string failure;
};

void BM_GarminUsbD301DownloadInMemory(benchmark::State& state) {
  sim::garmin::GarminDevice device(
      sim::garmin::GarminDeviceConfig{.capabilities = sim::garmin::StandardCapabilities(108, 301, 301)});
  sim::garmin::SimTrackRecord header;
  header.header = true;
  header.name = "ACTIVE LOG";
  device.track.push_back(header);
  for (int i = 0; i < kPoints; ++i) {
    sim::garmin::SimTrackRecord r;
    r.point.latitude = 553000000 + i * 97;
    r.point.longitude = 123000000 - i * 61;
    r.point.time = 1000000000u + static_cast<uint32_t>(i);
    r.altitudeM = 1000.0f + static_cast<float>(i % 700);
    device.track.push_back(r);
  }
  StillClock clock;
  SilentOperation operation;
  access::DebugCapture capture;
  sim::garmin::GarminUsbUnit unit(device, clock);
  devices::garmin::GarminUsbSession session(unit, clock, operation, capture);
  if (devices::garmin::ReadUsbProductData(session) != 0) return state.SkipWithError(operation.failure.c_str());
  std::vector<core::TrackPoint> points;
  for (auto _ : state) {
    capture.Clear();
    if (devices::garmin::DownloadGarminUsbTrack(session, points) != 0 || points.size() != kPoints) {
      return state.SkipWithError(("download failed: " + operation.failure).c_str());
    }
    benchmark::DoNotOptimize(points.data());
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_GarminUsbD301DownloadInMemory)->Unit(benchmark::kMillisecond);

}  // namespace
