#include "sim/echo_device.h"

namespace tarnvik::sim {

bool RegisterEchoSimulator() {
  return RegisterSimulator("echo", [](const SimulatorOptions& options, std::string& error) -> std::unique_ptr<Device> {
    if (!options.faults.empty()) {
      error = "the echo instrument has no faults";
      return nullptr;
    }
    return std::make_unique<EchoDevice>();
  });
}

}  // namespace tarnvik::sim
