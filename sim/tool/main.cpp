// tarnvik-sim: a simulated instrument behind a pseudo-terminal.
//
//   tarnvik-sim <family> --link PATH [--data FILE] [--record FILE] [--fault FAULT]...
//   tarnvik-sim --list
//
// Creates a pseudo-terminal, links it at PATH and serves the family's instrument there until
// SIGINT or SIGTERM; a host opens PATH as its COM port. Exit status: 0 after a stop, 1 when the
// pseudo-terminal or the link could not be made, 2 for a bad command line.
#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "sim/pty_device.h"
#include "sim/simulator.h"
#include "sim/tool/families.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) { stopRequested = 1; }

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "tarnvik-sim: " << problem << "\n";
  std::cerr << "usage: tarnvik-sim <family> --link PATH [--data FILE] [--record FILE] [--fault FAULT]...\n"
               "       tarnvik-sim --list\nfamilies:";
  for (const std::string& name : tarnvik::sim::SimulatorFamilies()) std::cerr << " " << name;
  std::cerr << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tarnvik::sim;
  RegisterBuiltInSimulators();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--list") {
    for (const std::string& name : SimulatorFamilies()) std::cout << name << "\n";
    return 0;
  }
  if (args.empty() || args[0].rfind("--", 0) == 0) return Usage(args.empty() ? "" : "the family comes first");
  std::string family = args[0];
  std::string link;
  SimulatorOptions options;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    if (a == "--link" && hasValue) {
      link = args[++i];
    } else if (a == "--data" && hasValue) {
      options.dataFile = args[++i];
    } else if (a == "--record" && hasValue) {
      options.recordFile = args[++i];
    } else if (a == "--fault" && hasValue) {
      options.faults.push_back(args[++i]);
    } else {
      return Usage("unknown or incomplete option " + a);
    }
  }
  if (link.empty()) return Usage("--link PATH is required");
  const SimulatorFactory* factory = FindSimulator(family);
  if (!factory) return Usage("no simulator for " + family);
  std::string error;
  std::unique_ptr<Device> device = (*factory)(options, error);
  if (!device) return Usage(family + ": " + error);

  std::unique_ptr<PtyDevice> pty = PtyDevice::Create(*device, link, error);
  if (!pty) {
    std::cerr << "tarnvik-sim: " << error << "\n";
    return 1;
  }
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  pty->Start();
  std::cout << "tarnvik-sim: " << family << " on " << link << " (" << pty->ptsPath() << ")" << std::endl;
  while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  pty->Stop();
  return 0;
}
