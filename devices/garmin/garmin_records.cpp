#include "devices/garmin/garmin_records.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "devices/common/byte_order.h"

namespace tarnvik::devices::garmin {
namespace {

struct TrackPointLayout {
  uint16_t type;
  size_t minimumSize;
  bool hasAltitude;
  int flagOffset;  // -1: the type carries no new-segment flag
};
constexpr TrackPointLayout kTrackPointLayouts[] = {
    {300, 13, false, 12}, {301, 21, true, 20}, {302, 25, true, 24}, {303, 17, true, -1}, {304, 23, true, -1},
};

const TrackPointLayout* FindTrackLayout(uint16_t type) {
  for (const auto& layout : kTrackPointLayouts) {
    if (layout.type == type) return &layout;
  }
  return nullptr;
}

struct WaypointLayout {
  uint16_t type;
  size_t minimumSize;
};
constexpr WaypointLayout kWaypointLayouts[] = {
    {100, 58}, {101, 63}, {102, 64}, {103, 60}, {104, 65}, {107, 65}, {108, 48},
    {109, 52}, {110, 62}, {150, 115}, {151, 124}, {152, 124}, {154, 126}, {155, 127},
};

// Where a variable-length ID starts in D108-D110; 0 for the fixed-width types.
size_t VariableIdOffset(uint16_t type) {
  switch (type) {
    case 108: return 48;
    case 109: return 52;
    case 110: return 62;
    default: return 0;
  }
}

// The NUL-terminated text at data[from], bounded by the packet's size.
std::string_view PacketText(const uint8_t* data, size_t size, size_t from) {
  if (from >= size) return {};
  const char* start = reinterpret_cast<const char*>(data + from);
  const size_t limit = size - from;
  return {start, strnlen(start, limit)};
}

std::string_view FixedText(const uint8_t* data, size_t offset, size_t width) {
  const char* start = reinterpret_cast<const char*>(data + offset);
  return {start, strnlen(start, width)};
}

void PutPosition(uint8_t* out, size_t offset, const core::Waypoint& w) {
  WriteI32Le(out + offset, w.latitude);
  WriteI32Le(out + offset + 4, w.longitude);
}

// Copies cleaned text into a fixed-width field, blank-filled after the text.
void PutFixed(uint8_t* out, size_t offset, size_t width, std::string_view text, char replacement) {
  char cleaned[41];
  CleanUploadText(text, replacement, cleaned, sizeof cleaned);
  const size_t length = std::min(std::strlen(cleaned), width);
  std::memset(out + offset, ' ', width);
  std::memcpy(out + offset, cleaned, length);
}

// Copies cleaned text NUL-terminated; returns the offset after the NUL.
size_t PutTerminated(uint8_t* out, size_t offset, std::string_view text, char replacement) {
  char cleaned[41];
  CleanUploadText(text, replacement, cleaned, sizeof cleaned);
  const size_t length = std::strlen(cleaned);
  std::memcpy(out + offset, cleaned, length + 1);
  return offset + length + 1;
}

int16_t AltitudeAsInt16(int32_t metres) {
  return static_cast<int16_t>(std::clamp<int32_t>(metres, INT16_MIN, INT16_MAX));
}

std::string_view IdOf(const core::Waypoint& w) { return {w.id, strnlen(w.id, sizeof w.id)}; }
std::string_view CommentOf(const core::Waypoint& w) { return {w.comment, strnlen(w.comment, sizeof w.comment)}; }

constexpr uint16_t kSymbolDefault = 18;

}  // namespace

size_t TrackPointMinimumSize(uint16_t trackPointType) {
  const TrackPointLayout* layout = FindTrackLayout(trackPointType);
  return layout ? layout->minimumSize : 0;
}

int32_t TrackHeightFromGarminAltitude(float altitudeM) {
  if (!std::isfinite(altitudeM) || altitudeM > 20000.0f || altitudeM < -20000.0f) return 0;
  return core::TrackHeightFromMetres(static_cast<double>(altitudeM));
}

int DecodeTrackPoint(uint16_t trackPointType, const uint8_t* data, size_t size, core::TrackPoint& point) {
  const TrackPointLayout* layout = FindTrackLayout(trackPointType);
  if (layout == nullptr || size < layout->minimumSize) return -1;
  point = core::TrackPoint{};
  point.latitude = ReadI32Le(data);
  point.longitude = ReadI32Le(data + 4);
  point.time = ReadU32Le(data + 8);
  point.height = layout->hasAltitude ? TrackHeightFromGarminAltitude(ReadF32Le(data + 12)) : 0;
  point.flags = (layout->flagOffset >= 0 && data[layout->flagOffset] != 0) ? 1 : 0;
  return 0;
}

size_t WaypointMinimumSize(uint16_t waypointType) {
  for (const auto& layout : kWaypointLayouts) {
    if (layout.type == waypointType) return layout.minimumSize;
  }
  return 0;
}

int DecodeWaypoint(uint16_t type, const uint8_t* data, size_t size, core::Waypoint& w) {
  w = core::Waypoint{};
  const size_t minimum = WaypointMinimumSize(type);
  if (minimum == 0 || size < minimum) return kWaypointTooShort;
  if (type == 109 && !(data[0] == 1 && data[3] == 0x70)) return kWaypointBadMarker;
  if (type == 110 && !(data[0] == 1 && data[3] == 0x80)) return kWaypointBadMarker;

  std::string_view id;
  std::string_view comment;
  if (const size_t idOffset = VariableIdOffset(type)) {
    w.latitude = ReadI32Le(data + 24);
    w.longitude = ReadI32Le(data + 28);
    w.altitude = core::WaypointAltitudeFromMetres(ReadF32Le(data + 32));
    id = PacketText(data, size, idOffset);
    // The comment follows the ID's NUL; when the packet ends inside the ID there is none.
    const size_t commentOffset = idOffset + id.size() + 1;
    comment = commentOffset <= size ? PacketText(data, size, commentOffset) : std::string_view{};
  } else if (type == 150) {
    w.latitude = ReadI32Le(data + 9);
    w.longitude = ReadI32Le(data + 13);
    w.altitude = ReadI16Le(data + 17);
    id = FixedText(data, 0, 6);
    comment = FixedText(data, 75, 40);
  } else {
    w.latitude = ReadI32Le(data + 6);
    w.longitude = ReadI32Le(data + 10);
    w.altitude = type >= 151 ? ReadI16Le(data + 118) : 0;
    id = FixedText(data, 0, 6);
    comment = FixedText(data, 18, 40);
  }
  core::CleanInstrumentText(id, w.id, sizeof w.id);
  core::CleanInstrumentText(comment, w.comment, sizeof w.comment);
  return 0;
}

void CleanUploadText(std::string_view text, char replacement, char* out, size_t outSize) {
  if (outSize == 0) return;
  size_t length = 0;
  for (char c : text) {
    if (length + 1 >= outSize || c == '\0') break;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const bool kept = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '-';
    out[length++] = kept ? c : replacement;
  }
  out[length] = '\0';
}

size_t EncodeWaypoint(uint16_t type, const core::Waypoint& w, uint8_t* out) {
  std::memset(out, 0, 255);
  switch (type) {
    case 100:
    case 101:
    case 102:
    case 103:
    case 104:
    case 107: {
      PutFixed(out, 0, 6, IdOf(w), ' ');
      PutPosition(out, 6, w);
      PutFixed(out, 18, 40, CommentOf(w), '-');
      if (type == 102 || type == 104) WriteU16Le(out + 62, kSymbolDefault);
      switch (type) {
        case 100: return 58;
        case 101: return 63;
        case 102: return 64;
        case 103: return 60;
        default: return 65;
      }
    }
    case 108:
    case 109:
    case 110: {
      if (type == 108) {
        out[1] = 0xFF;
        out[3] = 0x60;
      } else {
        out[0] = 1;
        out[2] = 0x1F;
        out[3] = type == 109 ? 0x70 : 0x80;
      }
      WriteU16Le(out + 4, kSymbolDefault);
      PutPosition(out, 24, w);
      WriteF32Le(out + 32, static_cast<float>(w.altitude));
      size_t at = PutTerminated(out, VariableIdOffset(type), IdOf(w), ' ');
      return PutTerminated(out, at, CommentOf(w), ' ');
    }
    case 150:
      PutFixed(out, 0, 6, IdOf(w), ' ');
      PutPosition(out, 9, w);
      WriteI16Le(out + 17, AltitudeAsInt16(w.altitude));
      PutFixed(out, 75, 40, CommentOf(w), '-');
      return 115;
    case 151:
    case 152:
    case 154:
    case 155:
      PutFixed(out, 0, 6, IdOf(w), ' ');
      PutPosition(out, 6, w);
      PutFixed(out, 18, 40, CommentOf(w), '-');
      WriteI16Le(out + 118, AltitudeAsInt16(w.altitude));
      if (type == 154 || type == 155) WriteU16Le(out + 124, kSymbolDefault);
      return type == 154 ? 126 : type == 155 ? 127 : 124;
    default:
      return 0;
  }
}

size_t EncodeUploadTrackPoint(uint16_t trackTransfer, uint16_t trackPointType, const core::Waypoint& record,
                              uint8_t* out) {
  // The declared point type decides: an A302 unit may take D303/D304 points, an A301 unit D302
  // points, and a unit reads a packet by the type it declared.
  size_t size = TrackPointMinimumSize(trackPointType);
  if (size == 0) size = trackTransfer == 300 ? 13 : trackTransfer == 301 ? 21 : trackTransfer == 302 ? 25 : 0;
  std::memset(out, 0, 25);
  PutPosition(out, 0, record);
  return size;
}

size_t EncodeTrackHeader(uint16_t trackHeaderType, std::string_view name, uint8_t* out) {
  if (trackHeaderType == 311) {
    WriteU16Le(out, 0);  // the track's index
    return 2;
  }
  const size_t length = std::min<size_t>(strnlen(name.data(), name.size()), 250);
  out[0] = 0;  // display
  out[1] = 0;  // colour
  std::memcpy(out + 2, name.data(), length);
  out[2 + length] = 0;
  return 2 + length + 1;
}

}  // namespace tarnvik::devices::garmin
