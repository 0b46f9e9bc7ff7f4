// Arbitrary bytes as what a host sends to the simulated XC Trainer while it transmits its
// waypoint list: "@@OK" answers and "@@WP" packets found anywhere, split at every byte position
// the input chooses, at either line speed. Packets taken are whole and on the globe.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sim/xctrainer/xctrainer_device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::sim::xctrainer;
  if (size < 1) return 0;
  XcDeviceConfig config;
  config.send = XcSend::Waypoints;
  config.delayMs = 0;
  XcTrainerDevice device(config);
  device.waypoints = {{"ABC", 47.5, 8.25, 852}, {"DEF", -12.5, -100.25, 10}};
  device.LineChanged(data[0] & 1 ? 9600 : 57600, false);
  std::vector<uint8_t> out;
  int64_t now = 0;
  size_t at = 1;
  while (at < size) {
    const size_t n = 1 + data[at] % 31;
    const size_t take = n < size - at ? n : size - at;
    device.Receive(data + at, take, out);
    device.Tick(now += 1000, out);
    at += take;
  }
  for (const XcSimWaypoint& w : device.uploads()) {
    if (w.id.size() > 11 || std::fabs(w.latitude) > 1398.2 || w.altitude < 0 || w.altitude > 0xFFFF) std::abort();
  }
  if (device.answered() < 0 || device.doubledAnswers() < 0) std::abort();
  return 0;
}
