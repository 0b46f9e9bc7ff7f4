// LogIt family downloads of 10,000 points from the simulated logger behind a pseudo-terminal
// through the real serial code: a Tracklogger at 115200 baud and an MLR at 38400 (commands at
// 4800, the logger starting 1 s after the speed sentence).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>

#include "access/access_engine.h"
#include "access/serial_port.h"
#include "core/ports.h"
#include "devices/logit/logit_transfers.h"
#include "sim/logit/logit_device.h"
#include "sim/pty_device.h"

namespace {

using namespace tarnvik;

class QuietLogItOperation : public core::Operation {
 public:
  bool IsCancelled() const override { return false; }
  void Status(const std::string&) override {}
  void Product(const std::string&) override {}
  void Fail(const std::string& caption, const std::string& text) override { failure = caption + ": " + text; }
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer a) override { return a; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }
  std::string failure;
};

void Download(benchmark::State& state, sim::logit::LoggerModel model, int protocol, int speed) {
  sim::logit::LoggerConfig config;
  config.model = model;
  if (model == sim::logit::LoggerModel::Mlr) config.software = "2.80ENGLISH15/03/01";
  sim::logit::LoggerDevice device(config);
  device.track = sim::logit::WalkPoints(10000, 1000000000);
  std::string error;
  auto pty = sim::PtyDevice::Create(device, "", error);
  if (!pty) return state.SkipWithError(error.c_str());
  pty->Start();
  for (auto _ : state) {
    std::string caption;
    auto port = access::OpenSerialPort(pty->hostPath(), caption, error);
    if (!port) return state.SkipWithError("cannot open the pseudo-terminal");
    QuietLogItOperation operation;
    access::DebugCapture capture;
    access::AccessJob job(access::kAccessDownloadTrackLog, protocol, *port, core::SystemClock(), operation, capture);
    job.speed = speed;
    job.link().SetSpeed(4800);
    const int result = protocol == access::kProtocolMlr ? devices::logit::ReadMlrTrack(job)
                                                        : devices::logit::ReadLogItTrack(job);
    if (result != 0) return state.SkipWithError(operation.failure.c_str());
    if (job.data.points.size() != 10000) return state.SkipWithError("wrong point count");
    state.PauseTiming();
    port.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    state.ResumeTiming();
  }
}

void BM_Tracklogger10000PointsAt115200OverPty(benchmark::State& state) {
  Download(state, sim::logit::LoggerModel::Tracklogger, access::kProtocolLogIt, 115200);
}
BENCHMARK(BM_Tracklogger10000PointsAt115200OverPty)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_Mlr10000PointsAt38400OverPty(benchmark::State& state) {
  Download(state, sim::logit::LoggerModel::Mlr, access::kProtocolMlr, 0);
}
BENCHMARK(BM_Mlr10000PointsAt38400OverPty)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
