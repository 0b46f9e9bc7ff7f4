#include "sim/xctrainer/xctrainer_device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/records.h"

namespace tarnvik::sim::xctrainer {
namespace {

constexpr uint8_t kXonByte = 0x11;
constexpr uint8_t kXoffByte = 0x13;
constexpr int64_t kAnswerWaitMs = 5000;

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  std::string s(text);
  return s.substr(s.size() - static_cast<size_t>(digits));
}

std::string Two(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value % 100);
  return text;
}

uint32_t Units(double degrees, double perDegree, int bits) {
  const long units = std::lround(degrees * perDegree);
  return static_cast<uint32_t>(units) & ((1u << bits) - 1);
}

double Quantised(double degrees, double perDegree) { return std::lround(degrees * perDegree) / perDegree; }

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  const size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

std::vector<std::string> Split(const std::string& s, char separator) {
  std::vector<std::string> out;
  std::stringstream in(s);
  std::string part;
  while (std::getline(in, part, separator)) out.push_back(Trim(part));
  return out;
}

// Degrees as the waypoint list writes them: whole degrees, minutes and seconds.
void Dms(double degrees, int& d, int& m, int& s) {
  long total = std::lround(std::fabs(degrees) * 3600.0);
  d = static_cast<int>(total / 3600);
  m = static_cast<int>(total / 60 % 60);
  s = static_cast<int>(total % 60);
}

}  // namespace

XcTrainerDevice::XcTrainerDevice(XcDeviceConfig config) : config_(std::move(config)) {}

int XcTrainerDevice::InstrumentBaud() const {
  if (config_.baud > 0) return config_.baud;
  if (config_.send == XcSend::Mxp) return 57600;
  return config_.xcTrainer && config_.send == XcSend::Tnc ? 57600 : 9600;
}

// ---- what the instrument sends ------------------------------------------------------------------

std::vector<std::string> XcTrainerDevice::MxpLines() const {
  std::vector<std::string> lines;
  const uint32_t start = track.empty() ? 0 : track.front().time;
  const core::SystemTime t = core::TimeToCalendar(start);
  const int count = config_.announcedCount >= 0 ? config_.announcedCount : static_cast<int>(track.size());
  std::string header = config_.xcTrainer ? "@xc" : "@tn";
  header += (config_.version + "0000").substr(0, 4);
  header += Hex(static_cast<uint32_t>(config_.serial), 4) + "  ";
  header += Two(t.year) + Two(t.month) + Two(t.day) + Two(t.hour) + Two(t.minute) + Two(t.second);
  header += "01" + Hex(static_cast<uint32_t>(count), 4) + "01" + "   ";
  uint8_t sum = 0;
  for (char c : header) sum ^= static_cast<uint8_t>(c);
  lines.push_back(header + Hex(sum, 2));
  for (size_t i = 0; i < track.size(); ++i) {
    if (static_cast<int>(i) + 1 == config_.skipRecord) continue;
    const XcSimFix& f = track[i];
    std::string line = Hex(static_cast<uint32_t>(i), 4) + Hex((f.time - start) & 0xFFFF, 4) + "00";
    line += Hex(Units(f.latitude, 24000, 24), 6) + Hex(Units(f.longitude, 24000, 24), 6);
    line += Hex(static_cast<uint32_t>(f.altitude) & 0xFFFF, 4);
    uint8_t x = 0;
    for (char c : line) x ^= static_cast<uint8_t>(c);
    if (static_cast<int>(i) + 1 == config_.badChecksumLine) x ^= 0x5A;
    lines.push_back(line + Hex(x, 2));
  }
  return lines;
}

std::vector<XcSimFix> XcTrainerDevice::TncFixes() const {
  // The instrument logs every second: a second without a fix repeats the one before.
  std::vector<XcSimFix> fixes;
  if (track.empty()) return fixes;
  size_t k = 0;
  for (uint32_t t = track.front().time; t <= track.back().time; ++t) {
    while (k + 1 < track.size() && track[k + 1].time <= t) ++k;
    XcSimFix f = track[k];
    f.time = t;
    fixes.push_back(f);
  }
  return fixes;
}

