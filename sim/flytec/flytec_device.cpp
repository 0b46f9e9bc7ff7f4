#include "sim/flytec/flytec_device.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace tarnvik::sim::flytec {
namespace {

constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;

std::string Trim(const std::string& text) {
  const size_t a = text.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  const size_t b = text.find_last_not_of(" \t\r\n");
  return text.substr(a, b - a + 1);
}

bool AllDigits(const std::string& text, size_t from, size_t count) {
  if (text.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

int Number(const std::string& text, size_t from, size_t count) { return std::stoi(text.substr(from, count)); }

// The lines of a text without their line ends.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// "DDMM.mmm" or "DDDMM.mmm" of an angle's magnitude in thousandths of a minute.
std::string AngleField(double degrees, int degreeDigits) {
  const long milli = std::lround(std::fabs(degrees) * 60000.0);
  char text[24];
  std::snprintf(text, sizeof text, "%0*ld%02ld.%03ld", degreeDigits, milli / 60000, milli % 60000 / 1000,
                milli % 1000);
  return text;
}

// The position of an ID as the instrument keeps it: the digits of the ID as degrees, minutes
// and seconds of longitude and latitude.
FlytecSimWaypoint IdWaypoint(const char* name, int id) {
  FlytecSimWaypoint w;
  w.id = name;
  w.name = name;
  const int latSeconds = id % 10, latMinutes = id / 10 % 10, latDegrees = id / 100 % 10;
  const int lonSeconds = id / 1000 % 10, lonMinutes = id / 10000 % 10, lonDegrees = id / 100000;
  w.latitude = latDegrees + latMinutes / 60.0 + latSeconds / 3600.0;
  w.longitude = lonDegrees + lonMinutes / 60.0 + lonSeconds / 3600.0;
  return w;
}

// Reads "DDMM.mmm,H" or "DDDMM.mmm,H" of an uploaded sentence into degrees.
double ParseAngle(const std::string& field, const std::string& hemisphere, int degreeDigits) {
  if (field.size() < static_cast<size_t>(degreeDigits) + 2) return 0;
  const double degrees = std::stod(field.substr(0, static_cast<size_t>(degreeDigits)));
  const double minutes = std::stod(field.substr(static_cast<size_t>(degreeDigits)));
  const double value = degrees + minutes / 60.0;
  return (hemisphere == "S" || hemisphere == "W") ? -value : value;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : text) {
    if (c == separator) {
      fields.push_back(field);
      field.clear();
    } else {
      field.push_back(c);
    }
  }
  fields.push_back(field);
  return fields;
}

}  // namespace

FlytecDevice::FlytecDevice(FlytecDeviceConfig config) : config_(std::move(config)) {}

void FlytecDevice::Tick(int64_t nowMs, std::vector<uint8_t>& out) {
  if (ackDelayMs_ > 0) {
    ackDueMs_ = nowMs + ackDelayMs_;
    ackDelayMs_ = 0;
  }
  if (ackDueMs_ >= 0 && nowMs >= ackDueMs_) {
    ackDueMs_ = -1;
    Send(ackReply_, out);
  }
}

void FlytecDevice::HostClosed() {
  ackDelayMs_ = 0;
  ackDueMs_ = -1;
  line_.clear();
  busy_ = false;
}

void FlytecDevice::Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < count; ++i) {
    const char c = static_cast<char>(bytes[i]);
    if (c == kXon || c == kXoff) continue;  // the host's flow control, not data
    if (c == '\n') {
      HandleLine(line_, out);
      line_.clear();
    } else if (c != '\r') {
      if (line_.size() < 200) line_.push_back(c);
    }
  }
}

