#include "access/serial_ports.h"

#include "access/serial_port.h"

namespace tarnvik::access {

int PrepareComPortChoice(core::Ui& ui, std::vector<std::string> ports, const std::string& sessionPort,
                         ComPortChoice& choice) {
  if (ports.size() > kMaxListedPorts) ports.resize(kMaxListedPorts);
  choice.ports = std::move(ports);
  choice.selected = -1;
  if (choice.ports.empty()) {
    ui.ShowMessage("Select COM port", "No COM ports available", core::Icon::Error);
    return -1;
  }
  choice.selected = 0;
  const std::string sessionDevice = SerialDevicePath(sessionPort);
  for (size_t i = 0; i < choice.ports.size(); ++i) {
    if (choice.ports[i] == sessionPort || choice.ports[i] == sessionDevice) {
      choice.selected = static_cast<int>(i);
      break;
    }
  }
  return 0;
}

}  // namespace tarnvik::access
