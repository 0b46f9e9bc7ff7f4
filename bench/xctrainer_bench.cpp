// XC Trainer / Top Navigator: the .tnc reader on a 10-hour log at 1 Hz (36,000 fixes in blocks
// of 30, as the instrument writes it), and a 10,000-point MXP download from the simulated
// instrument behind a pseudo-terminal through the real serial code (the instrument starts
// 100 ms after the line is set).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>

#include "access/access_engine.h"
#include "access/serial_port.h"
#include "core/ports.h"
#include "devices/xctrainer/xctrainer_records.h"
#include "devices/xctrainer/xctrainer_transfers.h"
#include "sim/pty_device.h"
#include "sim/xctrainer/xctrainer_device.h"

namespace {

using namespace tarnvik;

class QuietUi : public core::Ui {
 public:
  void ShowMessage(const std::string&, const std::string&, core::Icon) override { ++shown; }
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer a, core::Icon) override {
    return a;
  }
  std::optional<std::string> ChooseOpenFile(core::FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(core::FileRequest&) override { return std::nullopt; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }
  int shown = 0;
};

class QuietOperation : public core::Operation {
 public:
  bool IsCancelled() const override { return false; }
  void Status(const std::string&) override {}
  void Product(const std::string&) override {}
  void Fail(const std::string& caption, const std::string& text) override { failure = caption + ": " + text; }
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer a) override { return a; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }
  std::string failure;
};

uint32_t Start() { return *core::CalendarToTime({2024, 7, 0, 15, 8, 0, 0, 0}); }

void BM_ParseTncLogFile10HoursAt1Hz(benchmark::State& state) {
  sim::xctrainer::XcTrainerDevice device;
  device.config().send = sim::xctrainer::XcSend::Tnc;
  device.track = sim::xctrainer::WalkTrack(36000, Start());
  const std::string file = device.Transmission();
  for (auto _ : state) {
    QuietUi ui;
    formats::TrackParseResult r = devices::xctrainer::ParseTncLogFile(ui, file);
    if (r.result != 36000) return state.SkipWithError("wrong fix count");
    benchmark::DoNotOptimize(r.fixes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_ParseTncLogFile10HoursAt1Hz)->Unit(benchmark::kMillisecond);

void BM_Mxp10000PointsOverPty(benchmark::State& state) {
  sim::xctrainer::XcTrainerDevice device;
  device.config().send = sim::xctrainer::XcSend::Mxp;
  device.config().delayMs = 100;
  device.track = sim::xctrainer::WalkTrack(10000, Start());
  std::string error;
  auto pty = sim::PtyDevice::Create(device, "", error);
  if (!pty) return state.SkipWithError(error.c_str());
  pty->Start();
  int64_t bytes = 0;
  for (auto _ : state) {
    std::string caption;
    auto port = access::OpenSerialPort(pty->hostPath(), caption, error);
    if (!port) return state.SkipWithError("cannot open the pseudo-terminal");
    QuietOperation operation;
    access::DebugCapture capture;
    access::AccessJob job(access::kAccessDownloadTrackLog, access::kProtocolXcTrainerMxp, *port, core::SystemClock(),
                          operation, capture);
    job.link().SetSpeed(57600);
    if (devices::xctrainer::ReceiveMxpLog(job) != 0) return state.SkipWithError(operation.failure.c_str());
    if (job.data.points.size() != 10000) return state.SkipWithError("wrong point count");
    bytes += static_cast<int64_t>(job.data.rawDevice.size());
    state.PauseTiming();
    port.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the instrument sees the host go
    state.ResumeTiming();
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_Mxp10000PointsOverPty)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