void FlytecDevice::HandleLine(const std::string& line, std::vector<uint8_t>& out) {
  if (!busy_) {
    // Airspace sentences: the memory answers each zone, bad checksums included.
    std::vector<std::string> answer;
    int64_t delayMs = 0;
    if (ctr.HandleLine(line, config_.ctr, answer, delayMs)) {
      std::string reply;
      for (const std::string& body : answer) Sentence(body, reply);
      if (delayMs == 0) {
        Send(reply, out);
      } else if (delayMs > 0) {
        // Counted from the next moment the unit sees the clock.
        ackDelayMs_ = delayMs;
        ackDueMs_ = -1;
        ackReply_ = reply;
      }
      return;
    }
  }
  // "$" body "*" HH: requests with a wrong checksum are not answered.
  const size_t dollar = line.find('$');
  const size_t star = line.rfind('*');
  if (dollar == std::string::npos || star == std::string::npos || star < dollar || star + 3 > line.size()) return;
  const std::string body = line.substr(dollar + 1, star - dollar - 1);
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  unsigned given = 0;
  if (std::sscanf(line.c_str() + star + 1, "%2x", &given) != 1 || given != sum) return;
  if (busy_) return;  // a busy unit takes nothing more
  requests_.push_back(body);

  std::string reply;
  if (body == "PBRSNP,") {
    std::string pilot = config_.blankPilot ? "" : config_.pilot.substr(0, 16);
    pilot.resize(17, ' ');
    Sentence("PBRSNP," + config_.name + "," + pilot + "," + config_.serial + "," + config_.software, reply);
  } else if (body == "PBRTL,") {
    for (size_t n = 0; n < tracks.size(); ++n) {
      std::string date, start, duration;
      if (!TrackListFields(tracks[n], date, start, duration)) continue;
      char head[40];
      std::snprintf(head, sizeof head, "PBRTL,%02zu,%02zu,", tracks.size(), n);
      Sentence(head + date + "," + start + "," + duration, reply);
    }
  } else if (body == "PBRIGC,") {
    if (config_.selectedTrack >= 0 && static_cast<size_t>(config_.selectedTrack) < tracks.size()) {
      reply = ServedIgc(static_cast<size_t>(config_.selectedTrack));
    }
  } else if (body.rfind("PBRTR,", 0) == 0 && AllDigits(body, 6, 2)) {
    const size_t n = static_cast<size_t>(Number(body, 6, 2));
    if (n < tracks.size()) reply = ServedIgc(n);
  } else if (body == "PBRWPS,") {
    std::vector<FlytecSimWaypoint> all = waypoints;
    if (config_.competitionId >= 0) all.push_back(IdWaypoint("COMPID", config_.competitionId));
    if (config_.civlId >= 0) all.push_back(IdWaypoint("CIVLID", config_.civlId));
    for (const FlytecSimWaypoint& w : all) {
      char alt[16];
      std::snprintf(alt, sizeof alt, w.altitude < 0 ? "-%03d" : "%04d", w.altitude < 0 ? -w.altitude : w.altitude);
      Sentence("PBRWPS," + AngleField(w.latitude, 2) + "," + (w.latitude < 0 ? "S" : "N") + "," +
                   AngleField(w.longitude, 3) + "," + (w.longitude < 0 ? "W" : "E") + "," + w.id + "," + w.name +
                   "," + alt,
               reply);
    }
  } else if (body.rfind("PBRWPR,", 0) == 0) {
    // lat, N/S, lon, E/W, ID (empty), name (17), altitude
    const std::vector<std::string> f = Split(body.substr(7), ',');
    if (f.size() >= 7) {
      FlytecSimWaypoint w;
      try {
        w.latitude = ParseAngle(f[0], f[1], 2);
        w.longitude = ParseAngle(f[2], f[3], 3);
        w.altitude = std::stoi(f[6]);
      } catch (...) {
        return;
      }
      w.id = f[4];
      w.name = f[5];
      uploads_[w.name] = w;
      if (!recordFile.empty()) {
        std::ofstream file(recordFile, std::ios::app);
        file << "$" << body << "\n";
      }
    }
    ++uploadSentences_;
    if (config_.busyAfterUpload > 0 && uploadSentences_ == config_.busyAfterUpload) {
      // Busy from now on: the line stays stopped.
      busy_ = true;
      if (!config_.noFraming) out.push_back(static_cast<uint8_t>(kXoff));
      return;
    }
    // No answer, but the framing pair as after every command.
  } else {
    return;  // not a command of this instrument
  }
  Send(reply, out);
}

void FlytecDevice::Sentence(const std::string& body, std::string& reply) {
  ++sentSentences_;
  if (config_.silentFromSentence > 0 && sentSentences_ >= config_.silentFromSentence) return;
  unsigned char sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  if (config_.badChecksumAtSentence == sentSentences_) sum ^= 0x5A;
  const char* digits = config_.lowerCaseDigits ? "0123456789abcdef" : "0123456789ABCDEF";
  reply += "$" + body + "*";
  reply.push_back(digits[sum >> 4]);
  if (config_.sprinkle > 0) {
    reply.push_back(kXoff);
    reply.push_back(kXon);
  }
  reply.push_back(digits[sum & 15]);
  reply += "\r\n";
}

void FlytecDevice::Send(const std::string& reply, std::vector<uint8_t>& out, bool frame) {
  const bool silent = config_.silentFromSentence > 0 && sentSentences_ >= config_.silentFromSentence;
  frame = frame && !config_.noFraming;
  if (frame) out.push_back(static_cast<uint8_t>(kXoff));
  int sinceFlow = 0;
  for (char c : reply) {
    out.push_back(static_cast<uint8_t>(c));
    if (config_.sprinkle > 0 && ++sinceFlow == config_.sprinkle) {
      out.push_back(static_cast<uint8_t>(kXoff));
      out.push_back(static_cast<uint8_t>(kXon));
      sinceFlow = 0;
    }
  }
  // A unit that fell silent never says it is done.
  if (frame && !silent) out.push_back(static_cast<uint8_t>(kXon));
}

std::string FlytecDevice::ServedIgc(size_t track) const {
  std::string text;
  for (const std::string& line : Lines(tracks[track])) {
    if (config_.noG && !line.empty() && line[0] == 'G') continue;
    if (config_.noDate && line.rfind("HFDTE", 0) == 0) continue;
    text += line + "\r\n";
    if (config_.repeatB && !line.empty() && line[0] == 'B') text += line + "\r\n";
  }
  if (config_.cutIgcAt > 0 && text.size() > static_cast<size_t>(config_.cutIgcAt)) {
    text.resize(static_cast<size_t>(config_.cutIgcAt));
  }
  return text;
}

