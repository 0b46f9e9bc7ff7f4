// The logic of the COM port chooser: which ports exist, which one to preselect. The dialog
// itself belongs to the front end.
#pragma once

#include <string>
#include <vector>

#include "core/ports.h"

namespace tarnvik::access {

constexpr size_t kMaxListedPorts = 20;

// The serial ports that exist, at most 20: the stable names of USB adapters first
// (/dev/serial/by-id, sorted), then every tty with a device behind it (/sys/class/tty/*/device;
// USB and ACM adapters before the built-in ttyS ports, numbers in numeric order), skipping
// built-in ports that report no UART (type 0). sysRoot and devRoot stand in for /sys and /dev
// in tests.
std::vector<std::string> ListSerialPorts(const std::string& sysRoot = "/sys", const std::string& devRoot = "/dev");

struct ComPortChoice {
  std::vector<std::string> ports;
  int selected = -1;  // index of the entry to preselect
};

// Fills the chooser: the ports as listed (cut to 20) and the entry equal to the session's port
// (a COMn name matches the device it stands for), or the first. -1 with "No COM ports
// available" (caption "Select COM port") when there is none.
int PrepareComPortChoice(core::Ui& ui, std::vector<std::string> ports, const std::string& sessionPort,
                         ComPortChoice& choice);

}  // namespace tarnvik::access
