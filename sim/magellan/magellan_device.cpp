#include "sim/magellan/magellan_device.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/records.h"

namespace tarnvik::sim::magellan {
namespace {

uint8_t Xor(const std::string& body) {
  uint8_t sum = 0;
  for (char c : body) sum ^= static_cast<uint8_t>(c);
  return sum;
}

// Degrees as [D]DDMM.mmm with the hemisphere letter.
std::string Angle(double degrees, bool latitude) {
  const long long mm = std::llround(std::fabs(degrees) * 60000.0);
  char text[32];
  std::snprintf(text, sizeof text, latitude ? "%02lld%02lld.%03lld,%c" : "%03lld%02lld.%03lld,%c", mm / 60000,
                mm % 60000 / 1000, mm % 1000,
                latitude ? (degrees < 0 ? 'S' : 'N') : (degrees < 0 ? 'W' : 'E'));
  return text;
}

constexpr size_t kBurstBytes = 8192;

int Feet(int metres) { return static_cast<int>(std::lround(metres / 0.3048)); }

}  // namespace

MagellanDevice::MagellanDevice(MagDeviceConfig config) : config_(std::move(config)) {}

std::string MagellanDevice::Frame(const std::string& body, bool wrongSum) const {
  const uint8_t sum = static_cast<uint8_t>(Xor(body) ^ (wrongSum ? 0x5A : 0));
  char tail[8];
  std::snprintf(tail, sizeof tail, config_.lowerHex ? "*%02x\r\n" : "*%02X\r\n", sum);
  return "$" + body + tail;
}

std::vector<std::string> MagellanDevice::ApplyFaults(const std::vector<std::string>& bodies, bool list) const {
  std::vector<std::string> lines;
  for (size_t i = 0; i < bodies.size(); ++i) {
    const int n = static_cast<int>(i) + 1;
    if (list && config_.silentAfter > 0 && n > config_.silentAfter) break;
    std::string line = Frame(bodies[i], list && n == config_.badChecksum);
    if (list && n == config_.truncate) line = line.substr(0, line.size() / 2);
    if (list && config_.garbage) line = "\x07#junk\xff" + line;
    lines.push_back(line);
  }
  if (list && !config_.noEnd && config_.silentAfter == 0) lines.push_back(Frame("PMGNCMD,END", false));
  return lines;
}

std::vector<std::string> MagellanDevice::TrackSentences() const {
  std::vector<std::string> bodies;
  for (size_t i = 0; i < track.size(); ++i) {
    const MagSimFix& f = track[i];
    const core::SystemTime t = core::TimeToCalendar(f.time);
    const int altitude = config_.feet ? Feet(f.altitude) : f.altitude;
    char alt[40], tod[40], date[40];
    // Units differ in the width of the altitude field.
    std::snprintf(alt, sizeof alt, i % 2 ? "%07d" : "%05d", altitude);
    std::snprintf(tod, sizeof tod, "%02d%02d%02d.%02d", t.hour, t.minute, t.second, f.hundredths);
    std::snprintf(date, sizeof date, "%02d%02d%02d", t.day, t.month, t.year % 100);
    const bool invalid = config_.invalid > 0 && (i + 1) % config_.invalid == 0;
    bodies.push_back("PMGNTRK," + Angle(f.latitude, true) + "," + Angle(f.longitude, false) + "," + alt + "," +
                     (config_.feet ? "F" : "M") + "," + tod + "," + (invalid ? "V" : "A") + ",TRACK01," + date);
  }
  return ApplyFaults(bodies, true);
}

std::vector<std::string> MagellanDevice::WaypointSentences() const {
  std::vector<std::string> bodies;
  for (const MagSimWaypoint& w : waypoints) {
    std::string comment;
    for (char c : w.comment) comment += c == ',' ? std::string("\x1b" "2C") : std::string(1, c);
    const int altitude = config_.feet ? Feet(w.altitude) : w.altitude;
    char alt[40];
    std::snprintf(alt, sizeof alt, "%05d", altitude);
    bodies.push_back("PMGNWPL," + Angle(w.latitude, true) + "," + Angle(w.longitude, false) + "," + alt + "," +
                     (config_.feet ? "F" : "M") + "," + w.name + "," + comment + "," + w.icon);
  }
  return ApplyFaults(bodies, true);
}

std::vector<int32_t> MagellanDevice::ServedHeights() const {
  std::vector<int32_t> out;
  for (size_t i = 0; i < track.size(); ++i) {
    if (config_.invalid > 0 && (i + 1) % config_.invalid == 0) continue;
    out.push_back(config_.feet ? static_cast<int32_t>(std::lround(Feet(track[i].altitude) * 3.048))
                               : track[i].altitude * 10);
  }
  return out;
}

std::vector<uint32_t> MagellanDevice::ServedTimes() const {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < track.size(); ++i) {
    if (config_.invalid > 0 && (i + 1) % config_.invalid == 0) continue;
    out.push_back(track[i].time + (track[i].hundredths >= 50 ? 1 : 0));
  }
  return out;
}

