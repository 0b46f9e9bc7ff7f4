// Flytec/Brauniger downloads from the simulated instrument behind a pseudo-terminal, through
// the real serial port code at 57600 baud with XON/XOFF: one 640-fix IGC track (chosen from the
// track list), and a 20-track logbook (every track analysed into a KML folder). Both are bound
// by the protocol's quiet times, not by the work: the product data is followed by a 1000 ms
// pause, the track list ends after 1000 ms of silence and every IGC reply after 3000 ms.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "access/access_engine.h"
#include "access/serial_port.h"
#include "core/ports.h"
#include "devices/flytec/flytec_transfers.h"
#include "sim/flytec/flytec_device.h"
#include "sim/pty_device.h"

namespace {

using namespace tarnvik;

class PickingOperation : public core::Operation {
 public:
  bool IsCancelled() const override { return false; }
  void Status(const std::string&) override {}
  void Product(const std::string&) override {}
  void Fail(const std::string& caption, const std::string& text) override { failure = caption + ": " + text; }
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer answer) override { return answer; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>& items) override {
    return items.empty() ? -1 : 0;
  }
  std::vector<int> ChooseItems(const std::string&, const std::string&, const std::vector<std::string>& items) override {
    std::vector<int> all;
    for (size_t i = 0; i < items.size(); ++i) all.push_back(static_cast<int>(i));
    return all;
  }
  std::string failure;
};

// An instrument's IGC file with n fixes a second apart.
std::string Igc(int n, int hour) {
  std::string text = "AFLY04711 FLYTEC 5030\r\nHFDTE150724\r\n";
  for (int i = 0; i < n; ++i) {
    const int t = hour * 3600 + i;
    char line[64];
    std::snprintf(line, sizeof line, "B%02d%02d%02d47%05dN008%05dEA%05d%05d\r\n", t / 3600, t / 60 % 60, t % 60,
                  10000 + 13 * (i % 3000), 20000 + 7 * (i % 5000), 900 + i % 300, 910 + i % 300);
    text += line;
  }
  return text + "G4A7F2C19D3E5B6A8\r\n";
}

void RunOverPty(benchmark::State& state, sim::flytec::FlytecDevice& device, int protocol,
                int (*routine)(access::AccessJob&), size_t expectedPoints) {
  std::string error;
  auto pty = sim::PtyDevice::Create(device, "", error);
  if (!pty) return state.SkipWithError(error.c_str());
  pty->Start();
  std::string caption;
  auto port = access::OpenSerialPort(pty->hostPath(), caption, error);
  if (!port) return state.SkipWithError("cannot open the pseudo-terminal");
  for (auto _ : state) {
    PickingOperation operation;
    access::DebugCapture capture;
    access::AccessJob job(access::kAccessDownloadTrackLog, protocol, *port, core::SystemClock(), operation, capture);
    if (routine(job) < 0) return state.SkipWithError(operation.failure.c_str());
    if (expectedPoints && job.data.points.size() != expectedPoints) return state.SkipWithError("wrong point count");
    benchmark::DoNotOptimize(job.data.text);
  }
}

void BM_FlytecIgc640FixesOverPty(benchmark::State& state) {
  sim::flytec::FlytecDevice device;
  device.tracks = {Igc(640, 10)};
  RunOverPty(state, device, access::kProtocolFlytec, devices::flytec::FlytecReadTrack, 640);
}
BENCHMARK(BM_FlytecIgc640FixesOverPty)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_FlytecLogbook20TracksOverPty(benchmark::State& state) {
  sim::flytec::FlytecDevice device;
  for (int i = 0; i < 20; ++i) device.tracks.push_back(Igc(640, 6 + i % 12));
  RunOverPty(state, device, access::kProtocolFlytecTrackList, devices::flytec::FlytecReadTracksForLogbook, 0);
}
BENCHMARK(BM_FlytecLogbook20TracksOverPty)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
