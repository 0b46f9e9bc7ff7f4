// The device side of an instrument protocol, and the table of simulated families.
//
// A Device is fed the bytes the host sends and answers with bytes of its own. It never blocks
// and never reads a clock by itself: time reaches it through Tick, so the same simulator runs
// pumped in one thread with a fake clock (PumpedLink), on a thread of its own over an
// in-memory pipe (MemoryPipe + ServeDevice), or behind a pseudo-terminal (PtyDevice,
// tarnvik-sim).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarnvik::sim {

class Device {
 public:
  virtual ~Device() = default;
  // Bytes from the host, in the order sent. Replies are appended to out.
  virtual void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) = 0;
  // Time has passed (nowMs: the runner's monotonic clock) with nothing from the host. A device
  // that sends on its own (a stream, a repeat after a missing acknowledgement) appends here.
  virtual void Tick(int64_t nowMs, std::vector<uint8_t>& out) {
    (void)nowMs;
    (void)out;
  }
  // The host set a new line speed and flow control (where the runner can see it).
  virtual void LineChanged(int baud, bool xonXoff) {
    (void)baud;
    (void)xonXoff;
  }
  // The host closed the port (a pseudo-terminal's host side went away). The device returns to
  // its idle state; the host may open the port again.
  virtual void HostClosed() {}
};

// What tarnvik-sim passes to a family's factory.
struct SimulatorOptions {
  std::string dataFile;             // --data FILE: what the instrument holds (family's format)
  std::vector<std::string> faults;  // --fault values, in order (family's syntax)
  std::string recordFile;           // --record FILE: where uploads are written, if the family does
};

// Builds a family's device. Returns null with a text in error for options it cannot use.
using SimulatorFactory =
    std::function<std::unique_ptr<Device>(const SimulatorOptions& options, std::string& error)>;

// The process-wide table of families ("garmin", ...). Each family provides a registration
// function that calls RegisterSimulator; the tool calls them at start-up
// (RegisterBuiltInSimulators). False when the name is taken or empty.
bool RegisterSimulator(const std::string& family, SimulatorFactory factory);
// The factory of a family, or null.
const SimulatorFactory* FindSimulator(const std::string& family);
// Registered family names, sorted.
std::vector<std::string> SimulatorFamilies();

}  // namespace tarnvik::sim
