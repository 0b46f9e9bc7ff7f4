#include "sim/garmin/unit_records.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "sim/garmin/unit_wire.h"

namespace tarnvik::sim::garmin {
namespace {

constexpr uint16_t kDefaultSymbol = 18;  // waypoint dot
constexpr uint32_t kNoTime = 0xFFFFFFFF;

size_t FixedWaypointSize(uint16_t type) {
  switch (type) {
    case 100: return 58;
    case 101: return 63;
    case 102: return 64;
    case 103: return 60;
    case 104: return 65;
    case 107: return 65;
    case 150: return 115;
    case 151: return 124;
    case 152: return 124;
    case 154: return 126;
    case 155: return 127;
    default: return 0;
  }
}

// D108-D110: where the fixed part ends and the strings begin.
size_t StringsOffset(uint16_t type) { return type == 108 ? 48 : type == 109 ? 52 : type == 110 ? 62 : 0; }

std::string_view IdText(const core::Waypoint& w) { return {w.id, strnlen(w.id, sizeof w.id)}; }
std::string_view CommentText(const core::Waypoint& w) { return {w.comment, strnlen(w.comment, sizeof w.comment)}; }

void PutPosition(std::vector<uint8_t>& out, size_t at, int32_t latitude, int32_t longitude) {
  PutU32(out, at, static_cast<uint32_t>(latitude));
  PutU32(out, at + 4, static_cast<uint32_t>(longitude));
}

// A character array: the text, then blanks to its width.
void PutChars(std::vector<uint8_t>& out, size_t at, size_t width, std::string_view text) {
  for (size_t i = 0; i < width; ++i) out[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

void AppendString(std::vector<uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

// A character array as read: trailing blanks dropped.
std::string Chars(const std::vector<uint8_t>& in, size_t at, size_t width) {
  std::string text(reinterpret_cast<const char*>(in.data() + at), width);
  const size_t end = text.find_last_not_of(' ');
  text.erase(end == std::string::npos ? 0 : end + 1);
  if (const size_t nul = text.find('\0'); nul != std::string::npos) text.erase(nul);
  return text;
}

// What the fixed-width text fields of these units take: upper-case letters, digits, blank, '-'.
bool UnitText(const std::string& text) {
  for (char c : text) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '-')) return false;
  }
  return true;
}

void CopyText(const std::string& text, char* out, size_t size) {
  const size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

int32_t WholeMetres(float metres) {
  if (!std::isfinite(metres) || std::fabs(metres) > 1.0e6f) return 0;  // 1.0e25: no altitude
  return static_cast<int32_t>(std::lround(metres));
}

}  // namespace

size_t UnitTrackPointSize(uint16_t type) {
  switch (type) {
    case 300: return 13;
    case 301: return 21;
    case 302: return 25;
    case 303: return 17;
    case 304: return 23;
    default: return 0;
  }
}

std::vector<uint8_t> UnitTrackPoint(uint16_t type, const SimTrackRecord& r) {
  const size_t size = UnitTrackPointSize(type);
  std::vector<uint8_t> out(size ? size : 13, 0);
  PutPosition(out, 0, r.point.latitude, r.point.longitude);
  PutU32(out, 8, r.point.time);
  const uint8_t newTrack = r.point.flags ? 1 : 0;
  switch (type) {
    case 301:  // alt, depth, new_trk
      PutFloat(out, 12, r.altitudeM);
      PutFloat(out, 16, kUnitNoValue);
      out[20] = newTrack;
      break;
    case 302:  // alt, depth, temperature, new_trk
      PutFloat(out, 12, r.altitudeM);
      PutFloat(out, 16, kUnitNoValue);
      PutFloat(out, 20, kUnitNoValue);
      out[24] = newTrack;
      break;
    case 303:  // alt, heart rate (0: none)
      PutFloat(out, 12, r.altitudeM);
      out[16] = 0;
      break;
    case 304:  // alt, distance, heart rate, cadence (0xFF: none), sensor
      PutFloat(out, 12, r.altitudeM);
      PutFloat(out, 16, kUnitNoValue);
      out[20] = 0;
      out[21] = 0xFF;
      out[22] = 0;
      break;
    default:  // D300: new_trk
      out[12] = newTrack;
      break;
  }
  return out;
}

std::vector<uint8_t> UnitTrackHeader(uint16_t type, const SimTrackRecord& r, uint16_t index) {
  if (type == 311) {
    std::vector<uint8_t> out(2);
    PutU16(out, 0, index);
    return out;
  }
  // D310 and D312: displayed, the default colour, the name.
  std::vector<uint8_t> out = {1, 0xFF};
  AppendString(out, r.name);
  return out;
}

std::vector<uint8_t> UnitWaypoint(uint16_t type, const core::Waypoint& w) {
  if (const size_t size = FixedWaypointSize(type)) {
    std::vector<uint8_t> out(size, 0);
    if (type == 150) {
      PutChars(out, 0, 6, IdText(w));
      PutChars(out, 6, 2, "");
      out[8] = 4;  // user waypoint
      PutPosition(out, 9, w.latitude, w.longitude);
      PutU16(out, 17, static_cast<uint16_t>(static_cast<int16_t>(w.altitude)));
      PutChars(out, 19, 24, "");
      PutChars(out, 43, 2, "");
      PutChars(out, 45, 30, "");
      PutChars(out, 75, 40, CommentText(w));
      return out;
    }
    PutChars(out, 0, 6, IdText(w));
    PutPosition(out, 6, w.latitude, w.longitude);
    PutChars(out, 18, 40, CommentText(w));
    switch (type) {
      case 101: PutFloat(out, 58, 0); out[62] = 0; break;
      case 102: PutFloat(out, 58, 0); PutU16(out, 62, kDefaultSymbol); break;
      case 103: out[58] = 0; out[59] = 0; break;
      case 104: PutFloat(out, 58, 0); PutU16(out, 62, kDefaultSymbol); out[64] = 1; break;
      case 107: out[58] = 0; out[59] = 0; PutFloat(out, 60, 0); out[64] = 0; break;
      case 151:
      case 152:
      case 154:
      case 155:
        PutFloat(out, 58, 0);
        PutChars(out, 62, 30, "");
        PutChars(out, 92, 24, "");
        PutChars(out, 116, 2, "");
        PutU16(out, 118, static_cast<uint16_t>(static_cast<int16_t>(w.altitude)));
        PutChars(out, 120, 2, "");
        out[123] = type == 151 ? 2 : 4;  // user waypoint
        if (type >= 154) PutU16(out, 124, kDefaultSymbol);
        if (type == 155) out[126] = 1;
        break;
      default:
        break;
    }
    return out;
  }
  const size_t strings = StringsOffset(type);
  if (strings == 0) return {};
  std::vector<uint8_t> out(strings, 0);
  if (type == 108) {
    out[0] = 0;     // user waypoint
    out[1] = 0xFF;  // default colour
    out[2] = 0;
    out[3] = 0x60;
  } else {
    out[0] = 1;     // data packet type
    out[1] = 0;     // user waypoint
    out[2] = 0x1F;  // default colour, symbol with name
    out[3] = type == 109 ? 0x70 : 0x80;
  }
  PutU16(out, 4, kDefaultSymbol);
  for (size_t i = 12; i < 24; ++i) out[i] = 0xFF;  // subclass of a user waypoint
  PutPosition(out, 24, w.latitude, w.longitude);
  PutFloat(out, 32, w.altitude == 0 ? kUnitNoValue : static_cast<float>(w.altitude));
  PutFloat(out, 36, kUnitNoValue);  // depth
  PutFloat(out, 40, 0);             // proximity distance
  PutChars(out, 44, 2, "");         // state
  PutChars(out, 46, 2, "");         // country
  if (type >= 109) PutU32(out, 48, kNoTime);  // ete
  if (type == 110) {
    PutFloat(out, 52, kUnitNoValue);  // temperature
    PutU32(out, 56, kNoTime);         // time
    PutU16(out, 60, 0);               // category
  }
  AppendString(out, IdText(w));
  AppendString(out, CommentText(w));
  for (int i = 0; i < 4; ++i) AppendString(out, "");  // facility, city, address, cross road
  return out;
}

bool ReadUploadedWaypoint(uint16_t type, const std::vector<uint8_t>& data, core::Waypoint& w, std::string& problem) {
  w = core::Waypoint{};
  if (const size_t size = FixedWaypointSize(type)) {
    if (data.size() != size) {
      problem = "D" + std::to_string(type) + " waypoint of " + std::to_string(data.size()) + " bytes, not " +
                std::to_string(size);
      return false;
    }
    const size_t position = type == 150 ? 9 : 6;
    w.latitude = static_cast<int32_t>(GetU32(data, position));
    w.longitude = static_cast<int32_t>(GetU32(data, position + 4));
    if (type == 150) w.altitude = static_cast<int16_t>(GetU16(data, 17));
    if (type >= 151) w.altitude = static_cast<int16_t>(GetU16(data, 118));
    const std::string id = Chars(data, 0, 6);
    const std::string comment = Chars(data, type == 150 ? 75 : 18, 40);
    CopyText(id, w.id, sizeof w.id);
    CopyText(comment, w.comment, sizeof w.comment);
    if (!UnitText(id) || !UnitText(comment)) {
      problem = "D" + std::to_string(type) + " waypoint text the unit does not take: '" + id + "' '" + comment + "'";
      return false;
    }
    return true;
  }
  const size_t strings = StringsOffset(type);
  if (strings == 0) {
    problem = "waypoint type D" + std::to_string(type) + " unknown to the unit";
    return false;
  }
  if (data.size() < strings + 1) {
    problem = "D" + std::to_string(type) + " waypoint of " + std::to_string(data.size()) + " bytes has no ident";
    return false;
  }
  w.latitude = static_cast<int32_t>(GetU32(data, 24));
  w.longitude = static_cast<int32_t>(GetU32(data, 28));
  w.altitude = WholeMetres(GetFloat(data, 32));
  // ident, then comment, each NUL-terminated inside the packet. (A unit also reads facility,
  // city, address and cross road after them; a packet that ends earlier leaves those empty.)
  std::vector<std::string> texts;
  size_t at = strings;
  while (at < data.size() && texts.size() < 6) {
    const auto* start = reinterpret_cast<const char*>(data.data() + at);
    const size_t length = strnlen(start, data.size() - at);
    if (at + length >= data.size()) {
      problem = "D" + std::to_string(type) + " waypoint string without its NUL";
      return false;
    }
    texts.emplace_back(start, length);
    at += length + 1;
  }
  if (texts.size() < 2) {
    problem = "D" + std::to_string(type) + " waypoint without its comment";
    return false;
  }
  CopyText(texts[0], w.id, sizeof w.id);
  CopyText(texts[1], w.comment, sizeof w.comment);
  const bool marked = type == 108 ? data[3] == 0x60 : (data[0] == 1 && data[3] == (type == 109 ? 0x70 : 0x80));
  if (!marked) {
    problem = "D" + std::to_string(type) + " waypoint without its type and attribute bytes";
    return false;
  }
  return true;
}

bool ReadUploadedTrackPoint(uint16_t type, const std::vector<uint8_t>& data, core::Waypoint& position,
                            std::string& problem) {
  position = core::Waypoint{};
  if (data.size() >= 8) {
    position.latitude = static_cast<int32_t>(GetU32(data, 0));
    position.longitude = static_cast<int32_t>(GetU32(data, 4));
  }
  const size_t size = UnitTrackPointSize(type);
  if (data.size() != size) {
    problem = std::string("D").append(std::to_string(type)) + " track point of " + std::to_string(data.size()) +
              " bytes, not " + std::to_string(size);
    return false;
  }
  return true;
}

bool ReadUploadedTrackHeader(uint16_t type, const std::vector<uint8_t>& data, std::string& name, std::string& problem) {
  name.clear();
  if (type == 311) {
    if (data.size() != 2) {
      problem = "D311 track header of " + std::to_string(data.size()) + " bytes, not 2";
      return false;
    }
    name = std::to_string(GetU16(data, 0));
    return true;
  }
  const char* label = type == 312 ? "D312" : "D310";
  if (data.size() < 3) {
    problem = std::string(label) + " track header of " + std::to_string(data.size()) + " bytes";
    return false;
  }
  const auto* start = reinterpret_cast<const char*>(data.data() + 2);
  const size_t length = strnlen(start, data.size() - 2);
  name.assign(start, length);
  if (2 + length + 1 != data.size()) {
    problem = std::string(label) + " track header whose name does not end the packet with its NUL";
    return false;
  }
  return true;
}

}  // namespace tarnvik::sim::garmin
