// A small reader of IGC flights for the simulator's data file: B records become the track log,
// the turnpoints of a C-record task declaration become waypoints.
#include <cstdlib>
#include <sstream>

#include "sim/garmin/garmin_device.h"

namespace tarnvik::sim::garmin {
namespace {

bool Digits(const std::string& s, size_t from, size_t count) {
  if (s.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

int Number(const std::string& s, size_t from, size_t count) { return std::atoi(s.substr(from, count).c_str()); }

// DDMMmmm[NS] or DDDMMmmm[EW] at from, in degrees.
bool Angle(const std::string& s, size_t from, int degreeDigits, double& degrees) {
  if (!Digits(s, from, static_cast<size_t>(degreeDigits) + 5)) return false;
  const char hemisphere = s.size() > from + degreeDigits + 5 ? s[from + degreeDigits + 5] : '\0';
  degrees = Number(s, from, static_cast<size_t>(degreeDigits)) + Number(s, from + degreeDigits, 5) / 60000.0;
  if (hemisphere == 'S' || hemisphere == 'W') degrees = -degrees;
  else if (hemisphere != 'N' && hemisphere != 'E') return false;
  return true;
}

}  // namespace

int LoadIgcIntoDevice(const std::string& igcText, GarminDevice& device, std::string& error) {
  std::istringstream in(igcText);
  std::string line;
  core::SystemTime date;
  bool haveDate = false;
  int64_t dayOffset = 0;
  int64_t lastSecondOfDay = -1;
  device.track.clear();
  device.waypoints.clear();
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("HFDTE", 0) == 0) {
      size_t at = line.find_first_of("0123456789");
      if (at != std::string::npos && Digits(line, at, 6)) {
        date.day = static_cast<uint16_t>(Number(line, at, 2));
        date.month = static_cast<uint16_t>(Number(line, at + 2, 2));
        const int year = Number(line, at + 4, 2);
        date.year = static_cast<uint16_t>(year < 80 ? 2000 + year : 1900 + year);
        haveDate = true;
      }
    } else if (line.size() >= 35 && line[0] == 'B' && Digits(line, 1, 6)) {
      double lat = 0;
      double lon = 0;
      if (!Angle(line, 7, 2, lat) || !Angle(line, 15, 3, lon)) continue;
      const auto latitude = core::LatitudeFromDegrees(lat);
      const auto longitude = core::LongitudeFromDegrees(lon);
      if (!latitude || !longitude) continue;
      const int64_t secondOfDay = Number(line, 1, 2) * 3600 + Number(line, 3, 2) * 60 + Number(line, 5, 2);
      if (lastSecondOfDay >= 0 && secondOfDay < lastSecondOfDay) dayOffset += 86400;  // past midnight
      lastSecondOfDay = secondOfDay;
      core::SystemTime midnight = date;
      const auto day = haveDate ? core::CalendarToTime(midnight) : std::optional<uint32_t>(0);
      SimTrackRecord r;
      r.point.latitude = *latitude;
      r.point.longitude = *longitude;
      r.point.time = static_cast<uint32_t>((day ? *day : 0) + dayOffset + secondOfDay);
      if (device.track.empty()) {
        // The log opens with its track header, as on the units that send one.
        SimTrackRecord header;
        header.header = true;
        header.name = "ACTIVE LOG";
        device.track.push_back(header);
      }
      r.point.flags = device.track.size() == 1 ? 1 : 0;
      const int pressure = std::atoi(line.substr(25, 5).c_str());
      const int gps = std::atoi(line.substr(30, 5).c_str());
      r.altitudeM = static_cast<float>(gps != 0 ? gps : pressure);
      device.track.push_back(r);
    } else if (line.size() >= 18 && line[0] == 'C' && (line[8] == 'N' || line[8] == 'S')) {
      double lat = 0;
      double lon = 0;
      if (!Angle(line, 1, 2, lat) || !Angle(line, 9, 3, lon)) continue;
      const auto latitude = core::LatitudeFromDegrees(lat);
      const auto longitude = core::LongitudeFromDegrees(lon);
      const std::string text = line.substr(18);
      if (!latitude || !longitude || text.empty()) continue;
      core::Waypoint w;
      w.latitude = *latitude;
      w.longitude = *longitude;
      if (core::NormaliseWaypointId(text, w.id, true) != 0) continue;
      core::NormaliseComment(text, w.comment);
      device.waypoints.push_back(w);
    }
  }
  if (device.track.empty()) {
    error = "no B records";
    return -1;
  }
  return static_cast<int>(device.track.size()) - 1;
}

}  // namespace tarnvik::sim::garmin