std::vector<std::string> XcTrainerDevice::TncLines() const {
  const std::vector<XcSimFix> fixes = TncFixes();
  const int offset = config_.offsetByte >= 0 ? static_cast<int8_t>(config_.offsetByte) : config_.offsetHours;
  const int applied = offset >= -14 && offset <= 14 ? offset : 0;
  auto local = [applied](uint32_t utc) { return core::TimeToCalendar(utc + static_cast<uint32_t>(applied * 3600)); };
  std::vector<std::string> lines = {"TNC log"};
  const core::SystemTime d = local(fixes.empty() ? 0 : fixes.front().time);
  std::string start = "@TN";
  start += config_.xcTrainer ? "7x" : "5x";
  start += "FFFF42xx1E";
  start += Two(d.year) + Two(d.month) + Two(d.day) + Two(d.hour) + Two(d.minute) + Two(d.second) + "27";
  start += Hex(static_cast<uint32_t>(config_.offsetByte >= 0 ? config_.offsetByte : offset) & 0xFF, 2);
  start += (config_.takeoff + std::string(11, ' ')).substr(0, 11);
  start += "024C058A01B8070303EF091C2F23xxB50022";
  lines.push_back(start);
  int positionLine = 0;
  const size_t block = static_cast<size_t>(std::max(1, config_.blockSize));
  for (size_t b = 0; b < fixes.size(); b += block) {
    uint32_t stamp = fixes[b].time;
    if (b == block && config_.timeStep > 0) stamp = fixes[0].time + static_cast<uint32_t>(config_.timeStep);
    const core::SystemTime t = local(stamp);
    lines.push_back(Two(t.hour) + Two(t.minute) + Two(t.second) + "0BB35ACx");
    for (size_t i = b; i < std::min(fixes.size(), b + block); ++i) {
      ++positionLine;
      if (positionLine == config_.skipRecord) continue;
      const XcSimFix& f = fixes[i];
      std::string line = Hex(Units(f.latitude, 6000, 24), 6) + Hex(Units(f.longitude, 6000, 24), 6);
      line += Hex(static_cast<uint32_t>(f.altitude) & 0xFFFF, 4) + "0000000000A" + "x5A";
      if (positionLine == config_.damagedLine) line[2] = 'Z';
      lines.push_back(line);
    }
  }
  if (!config_.noEof) lines.push_back("@EOF");
  return lines;
}

std::vector<std::string> XcTrainerDevice::WaypointLines() const {
  std::vector<std::string> lines = {"; waypoints"};
  for (const XcSimWaypoint& w : waypoints) {
    int ad, am, as, od, om, os;
    Dms(w.latitude, ad, am, as);
    Dms(w.longitude, od, om, os);
    const std::string id = w.id.substr(0, 6);
    char text[96];
    std::snprintf(text, sizeof text, "%s %s TPT %c %d %02d %02d %c %d %02d %02d %d m", id.c_str(), w.id.c_str(),
                  w.latitude < 0 ? 'S' : 'N', ad, am, as, w.longitude < 0 ? 'W' : 'E', od, om, os, w.altitude);
    lines.push_back(text);
  }
  if (!config_.noEof) lines.push_back("@EOF");
  return lines;
}

std::vector<std::string> XcTrainerDevice::Lines() const {
  switch (config_.send) {
    case XcSend::Mxp: return MxpLines();
    case XcSend::Tnc: return TncLines();
    case XcSend::Waypoints: return WaypointLines();
  }
  return {};
}

