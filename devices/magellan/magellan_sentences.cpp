#include "devices/magellan/magellan_sentences.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "core/two_digit_year.h"

namespace tarnvik::devices::magellan {
namespace {

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A whole field read as a finite number; nothing else may follow it.
std::optional<double> Number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const char* begin = text.c_str();
  char* end = nullptr;
  const double v = std::strtod(begin, &end);
  if (end == begin || *end != '\0' || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool Has(const std::vector<std::string>& fields, size_t i) { return i < fields.size(); }

// DDMM.mmm (or DDDMM.mmm) into degrees; false when not a number or out of range.
int DegreesMinutes(const std::string& text, double limit, double& degrees) {
  const std::optional<double> v = Number(text);
  if (!v || *v < 0) return 1;
  const double whole = std::floor(*v / 100.0);
  const double minutes = *v - whole * 100.0;
  if (whole >= limit || minutes >= 60.0) return 2;
  degrees = whole + minutes / 60.0;
  return 0;
}

}  // namespace

int SentenceCollector::Feed(uint8_t byte) {
  switch (state_) {
    case State::Idle:
      if (byte == '$') {
        body_.clear();
        sum_ = 0;
        state_ = State::Body;
      }
      return kMore;
    case State::Body:
      if (byte == '*') {
        state_ = State::Hex1;
        return kMore;
      }
      sum_ ^= byte;
      if (body_.size() < kMaxBodyLength) body_.push_back(static_cast<char>(byte));
      return kMore;
    case State::Hex1:
    case State::Hex2: {
      const int v = HexValue(byte);
      if (v < 0) {
        state_ = State::Idle;
        return 2;
      }
      if (state_ == State::Hex1) {
        given_ = v << 4;
        state_ = State::Hex2;
      } else {
        given_ |= v;
        state_ = State::Cr;
      }
      return kMore;
    }
    case State::Cr:
      if (byte != '\r') {
        state_ = State::Idle;
        return 3;
      }
      state_ = State::Lf;
      return kMore;
    case State::Lf:
      state_ = State::Idle;
      if (byte != '\n') return 4;
      if (given_ != sum_) return 3;
      return kSentence;
  }
  return kMore;
}

uint8_t SentenceChecksum(std::string_view body) {
  uint8_t sum = 0;
  for (char c : body) sum ^= static_cast<uint8_t>(c);
  return sum;
}

std::string FrameSentence(std::string_view body) {
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", SentenceChecksum(body));
  return "$" + std::string(body) + tail;
}

std::vector<std::string> SplitFields(std::string_view body) {
  std::vector<std::string> fields;
  std::string field;
  bool leading = true;
  auto finish = [&] {
    std::string decoded;
    for (size_t i = 0; i < field.size(); ++i) {
      const uint8_t c = static_cast<uint8_t>(field[i]);
      if (c == kEscape && i + 2 < field.size()) {
        const int hi = HexValue(static_cast<uint8_t>(field[i + 1]));
        const int lo = HexValue(static_cast<uint8_t>(field[i + 2]));
        if (hi >= 0 && lo >= 0) {
          decoded.push_back(static_cast<char>(hi * 16 + lo));
          i += 2;
          continue;
        }
      }
      decoded.push_back(static_cast<char>(c));
    }
    fields.push_back(std::move(decoded));
    field.clear();
    leading = true;
  };
  for (char c : body) {
    if (c == ',') {
      finish();
      continue;
    }
    if (leading && c == ' ') continue;
    leading = false;
    field.push_back(c);
  }
  finish();
  return fields;
}

std::string ProductData::Description() const {
  return (name + ", SW " + versionText).substr(0, 80);
}

int ParseProduct(const std::vector<std::string>& fields, ProductData& out) {
  if (!Has(fields, 1)) return 1;
  const std::optional<double> model = Number(fields[1]);
  if (!model || *model < 0 || *model > 1e6) return 2;
  if (!Has(fields, 2)) return 3;
  if (!Has(fields, 3)) return 4;
  out.model = static_cast<int>(*model);
  const std::optional<double> version = Number(fields[2]);
  out.version = version && std::fabs(*version) < 1e6 ? core::RoundHalfAway(*version * 100.0) : 0;
  out.versionText = fields[2].substr(0, 40);
  out.name = fields[3].substr(0, 60);
  return 0;
}

int ParsePosition(const std::vector<std::string>& fields, size_t first, int32_t& latitude, int32_t& longitude) {
  double lat = 0, lon = 0;
  if (!Has(fields, first) || fields[first].empty()) return 1;
  if (const int r = DegreesMinutes(fields[first], 90, lat)) return r == 1 ? 2 : 3;
  if (!Has(fields, first + 1) || fields[first + 1].empty()) return 4;
  if (fields[first + 1] == "S") {
    lat = -lat;
  } else if (fields[first + 1] != "N") {
    return 5;
  }
  if (!Has(fields, first + 2) || fields[first + 2].empty()) return 6;
  if (const int r = DegreesMinutes(fields[first + 2], 180, lon)) return r == 1 ? 7 : 8;
  if (!Has(fields, first + 3) || fields[first + 3].empty()) return 9;
  if (fields[first + 3] == "W") {
    lon = -lon;
  } else if (fields[first + 3] != "E") {
    return 10;
  }
  const std::optional<int32_t> la = core::LatitudeFromDegrees(lat);
  const std::optional<int32_t> lo = core::LongitudeFromDegrees(lon);
  if (!la || !lo) return 11;
  latitude = *la;
  longitude = *lo;
  return 0;
}

int ParseTimeOfDay(std::string_view text) {
  if (text.size() < 6) return -1;
  for (size_t i = 0; i < 6; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
  }
  const int h = (text[0] - '0') * 10 + (text[1] - '0');
  const int m = (text[2] - '0') * 10 + (text[3] - '0');
  const int s = (text[4] - '0') * 10 + (text[5] - '0');
  if (h > 23 || m > 59 || s > 59) return -1;
  int seconds = h * 3600 + m * 60 + s;
  if (text.size() > 6) {
    if (text[6] != '.') return -1;
    // Any number of fraction digits; only the first decides the rounding.
    for (size_t i = 7; i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9') return -1;
    }
    if (text.size() > 7 && text[7] >= '5') ++seconds;
  }
  return seconds;
}

int ParseTrackPoint(const std::vector<std::string>& fields, core::TrackPoint& out) {
  int32_t lat = 0, lon = 0;
  if (const int code = ParsePosition(fields, 1, lat, lon)) return code;
  const std::optional<double> altitude = Has(fields, 5) ? Number(fields[5]) : std::nullopt;
  if (!altitude) return 12;
  if (!Has(fields, 6)) return 13;
  int32_t height = 0;
  if (fields[6] == "M") {
    height = core::TrackHeightFromMetres(*altitude);
  } else if (fields[6] == "F") {
    const double dm = *altitude * 3.048;
    height = std::fabs(dm) < 2.1e9 ? core::RoundHalfAway(dm) : 0;
  } else {
    return 14;
  }
  if (!Has(fields, 7)) return 15;
  const int timeOfDay = ParseTimeOfDay(fields[7]);
  if (timeOfDay < 0) return 16;
  if (!Has(fields, 8)) return 17;
  if (fields[8] != "A") return kSkipped;
  if (!Has(fields, 9)) return 18;
  if (!Has(fields, 10)) return 19;
  const std::string& date = fields[10];
  if (date.empty() || date.size() > 9) return 20;
  long value = 0;
  for (char c : date) {
    if (c < '0' || c > '9') return 20;
    value = value * 10 + (c - '0');
  }
  if (value > 999999) return 21;
  core::SystemTime calendar;
  calendar.day = static_cast<uint16_t>(value / 10000);
  calendar.month = static_cast<uint16_t>(value / 100 % 100);
  calendar.year = static_cast<uint16_t>(core::YearFromTwoDigits(static_cast<int>(value % 100)));
  const std::optional<uint32_t> day = core::CalendarToTime(calendar);
  if (!day) return 20;
  out.flags = 0;
  out.time = *day + static_cast<uint32_t>(timeOfDay);
  out.latitude = lat;
  out.longitude = lon;
  out.height = height;
  return 0;
}

int ParseWaypoint(const std::vector<std::string>& fields, core::Waypoint& out) {
  core::Waypoint w;
  if (const int code = ParsePosition(fields, 1, w.latitude, w.longitude)) return code;
  if (!Has(fields, 5)) return 12;
  const std::optional<double> altitude = Number(fields[5]);
  if (!altitude) return 13;
  if (!Has(fields, 6)) return 14;
  if (fields[6] == "M") {
    w.altitude = core::WaypointAltitudeFromMetres(*altitude);
  } else if (fields[6] == "F") {
    w.altitude = core::WaypointAltitudeFromMetres(*altitude * 0.3048);
  } else {
    return 15;
  }
  if (!Has(fields, 7) || core::NormaliseWaypointId(fields[7], w.id, true) != 0) return 16;
  core::NormaliseComment(Has(fields, 8) ? std::string_view(fields[8]) : std::string_view(), w.comment);
  out = w;
  return 0;
}

std::string EscapeField(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ',') {
      out.push_back(static_cast<char>(kEscape));
      out += "2C";
    } else if (c == '*' || c == '$' || c == '\r' || c == '\n') {
      out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string BuildWaypointSentence(const core::Waypoint& waypoint) {
  auto split = [](int32_t semicircles, int& degrees, int& minutes, int& thousandths) {
    int64_t mm = core::SemicircleToMilliMinute(semicircles);
    if (mm < 0) mm = -mm;
    degrees = static_cast<int>(mm / 60000);
    minutes = static_cast<int>(mm % 60000 / 1000);
    thousandths = static_cast<int>(mm % 1000);
  };
  int latD, latM, latT, lonD, lonM, lonT;
  split(waypoint.latitude, latD, latM, latT);
  split(waypoint.longitude, lonD, lonM, lonT);
  char head[96];
  std::snprintf(head, sizeof head, "PMGNWPL,%04d.%03d,%c,%05d.%03d,%c,%04d,M,", latD * 100 + latM, latT,
                waypoint.latitude < 0 ? 'S' : 'N', lonD * 100 + lonM, lonT, waypoint.longitude < 0 ? 'W' : 'E',
                waypoint.altitude < 0 ? 0 : static_cast<int>(waypoint.altitude));
  const std::string body = head + EscapeField(waypoint.id) + "," + EscapeField(waypoint.comment);
  return FrameSentence(body);
}

}  // namespace tarnvik::devices::magellan
