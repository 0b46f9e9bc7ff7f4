// "tarnvik-sim garmin": a simulated Garmin receiver serving an IGC flight as its track log.
//
// --data FILE    an IGC flight: its fixes become the track log, its task turnpoints the waypoints
// --record FILE  uploads are appended here as text lines when the host completes them
// --fault VALUE  one of (repeatable):
//   checksum=N   the device's Nth packet (acknowledgements included) has a bad checksum
//   drop=N       the device's Nth packet is never sent
//   silent=N     nothing goes out after the device's Nth packet
//   noack=N      the host's Nth packet is not acknowledged
//   product=ID, version=V (x 100), noarray (no capability array: the host looks the product up
//   in its table; the unit still works with the types chosen here, so choose the table's),
//   direct (product data without acknowledging the request), wpt=D (waypoint type),
//   trk=A (track transfer 300-302), point=D (track point type 300-304),
//   hdr=D (track header type 310-312, A301/A302 units)
//   compid=N, civlid=N  the unit holds a "COMPID"/"CIVLID" waypoint carrying the ID N
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/garmin/garmin_device.h"

namespace tarnvik::sim::garmin {
namespace {

bool ParseFault(const std::string& value, GarminDeviceConfig& config, std::string& error) {
  const size_t eq = value.find('=');
  const std::string name = value.substr(0, eq);
  int number = 0;
  if (eq != std::string::npos) {
    try {
      number = std::stoi(value.substr(eq + 1));
    } catch (...) {
      error = "bad number in --fault " + value;
      return false;
    }
  }
  if (name == "checksum") config.badChecksumAtPacket = number;
  else if (name == "drop") config.dropPacket = number;
  else if (name == "silent") config.silentAfterPackets = number;
  else if (name == "noack") config.noAckForHostPacket = number;
  else if (name == "product") config.productId = static_cast<uint16_t>(number);
  else if (name == "version") config.softwareVersion = static_cast<uint16_t>(number);
  else if (name == "noarray") config.sendCapabilities = false;
  else if (name == "direct") config.answerProductRequestDirectly = true;
  else if (name == "wpt") config.waypointType = static_cast<uint16_t>(number);
  else if (name == "trk") config.trackTransfer = static_cast<uint16_t>(number);
  else if (name == "point") config.trackPointType = static_cast<uint16_t>(number);
  else if (name == "hdr") config.trackHeaderType = static_cast<uint16_t>(number);
  else {
    error = "unknown --fault " + value;
    return false;
  }
  return true;
}

// A pilot's ID as a "COMPID"/"CIVLID" waypoint, as a unit holds it after the host sent it:
// latitude d2 degrees d1 minutes d0 seconds, longitude ID div 100000 degrees d4 minutes d3
// seconds, in semicircles rounded to nearest.
core::Waypoint IdWaypoint(const char* name, int32_t id) {
  auto semicircles = [](int64_t arcSeconds) {
    return static_cast<int32_t>(std::llround(static_cast<double>(arcSeconds) * 2147483648.0 / 648000.0));
  };
  core::Waypoint w;
  w.latitude = semicircles(id / 100 % 10 * 3600 + id / 10 % 10 * 60 + id % 10);
  w.longitude = semicircles(int64_t{id / 100000} * 3600 + id / 10000 % 10 * 60 + id / 1000 % 10);
  std::snprintf(w.id, sizeof w.id, "%s", name);
  std::snprintf(w.comment, sizeof w.comment, "%s", name);
  return w;
}

std::unique_ptr<Device> MakeGarminDevice(const SimulatorOptions& options, std::string& error) {
  GarminDeviceConfig config;
  std::vector<core::Waypoint> idWaypoints;  // compid=N, civlid=N: the unit holds these IDs
  for (const auto& fault : options.faults) {
    const bool comp = fault.rfind("compid=", 0) == 0, civl = fault.rfind("civlid=", 0) == 0;
    if (comp || civl) {
      char* end = nullptr;
      const long id = std::strtol(fault.c_str() + 7, &end, 10);
      if (*end != '\0' || end == fault.c_str() + 7 || id < 0 || id > 17999999) {
        error = "bad number in --fault " + fault;
        return nullptr;
      }
      idWaypoints.push_back(IdWaypoint(comp ? "COMPID" : "CIVLID", static_cast<int32_t>(id)));
      continue;
    }
    if (!ParseFault(fault, config, error)) return nullptr;
  }
  // The array follows the chosen types.
  const uint16_t wpt = config.waypointType ? config.waypointType : 108;
  const uint16_t trk = config.trackTransfer ? config.trackTransfer : 301;
  const uint16_t point = config.trackPointType ? config.trackPointType : (trk == 300 ? 300 : 301);
  config.capabilities = StandardCapabilities(wpt, trk, point);
  if (config.trackHeaderType != 0) {
    // The array declares the chosen header type in place of the standard one.
    for (auto& [tag, number] : config.capabilities) {
      if (tag == 'D' && number >= 310 && number <= 312) number = config.trackHeaderType;
    }
  }
  auto device = std::make_unique<GarminDevice>(config);
  device->recordFile = options.recordFile;
  if (!options.dataFile.empty()) {
    std::ifstream file(options.dataFile, std::ios::binary);
    if (!file) {
      error = "cannot read " + options.dataFile;
      return nullptr;
    }
    std::stringstream text;
    text << file.rdbuf();
    std::string why;
    if (LoadIgcIntoDevice(text.str(), *device, why) < 0) {
      error = options.dataFile + ": " + why;
      return nullptr;
    }
  }
  device->waypoints.insert(device->waypoints.end(), idWaypoints.begin(), idWaypoints.end());
  return device;
}

}  // namespace

bool RegisterGarminSimulator() { return RegisterSimulator("garmin", MakeGarminDevice); }

}  // namespace tarnvik::sim::garmin