void MagellanDevice::Start(std::vector<std::string> lines) {
  queue_ = std::move(lines);
  next_ = 0;
  sentLines_ = 0;
  resumeAt_ = -1;
  pausing_ = false;
}

void MagellanDevice::Emit(std::vector<uint8_t>& out) {
  // At most a burst at a time: a host that answers every sentence (gpsbabel acknowledges
  // each one) must be read in between, or both sides of a pseudo-terminal fill up and wait.
  const size_t limit = out.size() + kBurstBytes;
  while (next_ < queue_.size() && out.size() < limit) {
    if (pausing_) {
      // The pause runs from the first moment the device sees after its last line went out.
      if (resumeAt_ < 0) resumeAt_ = now_ + config_.pauseMs;
      if (now_ < resumeAt_) return;
      pausing_ = false;
      resumeAt_ = -1;
    }
    const std::string& line = queue_[next_++];
    out.insert(out.end(), line.begin(), line.end());
    ++sentLines_;
    if (config_.pauseAfter > 0 && static_cast<int>(sentLines_) == config_.pauseAfter) {
      pausing_ = true;
      resumeAt_ = -1;
      return;
    }
  }
}

void MagellanDevice::Command(const std::string& body, std::vector<uint8_t>& out) {
  if (config_.handshake && body.rfind("PMGNCSM", 0) != 0) {
    char ack[40];
    std::snprintf(ack, sizeof ack, "PMGNCSM,%02X", Xor(body));
    const std::string line = Frame(ack, false);
    out.insert(out.end(), line.begin(), line.end());
  }
  if (body.rfind("PMGNWPL", 0) == 0) {
    uploads_.push_back(body);
    if (!recordFile.empty()) {
      std::ofstream file(recordFile, std::ios::app | std::ios::binary);
      file << body << "\n";
    }
    return;
  }
  if (body.rfind("PMGNCMD,", 0) != 0) return;
  commands_.push_back(body);
  const std::string what = body.substr(8);
  if (what == "VERSION") {
    const std::string line = Frame("PMGNVER," + std::to_string(config_.model) + "," + config_.version + "," +
                                       config_.product, false);
    out.insert(out.end(), line.begin(), line.end());
  } else if (what == "TRACK" || what.rfind("TRACK,", 0) == 0) {
    Start(TrackSentences());
  } else if (what == "WAYPOINT") {
    Start(WaypointSentences());
  } else if (what == "ROUTE") {
    Start({Frame("PMGNCMD,END", false)});
  } else if (what == "STOP") {
    queue_.clear();
    next_ = 0;
  } else if (what == "END") {
    uploadEnded_ = true;
  } else if (what == "HANDON") {
    config_.handshake = true;
  } else if (what == "HANDOFF") {
    config_.handshake = false;
  }
  // NMEAOFF and anything else: accepted without an answer.
}

void MagellanDevice::Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < count; ++i) {
    const char c = static_cast<char>(bytes[i]);
    if (c == '$') {
      pending_.clear();
      inSentence_ = true;
      continue;
    }
    if (!inSentence_) continue;
    if (c != '\n') {
      pending_.push_back(c);
      continue;
    }
    inSentence_ = false;
    // body*HH\r
    const size_t star = pending_.rfind('*');
    if (star == std::string::npos || pending_.size() < star + 3) {
      ++badHost_;
      continue;
    }
    const std::string body = pending_.substr(0, star);
    const unsigned given = static_cast<unsigned>(std::strtoul(pending_.substr(star + 1, 2).c_str(), nullptr, 16));
    if (given != Xor(body)) {
      ++badHost_;
      continue;
    }
    Command(body, out);
  }
  Emit(out);
}

void MagellanDevice::Tick(int64_t nowMs, std::vector<uint8_t>& out) {
  now_ = nowMs;
  // A pause starts here: this is the device's first look at the clock after its last line.
  if (pausing_ && resumeAt_ < 0) {
    resumeAt_ = now_ + config_.pauseMs;
    return;
  }
  Emit(out);
}

void MagellanDevice::HostClosed() {
  queue_.clear();
  next_ = 0;
  pending_.clear();
  inSentence_ = false;
}

std::vector<MagSimFix> WalkTrack(int n, uint32_t start, double latitude, double longitude) {
  std::vector<MagSimFix> out;
  for (int i = 0; i < n; ++i) {
    MagSimFix f;
    f.time = start + static_cast<uint32_t>(i);
    f.hundredths = (i * 37) % 100;
    f.latitude = latitude + i * 0.00013 * ((i / 50) % 2 ? -1 : 1);
    f.longitude = longitude - i * 0.00021;
    f.altitude = 1650 + (i % 40) - 20;
    out.push_back(f);
  }
  return out;
}

