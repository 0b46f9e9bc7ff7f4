// The simplest instrument: it sends back every byte it receives. Useful to check a port, a
// link or a cable ("tarnvik-sim echo --link /tmp/ttyECHO").
#pragma once

#include "sim/simulator.h"

namespace tarnvik::sim {

class EchoDevice : public Device {
 public:
  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override {
    out.insert(out.end(), bytes, bytes + count);
    received += count;
  }
  void LineChanged(int baud, bool xonXoff) override {
    lastBaud = baud;
    lastXonXoff = xonXoff;
  }
  void HostClosed() override { ++hostCloses; }

  // What the runner reported (read them after the runner has stopped).
  size_t received = 0;
  int lastBaud = 0;
  bool lastXonXoff = false;
  int hostCloses = 0;
};

// Registers "echo" in the simulator table.
bool RegisterEchoSimulator();

}  // namespace tarnvik::sim
