#include "sim/flytec/flytec_ctr_store.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace tarnvik::sim::flytec {
namespace {

std::vector<std::string> Fields(const std::string& text, char separator) {
  std::vector<std::string> out;
  std::string field;
  for (char c : text) {
    if (c == separator) {
      out.push_back(field);
      field.clear();
    } else {
      field.push_back(c);
    }
  }
  out.push_back(field);
  return out;
}

bool Digits(const std::string& text, size_t count) {
  if (text.size() != count) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "DDMM.mmm" (degreeDigits 2, below 90) or "DDDMM.mmm" (3, below 180), minutes below 60.
bool AngleLayout(const std::string& text, size_t degreeDigits) {
  if (text.size() != degreeDigits + 6 || text[degreeDigits + 2] != '.') return false;
  if (!Digits(text.substr(0, degreeDigits + 2), degreeDigits + 2) || !Digits(text.substr(degreeDigits + 3), 3)) return false;
  const int degrees = std::stoi(text.substr(0, degreeDigits));
  const int minutes = std::stoi(text.substr(degreeDigits, 2));
  return degrees < (degreeDigits == 2 ? 90 : 180) && minutes < 60;
}

std::string Angle(double degrees, bool latitude) {
  const long thousandths = std::lround(std::fabs(degrees) * 60000.0);
  char text[32];
  std::snprintf(text, sizeof text, latitude ? "%02ld%02ld.%03ld,%c" : "%03ld%02ld.%03ld,%c", thousandths / 60000,
                thousandths / 1000 % 60, thousandths % 1000,
                latitude ? (degrees < 0 ? 'S' : 'N') : (degrees < 0 ? 'W' : 'E'));
  return text;
}

std::string Fixed17(const std::string& text) {
  std::string out = text.substr(0, 17);
  out.resize(17, ' ');
  return out;
}

}  // namespace

void FlytecCtrStore::Add(const std::string& name, int warning, const std::string& remark,
                         const std::vector<SimCtrSegment>& segments) {
  int count = 2;
  for (const SimCtrSegment& s : segments) count += s.kind == 'A' ? 3 : 1;
  Zone zone;
  zone.name = Fixed17(name);
  int number = 0;
  auto head = [&]() {
    char text[32];
    std::snprintf(text, sizeof text, "PBRCTR,%03d,%03d,", count, number++);
    return std::string(text);
  };
  char warn[8];
  std::snprintf(warn, sizeof warn, "%04d", warning);
  zone.bodies.push_back(head() + zone.name + "," + warn);
  zone.bodies.push_back(head() + Fixed17(remark));
  for (const SimCtrSegment& s : segments) {
    const std::string centre = Angle(s.latitude, true) + "," + Angle(s.longitude, false);
    if (s.kind == 'P') {
      zone.bodies.push_back(head() + "P," + centre);
    } else if (s.kind == 'C') {
      char radius[16];
      std::snprintf(radius, sizeof radius, ",%05d", s.radius);
      zone.bodies.push_back(head() + "C," + centre + radius);
    } else {
      const std::string dir(1, s.direction);
      zone.bodies.push_back(head() + "X," + centre);
      zone.bodies.push_back(head() + "T," + Angle(s.startLatitude, true) + "," + Angle(s.startLongitude, false) + "," + dir);
      zone.bodies.push_back(head() + "Z," + Angle(s.endLatitude, true) + "," + Angle(s.endLongitude, false) + "," + dir);
    }
  }
  zone.elements = 3 + count - 2;
  zones.push_back(zone);
}

int FlytecCtrStore::UsedElements() const {
  int used = 0;
  for (const Zone& z : zones) used += z.elements;
  return used;
}

bool FlytecCtrStore::HandleLine(const std::string& line, const FlytecCtrFaults& faults,
                                std::vector<std::string>& answer, int64_t& delayMs) {
  answer.clear();
  delayMs = 0;
  const size_t dollar = line.find('$');
  const size_t star = line.rfind('*');
  if (dollar == std::string::npos || star == std::string::npos || star < dollar) return false;
  const std::string body = line.substr(dollar + 1, star - dollar - 1);
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  unsigned given = 0;
  const bool checksumOk = std::sscanf(line.c_str() + star + 1, "%2X", &given) == 1 && given == sum &&
                          line.size() == star + 3;

  if (body == "PBRCTR,") {
    if (!checksumOk) return false;
    for (const Zone& z : zones) answer.insert(answer.end(), z.bodies.begin(), z.bodies.end());
    if (!faults.noListEnd) answer.push_back("PBRANS,1");
    return true;
  }
  if (body.rfind("PBRCTRW,", 0) != 0) return false;
  received.push_back(body);
  if (!checksumOk) badChecksum_ = true;

  const std::vector<std::string> f = Fields(body, ',');
  if (f.size() < 4 || !Digits(f[1], 3) || !Digits(f[2], 3)) {
    implausible_ = true;
    return true;  // a sentence the unit cannot place: only the framing pair
  }
  const int count = std::stoi(f[1]);
  const int number = std::stoi(f[2]);
  if (number == 0) {
    pending_.clear();
    expected_ = count;
    implausible_ = count < 3;
    badChecksum_ = !checksumOk;
  }
  if (number != static_cast<int>(pending_.size()) || count != expected_) implausible_ = true;
  bool ok = true;
  if (number == 0) {
    ok = f.size() == 5 && f[3].size() == 17 && Digits(f[4], 4);
  } else if (number == 1) {
    ok = f.size() == 4 && f[3].size() == 17;
  } else {
    const std::string& type = f[3];
    const std::string previous = pending_.empty() ? "" : Fields(pending_.back(), ',')[3];
    ok = f.size() >= 8 && AngleLayout(f[4], 2) && (f[5] == "N" || f[5] == "S") && AngleLayout(f[6], 3) &&
         (f[7] == "E" || f[7] == "W");
    if (type == "P" || type == "X") {
      ok = ok && f.size() == 8;
    } else if (type == "C") {
      ok = ok && f.size() == 9 && Digits(f[8], 5) && number == 2 && count == 3;
    } else if (type == "T" || type == "Z") {
      ok = ok && f.size() == 9 && (f[8] == "+" || f[8] == "-");
    } else {
      ok = false;
    }
    // Arcs are X, T, Z in a row; nothing else follows an X or a T.
    if ((previous == "X") != (type == "T") || (previous == "T") != (type == "Z")) ok = false;
    if (type == "X" && number >= count - 2) ok = false;
  }
  if (!ok) implausible_ = true;
  pending_.push_back("PBRCTR" + body.substr(7));
  if (number == count - 1) Answer(faults, answer, delayMs);
  return true;
}

void FlytecCtrStore::Answer(const FlytecCtrFaults& faults, std::vector<std::string>& answer, int64_t& delayMs) {
  int status = 1;
  if (badChecksum_) {
    status = 5;
  } else if (implausible_ || static_cast<int>(pending_.size()) != expected_) {
    status = 2;
  } else {
    const std::string name = Fields(pending_.front(), ',')[3];
    int used = UsedElements();
    size_t held = zones.size();
    for (const Zone& z : zones) {
      if (z.name == name) {
        used -= z.elements;
        --held;
      }
    }
    const int elements = 3 + expected_ - 2;
    if (static_cast<int>(held) >= kMaxZones || used + elements > faults.memoryElements) status = 3;
  }
  if (faults.forcedStatus != 0) status = faults.forcedStatus;
  if (status == 1) {
    Zone zone;
    zone.name = Fields(pending_.front(), ',')[3];
    zone.bodies = pending_;
    zone.elements = 3 + expected_ - 2;
    for (auto it = zones.begin(); it != zones.end(); ++it) {
      if (it->name == zone.name) {
        zones.erase(it);
        break;
      }
    }
    zones.push_back(zone);
  }
  statuses.push_back(status);
  pending_.clear();
  expected_ = 0;
  implausible_ = false;
  badChecksum_ = false;
  if (faults.noAck) {
    delayMs = -1;
    return;
  }
  answer.push_back("PBRANS," + std::to_string(status));
  delayMs = faults.lateAckMs;
}

bool ParseCtrDataLine(const std::string& value, FlytecCtrStore& store, std::string& error) {
  const std::vector<std::string> parts = Fields(value, '|');
  if (parts.size() < 4) {
    error = "a ctr line is NAME|WARNING|REMARK|SEGMENT...";
    return false;
  }
  std::vector<SimCtrSegment> segments;
  for (size_t i = 3; i < parts.size(); ++i) {
    std::istringstream in(parts[i]);
    SimCtrSegment s;
    in >> s.kind >> s.latitude >> s.longitude;
    if (s.kind == 'C') in >> s.radius;
    if (s.kind == 'A') {
      in >> s.startLatitude >> s.startLongitude >> s.endLatitude >> s.endLongitude >> s.direction;
    }
    if (!in || (s.kind != 'P' && s.kind != 'C' && s.kind != 'A')) {
      error = "bad ctr segment " + parts[i];
      return false;
    }
    segments.push_back(s);
  }
  store.Add(parts[0], std::stoi(parts[1]), parts[2], segments);
  return true;
}

}  // namespace tarnvik::sim::flytec