std::string XcTrainerDevice::Transmission() const {
  std::vector<std::string> lines = Lines();
  if (config_.silentAfterLines > 0 && lines.size() > static_cast<size_t>(config_.silentAfterLines)) {
    lines.resize(static_cast<size_t>(config_.silentAfterLines));
  }
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

std::vector<XcSimFix> XcTrainerDevice::ServedFixes() const {
  std::vector<XcSimFix> fixes = config_.send == XcSend::Mxp ? track : TncFixes();
  const double perDegree = config_.send == XcSend::Mxp ? 24000 : 6000;
  for (XcSimFix& f : fixes) {
    f.latitude = Quantised(f.latitude, perDegree);
    f.longitude = Quantised(f.longitude, perDegree);
  }
  return fixes;
}

// ---- the line ------------------------------------------------------------------------------------

void XcTrainerDevice::Garble(std::vector<uint8_t>& bytes, size_t from) const {
  if (hostBaud_ == 0 || hostBaud_ == InstrumentBaud()) return;
  for (size_t i = from; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>((bytes[i] ^ 0x55) | 0x80);
}

void XcTrainerDevice::Emit(const std::string& text, std::vector<uint8_t>& out) {
  const size_t from = out.size();
  for (char c : text) {
    out.push_back(static_cast<uint8_t>(c));
    ++emitted_;
    if (config_.sprinkle > 0 && emitted_ % static_cast<size_t>(config_.sprinkle) == 0) {
      out.push_back(kXoffByte);
      out.push_back(kXonByte);
    }
  }
  Garble(out, from);
}

void XcTrainerDevice::LineChanged(int baud, bool) {
  hostBaud_ = baud;
  armed_ = true;
  sending_ = false;
  waitingOk_ = false;
}

void XcTrainerDevice::HostClosed() {
  armed_ = false;
  sending_ = false;
  waitingOk_ = false;
  fromHost_.clear();
}

void XcTrainerDevice::Tick(int64_t nowMs, std::vector<uint8_t>& out) {
  if (armed_) {
    armed_ = false;
    sending_ = true;
    startAt_ = nowMs + config_.delayMs;
    queue_ = Lines();
    if (config_.silentAfterLines > 0 && queue_.size() > static_cast<size_t>(config_.silentAfterLines)) {
      queue_.resize(static_cast<size_t>(config_.silentAfterLines));
    }
    next_ = 0;
    emitted_ = 0;
  }
  if (!sending_ || nowMs < startAt_) return;
  if (config_.send != XcSend::Waypoints) {
    std::string text;
    for (const std::string& l : queue_) text += l + "\r\n";
    Emit(text, out);
    sending_ = false;
    return;
  }
  // The list goes line by line, each waiting for the host's "@@OK".
  if (waitingOk_) {
    if (nowMs - waitSince_ < kAnswerWaitMs) return;
    ++missing_;
    waitingOk_ = false;
  }
  if (next_ >= queue_.size()) {
    sending_ = false;
    return;
  }
  const std::string& line = queue_[next_++];
  Emit(line + "\r\n", out);
  if (line != "@EOF") {
    waitingOk_ = true;
    waitSince_ = nowMs;
  }
}

void XcTrainerDevice::Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>&) {
  const size_t from = fromHost_.size();
  fromHost_.insert(fromHost_.end(), bytes, bytes + count);
  Garble(fromHost_, from);
  size_t at = 0;
  for (;;) {
    size_t p = at;
    while (p + 1 < fromHost_.size() && !(fromHost_[p] == '@' && fromHost_[p + 1] == '@')) ++p;
    if (p + 1 >= fromHost_.size()) {
      // Keep a last '@' that may begin the next answer or packet.
      at = !fromHost_.empty() && fromHost_.back() == '@' ? fromHost_.size() - 1 : fromHost_.size();
      break;
    }
    if (p + 4 > fromHost_.size()) {
      at = p;
      break;
    }
    if (fromHost_[p + 2] == 'O' && fromHost_[p + 3] == 'K') {
      if (waitingOk_) {
        waitingOk_ = false;
        ++answered_;
      } else {
        ++doubled_;
      }
      at = p + 4;
    } else if (fromHost_[p + 2] == 'W' && fromHost_[p + 3] == 'P') {
      if (p + 30 > fromHost_.size()) {
        at = p;
        break;
      }
      TakePacket(fromHost_.data() + p);
      at = p + 30;
    } else {
      at = p + 1;
    }
  }
  fromHost_.erase(fromHost_.begin(), fromHost_.begin() + static_cast<std::ptrdiff_t>(at));
}

void XcTrainerDevice::TakePacket(const uint8_t* p) {
  uint8_t x = 0;
  for (int i = 2; i <= 27; ++i) x ^= p[i];
  if (p[4] != 0x81 || p[18] != 'N' || p[19] != 'O' || p[28] != x || p[29] != '\r') {
    ++badPackets_;
    return;
  }
  auto int24 = [p](int at) {
    int32_t v = p[at] | (p[at + 1] << 8) | (p[at + 2] << 16);
    if (v & 0x800000) v -= 0x1000000;
    return v / 6000.0;
  };
  XcSimWaypoint w;
  w.altitude = (p[5] << 8) | p[6];
  w.id = Trim(std::string(reinterpret_cast<const char*>(p + 7), 11));
  w.latitude = int24(22);
  w.longitude = int24(25);
  uploads_.push_back(w);
  auto same = std::find_if(waypoints.begin(), waypoints.end(), [&w](const XcSimWaypoint& o) { return o.id == w.id; });
  if (same != waypoints.end()) *same = w;
  else waypoints.push_back(w);
  if (!recordFile.empty()) {
    std::ofstream file(recordFile, std::ios::app);
    char line[96];
    std::snprintf(line, sizeof line, "waypoint %.6f,%.6f,%s,%d\n", w.latitude, w.longitude, w.id.c_str(), w.altitude);
    file << line;
  }
}

// ---- data and options -------------------------------------------------------------------------

std::vector<XcSimFix> WalkTrack(int n, uint32_t start, double latitude, double longitude) {
  std::vector<XcSimFix> fixes;
  for (int i = 0; i < n; ++i) {
    fixes.push_back({start + static_cast<uint32_t>(i), latitude + 0.0005 * i, longitude + 0.0003 * i, 850 + i % 700});
  }
  return fixes;
}

bool LoadIgcTrack(const std::string& path, std::vector<XcSimFix>& track, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read " + path;
    return false;
  }
  std::string line;
  uint32_t day = 0;
  int64_t lastTod = -1;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("HFDTE", 0) == 0) {
      const size_t digits = line.find_first_of("0123456789");
      if (digits == std::string::npos || line.size() < digits + 6) continue;
      core::SystemTime t;
      t.day = static_cast<uint16_t>(std::stoi(line.substr(digits, 2)));
      t.month = static_cast<uint16_t>(std::stoi(line.substr(digits + 2, 2)));
      const int yy = std::stoi(line.substr(digits + 4, 2));
      t.year = static_cast<uint16_t>(yy >= 90 ? 1900 + yy : 2000 + yy);
      day = core::CalendarToTime(t).value_or(0);
      continue;
    }
    if (line.size() < 35 || line[0] != 'B') continue;
    try {
      const int64_t tod = std::stoi(line.substr(1, 2)) * 3600 + std::stoi(line.substr(3, 2)) * 60 + std::stoi(line.substr(5, 2));
      if (lastTod >= 0 && tod < lastTod) day += 86400;
      lastTod = tod;
      double lat = std::stoi(line.substr(7, 2)) + std::stoi(line.substr(9, 5)) / 60000.0;
      if (line[14] == 'S') lat = -lat;
      double lon = std::stoi(line.substr(15, 3)) + std::stoi(line.substr(18, 5)) / 60000.0;
      if (line[23] == 'W') lon = -lon;
      const int pressure = std::stoi(line.substr(25, 5));
      const int gnss = std::stoi(line.substr(30, 5));
      track.push_back({day + static_cast<uint32_t>(tod), lat, lon, gnss != 0 ? gnss : pressure});
    } catch (...) {
      continue;
    }
  }
  if (track.empty()) {
    error = path + ": no B records";
    return false;
  }
  return true;
}