std::vector<MagSimWaypoint> SampleWaypoints() {
  return {
      {"GERLITZ!", "Start, west slope", 46.6953, 13.9122, 1909, "a"},
      {"LANDE-1", "LANDING", 46.6617, 13.9303, 530, "b"},
      {"S-PEAK", "", -33.9628, 18.4039, 1085, "c"},
      {"W_TURN", "TURNPOINT 3", 46.7, -13.25, 1200, "a"},
  };
}

bool LoadMagellanData(const std::string& path, MagellanDevice& device, std::string& error) {
  std::ifstream file(path);
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(file, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    std::string key;
    in >> key;
    if (key == "fix") {
      int y, mo, d, h, mi;
      double s, lat, lon;
      int alt;
      char dash1, dash2, colon1, colon2;
      if (!(in >> y >> dash1 >> mo >> dash2 >> d >> h >> colon1 >> mi >> colon2 >> s >> lat >> lon >> alt)) {
        error = "line " + std::to_string(number) + ": bad fix";
        return false;
      }
      core::SystemTime t{static_cast<uint16_t>(y), static_cast<uint16_t>(mo), 0, static_cast<uint16_t>(d),
                         static_cast<uint16_t>(h), static_cast<uint16_t>(mi), static_cast<uint16_t>(s), 0};
      const auto time = core::CalendarToTime(t);
      if (!time) {
        error = "line " + std::to_string(number) + ": bad date";
        return false;
      }
      device.track.push_back({*time, static_cast<int>(std::lround((s - std::floor(s)) * 100)) % 100, lat, lon, alt});
    } else if (key == "waypoint") {
      std::string rest;
      std::getline(in, rest);
      std::vector<std::string> parts;
      std::string part;
      std::istringstream fields(rest);
      while (std::getline(fields, part, ',')) parts.push_back(part);
      if (parts.size() < 4) {
        error = "line " + std::to_string(number) + ": bad waypoint";
        return false;
      }
      MagSimWaypoint w;
      w.latitude = std::atof(parts[0].c_str());
      w.longitude = std::atof(parts[1].c_str());
      w.altitude = std::atoi(parts[2].c_str());
      w.name = parts[3];
      for (size_t i = 4; i < parts.size(); ++i) w.comment += (i > 4 ? "," : "") + parts[i];
      device.waypoints.push_back(w);
    } else if (key == "model") {
      in >> device.config().model;
    } else if (key == "version") {
      in >> device.config().version;
    } else if (key == "product") {
      std::getline(in >> std::ws, device.config().product);
    } else {
      error = "line " + std::to_string(number) + ": unknown " + key;
      return false;
    }
  }
  return true;
}

bool ApplyMagellanFault(const std::string& value, MagellanDevice& device, std::string& error) {
  MagDeviceConfig& c = device.config();
  const size_t eq = value.find('=');
  const std::string key = value.substr(0, eq);
  const std::string arg = eq == std::string::npos ? "" : value.substr(eq + 1);
  const int n = std::atoi(arg.c_str());
  if (key == "checksum") c.badChecksum = n;
  else if (key == "lowerhex") c.lowerHex = true;
  else if (key == "truncate") c.truncate = n;
  else if (key == "garbage") c.garbage = true;
  else if (key == "silent") c.silentAfter = n;
  else if (key == "noend") c.noEnd = true;
  else if (key == "invalid") c.invalid = n;
  else if (key == "feet") c.feet = true;
  else if (key == "pause") c.pauseAfter = n;
  else if (key == "pausems") c.pauseMs = n;
  else if (key == "handshake") c.handshake = true;
  else if (key == "model") c.model = n;
  else if (key == "version") c.version = arg;
  else if (key == "points") device.track = WalkTrack(n, 1000000000);
  else {
    error = "unknown magellan fault " + value;
    return false;
  }
  return true;
}

namespace {

std::unique_ptr<Device> MakeMagellanDevice(const SimulatorOptions& options, std::string& error) {
  auto device = std::make_unique<MagellanDevice>();
  if (!options.dataFile.empty() && !LoadMagellanData(options.dataFile, *device, error)) return nullptr;
  for (const std::string& fault : options.faults) {
    if (!ApplyMagellanFault(fault, *device, error)) return nullptr;
  }
  if (device->track.empty()) device->track = WalkTrack(75, 1000000000);
  if (device->waypoints.empty()) device->waypoints = SampleWaypoints();
  device->recordFile = options.recordFile;
  return device;
}

}  // namespace

bool RegisterMagellanSimulator() { return RegisterSimulator("magellan", MakeMagellanDevice); }

}  // namespace tarnvik::sim::magellan