bool FlytecDevice::TrackListFields(const std::string& igc, std::string& date, std::string& start,
                                   std::string& duration) {
  int first = -1, last = -1;
  date.clear();
  for (const std::string& line : Lines(igc)) {
    if (line.rfind("HFDTE", 0) == 0) {
      const size_t at = line.compare(5, 5, "DATE:") == 0 ? 10 : 5;
      if (AllDigits(line, at, 6)) date = line.substr(at, 2) + "." + line.substr(at + 2, 2) + "." + line.substr(at + 4, 2);
    } else if (line.size() >= 7 && line[0] == 'B' && AllDigits(line, 1, 6)) {
      const int t = Number(line, 1, 2) * 3600 + Number(line, 3, 2) * 60 + Number(line, 5, 2);
      if (first < 0) first = t;
      last = t;
    }
  }
  if (first < 0) return false;
  int span = last - first;
  if (span < 0) span += 86400;  // the flight went past midnight
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", first / 3600, first / 60 % 60, first % 60);
  start = text;
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", span / 3600, span / 60 % 60, span % 60);
  duration = text;
  if (date.empty()) date = "00.00.00";
  return true;
}

bool ApplyFlytecFault(const std::string& value, FlytecDeviceConfig& config, std::string& error) {
  const size_t eq = value.find('=');
  const std::string name = value.substr(0, eq);
  const std::string argument = eq == std::string::npos ? "" : value.substr(eq + 1);
  auto number = [&](int& out) {
    try {
      out = std::stoi(argument);
      return true;
    } catch (...) {
      error = "bad number in --fault " + value;
      return false;
    }
  };
  if (name == "noframe") config.noFraming = true;
  else if (name == "sprinkle") return number(config.sprinkle);
  else if (name == "checksum") return number(config.badChecksumAtSentence);
  else if (name == "silent") return number(config.silentFromSentence);
  else if (name == "lower") config.lowerCaseDigits = true;
  else if (name == "cut") return number(config.cutIgcAt);
  else if (name == "nog") config.noG = true;
  else if (name == "nodate") config.noDate = true;
  else if (name == "repeatb") config.repeatB = true;
  else if (name == "blankpilot") config.blankPilot = true;
  else if (name == "name" && !argument.empty()) config.name = argument;
  else if (name == "version" && !argument.empty()) config.software = argument;
  else if (name == "busy") return number(config.busyAfterUpload);
  else if (name == "ctrstatus") return number(config.ctr.forcedStatus);
  else if (name == "ctrnoend") config.ctr.noListEnd = true;
  else if (name == "ctrnoack") config.ctr.noAck = true;
  else if (name == "ctrlateack") return number(config.ctr.lateAckMs);
  else if (name == "ctrmemory") return number(config.ctr.memoryElements);
  else {
    error = "unknown --fault " + value;
    return false;
  }
  return true;
}

bool LoadFlytecData(const std::string& path, FlytecDevice& device, std::string& error) {
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
    try {
      FlytecDeviceConfig& c = device.config();
      if (key == "name") c.name = value;
      else if (key == "pilot") c.pilot = value;
      else if (key == "serial") c.serial = value;
      else if (key == "software") c.software = value;
      else if (key == "selected") c.selectedTrack = std::stoi(value);
      else if (key == "compid") c.competitionId = std::stoi(value);
      else if (key == "civlid") c.civlId = std::stoi(value);
      else if (key == "track") {
        const std::string igcPath = (!value.empty() && value[0] == '/') ? value : folder + value;
        std::ifstream igc(igcPath, std::ios::binary);
        if (!igc) {
          error = where + "cannot read " + igcPath;
          return false;
        }
        std::stringstream text;
        text << igc.rdbuf();
        device.tracks.push_back(text.str());
      } else if (key == "ctr") {
        if (!ParseCtrDataLine(value, device.ctr, error)) {
          error = where + error;
          return false;
        }
      } else if (key == "waypoint") {
        const std::vector<std::string> f = Split(value, ',');
        if (f.size() != 5) {
          error = where + "a waypoint is LAT,LON,ID,NAME,ALT";
          return false;
        }
        FlytecSimWaypoint w;
        w.latitude = std::stod(f[0]);
        w.longitude = std::stod(f[1]);
        w.id = f[2];
        w.name = f[3];
        w.altitude = std::stoi(f[4]);
        device.waypoints.push_back(w);
      } else {
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

std::unique_ptr<Device> MakeFlytecDevice(const SimulatorOptions& options, std::string& error) {
  auto device = std::make_unique<FlytecDevice>();
  if (!options.dataFile.empty() && !LoadFlytecData(options.dataFile, *device, error)) return nullptr;
  for (const std::string& fault : options.faults) {
    if (!ApplyFlytecFault(fault, device->config(), error)) return nullptr;
  }
  device->recordFile = options.recordFile;
  return device;
}

}  // namespace

bool RegisterFlytecSimulator() { return RegisterSimulator("flytec", MakeFlytecDevice); }

}  // namespace tarnvik::sim::flytec