bool ApplyXcTrainerFault(const std::string& value, XcDeviceConfig& c, std::string& error) {
  const size_t eq = value.find('=');
  const std::string key = value.substr(0, eq);
  const std::string arg = eq == std::string::npos ? "" : value.substr(eq + 1);
  try {
    if (key == "noeof") c.noEof = true;
    else if (key == "checksum") c.badChecksumLine = std::stoi(arg);
    else if (key == "skip") c.skipRecord = std::stoi(arg);
    else if (key == "count") c.announcedCount = std::stoi(arg);
    else if (key == "damage") c.damagedLine = std::stoi(arg);
    else if (key == "block") c.blockSize = std::stoi(arg);
    else if (key == "step") c.timeStep = std::stoi(arg);
    else if (key == "sprinkle") c.sprinkle = std::stoi(arg);
    else if (key == "silent") c.silentAfterLines = std::stoi(arg);
    else if (key == "baud") c.baud = std::stoi(arg);
    else if (key == "delay") c.delayMs = std::stoi(arg);
    else if (key == "offset") c.offsetHours = std::stoi(arg);
    else if (key == "offsetbyte") c.offsetByte = std::stoi(arg, nullptr, 16) & 0xFF;
    else if (key == "send" && (arg == "mxp" || arg == "tnc" || arg == "wpt")) {
      c.send = arg == "mxp" ? XcSend::Mxp : arg == "tnc" ? XcSend::Tnc : XcSend::Waypoints;
    } else if (key == "model" && (arg == "xc" || arg == "tn")) {
      c.xcTrainer = arg == "xc";
    } else {
      error = "unknown fault " + value;
      return false;
    }
  } catch (...) {
    error = "bad fault value " + value;
    return false;
  }
  return true;
}

