// Garmin track log download of 10,000 D301 points from the simulated receiver behind a
// pseudo-terminal: our routine through the real serial port code, and gpsbabel downloading
// the same simulated unit for comparison (its time includes starting the process).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "access/access_engine.h"
#include "access/serial_port.h"
#include "core/ports.h"
#include "devices/garmin/garmin_transfers.h"
#include "sim/garmin/garmin_device.h"
#include "sim/pty_device.h"

namespace {

using namespace tarnvik;

constexpr int kPoints = 10000;

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

void FillTrack(sim::garmin::GarminDevice& device) {
  sim::garmin::SimTrackRecord header;
  header.header = true;
  header.name = "ACTIVE LOG";
  device.track.push_back(header);
  for (int i = 0; i < kPoints; ++i) {
    sim::garmin::SimTrackRecord r;
    r.point.latitude = 553000000 + i * 97;
    r.point.longitude = 123000000 - i * 61;
    r.point.time = 1000000000u + static_cast<uint32_t>(i);
    r.point.flags = i == 0 ? 1 : 0;
    r.altitudeM = 1000.0f + static_cast<float>(i % 700);
    device.track.push_back(r);
  }
}

void BM_GarminD301DownloadOverPty(benchmark::State& state) {
  sim::garmin::GarminDevice device(
      sim::garmin::GarminDeviceConfig{.capabilities = sim::garmin::StandardCapabilities(108, 301, 301)});
  FillTrack(device);
  std::string error;
  auto pty = sim::PtyDevice::Create(device, "", error);
  if (!pty) return state.SkipWithError(error.c_str());
  pty->Start();
  std::string caption;
  auto port = access::OpenSerialPort(pty->hostPath(), caption, error);
  if (!port || port->SetSpeed(9600, false) != 0) return state.SkipWithError("cannot open the pseudo-terminal");
  access::DebugCapture capture;
  SilentOperation operation;
  for (auto _ : state) {
    access::AccessJob job(access::kAccessDownloadTrackLog, 0, *port, core::SystemClock(), operation, capture);
    if (devices::garmin::GarminDownloadTrack(job) != 0 || job.data.points.size() != kPoints) {
      return state.SkipWithError(("download failed: " + operation.failure).c_str());
    }
    benchmark::DoNotOptimize(job.data.points.data());
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_GarminD301DownloadOverPty)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GpsbabelD301DownloadOverPty(benchmark::State& state) {
  if (std::system("gpsbabel -V > /dev/null 2>&1") != 0) return state.SkipWithError("gpsbabel is not installed");
  sim::garmin::GarminDevice device(
      sim::garmin::GarminDeviceConfig{.capabilities = sim::garmin::StandardCapabilities(108, 301, 301)});
  FillTrack(device);
  std::string error;
  auto pty = sim::PtyDevice::Create(device, "", error);
  if (!pty) return state.SkipWithError(error.c_str());
  pty->Start();
  const std::string out = (std::filesystem::temp_directory_path() / "tarnvik_bench_gpsbabel.gpx").string();
  const std::string command = "gpsbabel -t -i garmin -f " + pty->hostPath() + " -o gpx -F " + out + " > /dev/null 2>&1";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) return state.SkipWithError("gpsbabel failed");
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
  std::filesystem::remove(out);
}
BENCHMARK(BM_GpsbabelD301DownloadOverPty)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
