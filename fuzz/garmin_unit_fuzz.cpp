// Arbitrary bytes as what a host sends to the simulated Garmin unit: the unit's frame reader,
// its reading of uploaded records of every type, and whole units of several kinds taking the
// bytes (acknowledgements, NAKs, commands, uploads) in pieces of varying size.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/garmin/garmin_device.h"

namespace {

using namespace tarnvik::sim::garmin;

void ReadEveryRecordType(const UnitPacket& packet) {
  std::string problem;
  tarnvik::core::Waypoint w;
  for (uint16_t type : {100, 101, 102, 103, 104, 107, 108, 109, 110, 150, 151, 152, 154, 155, 999}) {
    ReadUploadedWaypoint(type, packet.data, w, problem);
  }
  for (uint16_t type : {300, 301, 302, 303, 304}) ReadUploadedTrackPoint(type, packet.data, w, problem);
  std::string name;
  for (uint16_t type : {310, 311, 312}) ReadUploadedTrackHeader(type, packet.data, name, problem);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  UnitFrameReader reader;
  for (size_t i = 0; i < size; ++i) {
    if (reader.Feed(data[i]) == UnitFrameReader::Result::Packet) ReadEveryRecordType(reader.packet());
  }

  const uint16_t waypointTypes[] = {100, 108, 110, 151};
  const uint16_t trackTypes[][3] = {{300, 0, 300}, {301, 310, 301}, {302, 311, 304}, {301, 312, 302}};
  for (int unit = 0; unit < 4; ++unit) {
    GarminDeviceConfig config;
    config.waypointType = waypointTypes[unit];
    config.trackTransfer = trackTypes[unit][0];
    config.trackHeaderType = trackTypes[unit][1];
    config.trackPointType = trackTypes[unit][2];
    config.answerProductRequestDirectly = unit == 1;
    GarminDevice device(config);
    SimTrackRecord header;
    header.header = true;
    header.name = "T";
    device.track = {header, SimTrackRecord{}};
    device.waypoints.resize(2);
    std::vector<uint8_t> out;
    size_t at = 0;
    while (at < size) {
      const size_t n = std::min<size_t>(1 + data[at] % 23, size - at);
      device.Receive(data + at, n, out);
      at += n;
    }
    device.HostClosed();
  }
  return 0;
}
