#include "formats/kml_reader.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <numbers>

#include "core/records.h"
#include "formats/kml_signature.h"
#include "formats/xml_scanner.h"

namespace tarnvik::formats {
namespace {

using core::Icon;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads one or more digits as an unsigned field; false when none, or the value exceeds limit.
bool ReadField(const char*& p, int64_t limit, int64_t& value) {
  if (!IsDigit(*p)) return false;
  value = 0;
  while (IsDigit(*p)) {
    value = value * 10 + (*p - '0');
    if (value > limit) return false;
    ++p;
  }
  return true;
}

bool ReadTwoDigits(const char*& p, int64_t& value) {
  if (!IsDigit(p[0]) || !IsDigit(p[1])) return false;
  value = (p[0] - '0') * 10 + (p[1] - '0');
  p += 2;
  return true;
}

// One number of a coordinate triple: optional sign, digits, optionally "." and digits.
bool ReadCoordinateNumber(const char*& p, double& value) {
  const char* start = p;
  if (*p == '+' || *p == '-') ++p;
  if (!IsDigit(*p)) return false;
  while (IsDigit(*p)) ++p;
  const char* end = p;
  if (*p == '.') {
    ++p;
    while (IsDigit(*p)) ++p;
    end = p;
  }
  if (*start == '+') ++start;
  auto [last, error] = std::from_chars(start, end, value);
  // "12." stops before the point; that is still the number 12.
  return error == std::errc() && (last == end || (last + 1 == end && *last == '.'));
}

// The walk through the document that finds the track placemarks of the trip folders.
struct TrackSlot {
  const char* fsInfoAttributes = nullptr;
  const char* seconds = nullptr;
  const char* coordinates = nullptr;
  bool used = false;
};

enum class WalkState {
  Outside = 0,
  InFolder = 1,
  InPlacemark = 2,
  InTrackMetadata = 3,
  InFsInfo = 4,
  InSeconds = 5,
  InLineString = 10,
  InCoordinates = 11,
};

char emptyText[1] = {'\0'};

// An element's attribute text, normalised; a tag without attributes reads as empty attributes.
char* NormalisedAttributes(char* attributes) {
  if (attributes == nullptr) return emptyText;
  NormaliseXmlText(attributes);
  return attributes;
}

void Fail(core::Ui& ui, const std::string& text) { ui.ShowMessage(kKmlReadCaption, text, Icon::Error); }

// Finds up to 50 tracks. Returns the count found, or -1 after a message.
int FindTracks(core::Ui& ui, char* text, std::array<TrackSlot, kKmlMaxTracks>& slots) {
  XmlWalk walk(text, XmlVariant::Kml);
  XmlTag tag;
  WalkState state = WalkState::Outside;
  int folderDepth = 0;
  int placemarkDepth = 0;
  bool placemarkHasTrack = false;
  TrackSlot pending;  // the texts found in the current placemark
  int count = 0;

  for (;;) {
    int result = NextXmlTag(walk, tag);
    if (result == 0) return count;
    if (result < 0) {
      Fail(ui, walk.message);
      return -1;
    }
    if (tag.kind == XmlTagKind::Other) continue;
    const char* name = tag.name;

    if (tag.kind == XmlTagKind::Start || tag.kind == XmlTagKind::Empty) {
      // The element's own depth (an empty element is never counted as open).
      const int depth = tag.kind == XmlTagKind::Empty ? tag.depth + 1 : tag.depth;
      if (state == WalkState::Outside && std::strcmp(name, "Folder") == 0) {
        if (count == kKmlMaxTracks) {
          Fail(ui, core::FormatCounts("Number of tracks limited to %", kKmlMaxTracks));
          return count;
        }
        state = WalkState::InFolder;
        folderDepth = depth;
      } else if (state == WalkState::InFolder && std::strcmp(name, "Placemark") == 0) {
        state = WalkState::InPlacemark;
        placemarkDepth = depth;
        placemarkHasTrack = false;
        pending = TrackSlot{};
      } else if (state == WalkState::InPlacemark && depth == placemarkDepth + 1 &&
                 std::strcmp(name, "Metadata") == 0) {
        const char* attributes = NormalisedAttributes(tag.attributes);
        char type[31];
        if (GetXmlAttrText(attributes, "type", type, 30) == 0 && std::strcmp(type, "track") == 0) {
          if (placemarkHasTrack) {
            Fail(ui, "Multiple tracks in one <Placemark> element");
            return -1;
          }
          placemarkHasTrack = true;
          state = WalkState::InTrackMetadata;
        }
      } else if (state == WalkState::InTrackMetadata && depth == placemarkDepth + 2 &&
                 std::strcmp(name, "FsInfo") == 0) {
        pending.fsInfoAttributes = NormalisedAttributes(tag.attributes);
        state = WalkState::InFsInfo;
      } else if (state == WalkState::InFsInfo && depth == placemarkDepth + 3 &&
                 std::strcmp(name, "SecondsFromTimeOfFirstPoint") == 0) {
        state = WalkState::InSeconds;
      } else if (state == WalkState::InPlacemark && depth == placemarkDepth + 1 &&
                 std::strcmp(name, "LineString") == 0) {
        state = WalkState::InLineString;
      } else if (state == WalkState::InLineString && depth == placemarkDepth + 2 &&
                 std::strcmp(name, "coordinates") == 0) {
        state = WalkState::InCoordinates;
      }
      if (tag.kind == XmlTagKind::Start) continue;
    }

    // An end tag, or the end of an empty element (which has no content).
    const int depth = tag.depth + 1;
    const char* content = tag.kind == XmlTagKind::End ? tag.text : nullptr;
    if (state == WalkState::InSeconds && std::strcmp(name, "SecondsFromTimeOfFirstPoint") == 0) {
      pending.seconds = content ? content : emptyText;
      state = WalkState::InFsInfo;
    } else if (state == WalkState::InFsInfo && std::strcmp(name, "FsInfo") == 0) {
      state = WalkState::InTrackMetadata;
    } else if (state == WalkState::InTrackMetadata && std::strcmp(name, "Metadata") == 0) {
      state = WalkState::InPlacemark;
    } else if (state == WalkState::InCoordinates && std::strcmp(name, "coordinates") == 0) {
      pending.coordinates = content ? content : emptyText;
      state = WalkState::InLineString;
    } else if (state == WalkState::InLineString && std::strcmp(name, "LineString") == 0) {
      state = WalkState::InPlacemark;
    } else if (state == WalkState::InPlacemark && depth == placemarkDepth &&
               std::strcmp(name, "Placemark") == 0) {
      if (placemarkHasTrack) {
        if (slots[count].used) {
          Fail(ui, "Multiple tracks in one <Folder> element");
          return -1;
        }
        slots[count] = pending;
        slots[count].used = true;
      }
      state = WalkState::InFolder;
    } else if (state == WalkState::InFolder && depth == folderDepth && std::strcmp(name, "Folder") == 0) {
      if (slots[count].used) ++count;
      state = WalkState::Outside;
    }
  }
}

// Rebuilds the fixes of one track and checks its signature.
TrackParseResult RebuildTrack(core::Ui& ui, TrackSlot& track) {
  TrackParseResult out;
  if (track.fsInfoAttributes == nullptr || track.fsInfoAttributes[0] == '\0') {
    Fail(ui, "No track log information found");
    return out;
  }
  // The texts point into the private copy and may be changed in place.
  char* seconds = const_cast<char*>(track.seconds ? track.seconds : emptyText);
  char* coordinates = const_cast<char*>(track.coordinates ? track.coordinates : emptyText);
  if (NormaliseXmlText(seconds) == 0) {
    Fail(ui, "No track log time offsets found");
    return out;
  }
  if (NormaliseXmlText(coordinates) == 0) {
    Fail(ui, "No track log positions found");
    return out;
  }

  Sha1 sha;
  BeginKmlSignature(sha);
  const char* attributes = track.fsInfoAttributes;
  char value[80];
  int64_t baseTime = 0;
  int utcFlag = 0;
  if (GetXmlAttrText(attributes, "time_of_first_point", value, 79) == 0 && value[0] != '\0') {
    baseTime = ParseIsoTime(value, utcFlag);
    if (baseTime < 0) {
      Fail(ui, "Bad time_of_first_point");
      return out;
    }
    sha.Update(value);
  }
  if (GetXmlAttrText(attributes, "instrument", value, 79) == 0 && value[0] != '\0') sha.Update(value);
  if (GetXmlAttrText(attributes, "downloaded", value, 79) == 0 && value[0] != '\0') sha.Update(value);
  sha.Update(seconds);

  std::vector<core::TrackPoint>& fixes = out.fixes;
  try {
    fixes.reserve(1000);
    const char* cursor = seconds;
    uint32_t previous = 0;
    for (;;) {
      uint32_t offset = 0;
      int more = NextSecondsValue(cursor, offset);
      if (more < 0 || offset < previous) {
        Fail(ui, "Bad <SecondsFromTimeOfFirstPoint> data");
        fixes.clear();
        return out;
      }
      previous = offset;
      // A time beyond the encoding's 32 bits is refused, never wrapped onto an early date.
      if (baseTime + offset > int64_t{UINT32_MAX}) {
        Fail(ui, "Bad <SecondsFromTimeOfFirstPoint> data");
        fixes.clear();
        return out;
      }
      core::TrackPoint fix;
      fix.flags = fixes.empty() ? 1 : 0;
      fix.time = static_cast<uint32_t>(baseTime + offset);
      fixes.push_back(fix);
      if (more == 0) break;
    }
  } catch (const std::bad_alloc&) {
    ui.ShowMessage(kKmlReadCaption, "Track log memory allocation", Icon::Error);
    fixes = {};
    return out;
  }

  const char* cursor = coordinates;
  for (size_t i = 0; i < fixes.size(); ++i) {
    double latitude = 0, longitude = 0;
    int32_t heightM = 0;
    int more = ParseKmlCoordinate(cursor, latitude, longitude, heightM);
    if (more < 0) {
      Fail(ui, "Bad <coordinates> data");
      fixes = {};
      return out;
    }
    const bool last = i + 1 == fixes.size();
    if ((more == 0) != last) {
      Fail(ui, "Bad number of positions in <coordinates>");
      fixes = {};
      return out;
    }
    char text[96];
    int length = std::snprintf(text, sizeof text, last ? "%.6f,%.6f,%d" : "%.6f,%.6f,%d ", longitude,
                               latitude, heightM);
    sha.Update(text, static_cast<size_t>(length));
    constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
    fixes[i].latitude = core::RadiansToSemicircle(latitude * kRadiansPerDegree);
    fixes[i].longitude = core::RadiansToSemicircle(longitude * kRadiansPerDegree);
    fixes[i].height = heightM * 10;
  }

  const std::string digest = KmlSignatureText(sha);
  if (GetXmlAttrText(attributes, "hash", value, 79) == 0 && digest == value) {
    out.signatureFlag = kKmlSignatureValid;
    out.extra = utcFlag;
  }
  out.result = static_cast<int>(fixes.size());
  return out;
}

}  // namespace

int64_t ParseIsoTime(const char* text, int& utcFlag) {
  utcFlag = 0;
  const char* p = text;
  int64_t year, month, day, hour, minute, second;
  auto separator = [&](char c) {
    if (*p != c) return false;
    ++p;
    return true;
  };
  if (!ReadField(p, 9999, year) || !separator('-') || !ReadField(p, 99, month) || !separator('-') ||
      !ReadField(p, 99, day) || !separator('T') || !ReadField(p, 99, hour) || !separator(':') ||
      !ReadField(p, 99, minute) || !separator(':') || !ReadField(p, 99, second)) {
    return -1;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
      year > 2099) {
    return -1;
  }
  int64_t offset = 0;
  int flag = 0;
  if (*p == 'Z') {
    ++p;
    flag = 1;
  } else if (*p == '+' || *p == '-') {
    const int64_t sign = *p == '+' ? 1 : -1;
    ++p;
    int64_t zoneHours = 0, zoneMinutes = 0, zoneSeconds = 0;
    if (!ReadTwoDigits(p, zoneHours)) return -1;
    if (*p == ':') {
      ++p;
      if (!ReadTwoDigits(p, zoneMinutes)) return -1;
      if (*p == ':') {
        ++p;
        if (!ReadTwoDigits(p, zoneSeconds)) return -1;
      }
    }
    offset = sign * (zoneHours * 3600 + zoneMinutes * 60 + zoneSeconds);
    flag = 1;
  }
  if (*p != '\0') return -1;
  utcFlag = flag;
  core::SystemTime calendar;
  calendar.year = static_cast<uint16_t>(year);
  calendar.month = static_cast<uint16_t>(month);
  calendar.day = static_cast<uint16_t>(day);
  calendar.hour = static_cast<uint16_t>(hour);
  calendar.minute = static_cast<uint16_t>(minute);
  calendar.second = static_cast<uint16_t>(second);
  std::optional<int64_t> seconds = core::CalendarToSeconds(calendar);
  if (!seconds) return -1;
  // The encoding starts at 1989-12-31 00:00:00 UTC; an earlier moment has no room in it and
  // means "no time".
  int64_t utc = *seconds - offset;
  return utc < 0 ? 0 : utc;
}

namespace {

// After a value of a blank-separated list: a blank (skipped) means another value follows (1),
// the end of the text ends the list (0), anything else is an error (-1).
int ListSeparator(const char*& p) {
  if (*p == ' ') {
    ++p;
    return 1;
  }
  return *p == '\0' ? 0 : -1;
}

}  // namespace

int NextSecondsValue(const char*& cursor, uint32_t& value) {
  const char* p = cursor;
  int64_t number = 0;
  if (!ReadField(p, 0xFFFFFFFFLL, number)) return -1;
  const int result = ListSeparator(p);
  if (result < 0) return -1;
  value = static_cast<uint32_t>(number);
  cursor = p;
  return result;
}

int ParseKmlCoordinate(const char*& cursor, double& latitudeDeg, double& longitudeDeg,
                       int32_t& heightM) {
  const char* p = cursor;
  double longitude = 0, latitude = 0, height = 0;
  if (!ReadCoordinateNumber(p, longitude) || *p++ != ',') return -1;
  if (!ReadCoordinateNumber(p, latitude) || *p++ != ',') return -2;
  if (!ReadCoordinateNumber(p, height)) return -3;
  // The writer prints a fix on the antimeridian or within half a millionth of a degree of it
  // as -180.000000 or 180.000000, and one at a pole as +-90.000000: those are read as well.
  if (!(std::fabs(longitude) <= 180.0) || !(std::fabs(latitude) <= 90.0)) return -4;
  // Beyond this no height is meaningful, and its decimetres would not fit 32 bits.
  if (!(std::fabs(height) < 2.0e8)) return -5;
  const int result = ListSeparator(p);
  if (result < 0) return -6;
  latitudeDeg = latitude;
  longitudeDeg = longitude;
  heightM = core::RoundHalfAway(height);
  cursor = p;
  return result;
}

int SelectKmlTrack(core::Ui& ui, const std::vector<const char*>& fsInfoAttributes) {
  std::vector<std::string> lines;
  for (const char* attributes : fsInfoAttributes) {
    char value[41];
    if (attributes == nullptr || GetXmlAttrText(attributes, "time_of_first_point", value, 40) != 0) {
      lines.emplace_back("Missing track time");
      continue;
    }
    int utcFlag = 0;
    int64_t time = ParseIsoTime(value, utcFlag);
    if (time < 0) {
      lines.emplace_back("Bad track time");
      continue;
    }
    const core::SystemTime t = core::TimeToCalendar(static_cast<uint32_t>(time));
    char line[64];
    std::snprintf(line, sizeof line, "%d-%02d-%02d   %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    lines.emplace_back(line);
  }
  int chosen = ui.ChooseItem("Track list", "Select one of these tracks", lines);
  if (chosen < 0 || static_cast<size_t>(chosen) >= lines.size()) return -1;
  return chosen;
}

TrackParseResult ReadKmlLog(core::Ui& ui, std::string_view bytes) {
  TrackParseResult none;
  std::vector<char> copy;
  try {
    copy.assign(bytes.begin(), bytes.end());
    copy.push_back('\0');
  } catch (const std::bad_alloc&) {
    ui.ShowMessage(kKmlReadCaption, "Track log memory allocation", Icon::Error);
    return none;
  }
  std::array<TrackSlot, kKmlMaxTracks> slots{};
  int count = FindTracks(ui, copy.data(), slots);
  if (count < 0) return none;
  if (count == 0) {
    Fail(ui, "No track log found");
    return none;
  }
  int chosen = 0;
  if (count > 1) {
    std::vector<const char*> attributes;
    for (int i = 0; i < count; ++i) attributes.push_back(slots[i].fsInfoAttributes);
    chosen = SelectKmlTrack(ui, attributes);
    if (chosen < 0) return none;
  }
  return RebuildTrack(ui, slots[chosen]);
}

}  // namespace tarnvik::formats