bool LoadXcTrainerData(const std::string& path, XcTrainerDevice& device, std::string& error) {
  std::ifstream file(path);
  if (!file) {
    error = "cannot read " + path;
    return false;
  }
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string line;
  int number = 0;
  while (std::getline(file, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : Trim(line.substr(space + 1));
    const std::string where = path + ":" + std::to_string(number) + ": ";
    XcDeviceConfig& c = device.config();
    try {
      if (key == "igc") {
        const std::string igc = (!value.empty() && value[0] == '/') ? value : folder + value;
        if (!LoadIgcTrack(igc, device.track, error)) {
          error = where + error;
          return false;
        }
      } else if (key == "waypoint") {
        const std::vector<std::string> f = Split(value, ',');
        if (f.size() != 4) {
          error = where + "a waypoint is LAT,LON,ID,ALT";
          return false;
        }
        device.waypoints.push_back({f[2], std::stod(f[0]), std::stod(f[1]), std::stoi(f[3])});
      } else if (key == "model" || key == "send" || key == "offset") {
        if (!ApplyXcTrainerFault(key + "=" + value, c, error)) {
          error = where + error;
          return false;
        }
      } else if (key == "serial") c.serial = std::stoi(value);
      else if (key == "version") c.version = value;
      else if (key == "takeoff") c.takeoff = value;
      else {
        error = where + "unknown key " + key;
        return false;
      }
    } catch (...) {
      error = where + "bad value";
      return false;
    }
  }
  return true;
}

namespace {

std::unique_ptr<Device> MakeXcTrainerDevice(const SimulatorOptions& options, std::string& error) {
  auto device = std::make_unique<XcTrainerDevice>();
  if (!options.dataFile.empty() && !LoadXcTrainerData(options.dataFile, *device, error)) return nullptr;
  for (const std::string& fault : options.faults) {
    if (!ApplyXcTrainerFault(fault, device->config(), error)) return nullptr;
  }
  // Without a track the instrument holds a short walk.
  if (device->track.empty()) device->track = WalkTrack(75, 1000000000);
  device->recordFile = options.recordFile;
  return device;
}

}  // namespace

bool RegisterXcTrainerSimulator() { return RegisterSimulator("xctrainer", MakeXcTrainerDevice); }

}  // namespace tarnvik::sim::xctrainer
