#include "airspace/openair.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "geo/geodesy.h"

namespace tarnvik::airspace {

namespace {

constexpr double kMetresPerNauticalMile = 1852.0;
constexpr double kMaxRadiusNauticalMiles = 10000.0;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A cursor over one line's argument.
struct Cursor {
  const char* p;
  const char* end;
  bool AtEnd() const { return p >= end; }
  char Peek() const { return p < end ? *p : '\0'; }
  void SkipBlanks() {
    while (p < end && IsBlank(*p)) ++p;
  }
};

// Decimal digits after a separator: at least one; returns their value as a fraction.
bool ReadFraction(Cursor& c, double& fraction) {
  if (!IsDigit(c.Peek())) return false;
  double scale = 0.1;
  fraction = 0;
  while (IsDigit(c.Peek())) {
    fraction += (*c.p - '0') * scale;
    scale /= 10.0;
    ++c.p;
  }
  return true;
}

bool IsDecimalSeparator(char c) { return c == '.' || c == ','; }

// Whole digits below `limit` (checked at every digit).
bool ReadBounded(Cursor& c, int limit, int& value) {
  if (!IsDigit(c.Peek())) return false;
  value = 0;
  while (IsDigit(c.Peek())) {
    value = value * 10 + (*c.p - '0');
    if (value >= limit) return false;
    ++c.p;
  }
  return true;
}

// One coordinate: DD.dd, DD:MM, DD:MM.mm, DD:MM:SS or DD:MM:SS.s, then the hemisphere letter
// (either case) after optional blanks. Seconds written as 60 carry into the minute.
bool ReadCoordinate(Cursor& c, bool latitude, double& value) {
  c.SkipBlanks();
  int degrees = 0;
  if (!ReadBounded(c, latitude ? 90 : 180, degrees)) return false;
  double result = degrees;
  if (IsDecimalSeparator(c.Peek())) {
    ++c.p;
    double fraction = 0;
    if (!ReadFraction(c, fraction)) return false;
    result += fraction;
  } else if (c.Peek() == ':') {
    ++c.p;
    int minutes = 0;
    if (!ReadBounded(c, 60, minutes)) return false;
    double minuteValue = minutes;
    if (IsDecimalSeparator(c.Peek())) {
      ++c.p;
      double fraction = 0;
      if (!ReadFraction(c, fraction)) return false;
      minuteValue += fraction;
    } else if (c.Peek() == ':') {
      ++c.p;
      int seconds = 0;
      if (!ReadBounded(c, 61, seconds)) return false;
      double secondValue = seconds;
      if (IsDecimalSeparator(c.Peek())) {
        ++c.p;
        double fraction = 0;
        if (!ReadFraction(c, fraction)) return false;
        secondValue += fraction;
      }
      if (secondValue > 60.0) return false;
      minuteValue += secondValue / 60.0;
    }
    result += minuteValue / 60.0;
  } else {
    return false;
  }
  c.SkipBlanks();
  const char letter = static_cast<char>(c.Peek() & ~0x20);
  const char positive = latitude ? 'N' : 'E';
  const char negative = latitude ? 'S' : 'W';
  if (c.AtEnd() || (letter != positive && letter != negative)) return false;
  ++c.p;
  if (result >= (latitude ? 90.0 : 180.0)) return false;  // 89:59:60 carries to 90
  value = letter == negative ? -result : result;
  return true;
}

// Latitude and longitude; the longitude may follow the latitude's letter without a blank.
bool ReadPosition(Cursor& c, double& latitude, double& longitude) {
  return ReadCoordinate(c, true, latitude) && ReadCoordinate(c, false, longitude);
}

bool AtBlankOrEnd(const Cursor& c) { return c.AtEnd() || IsBlank(c.Peek()); }

std::string Normalise(std::string_view text);

// A zone's text field: space-normalised, cut to the record's 50 bytes, no blank left at the
// cut.
std::string FieldText(std::string_view argument) {
  std::string text = CutUtf8(Normalise(argument), core::kCtrTextLength);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string Normalise(std::string_view text) {
  std::string out;
  bool pendingBlank = false;
  for (char ch : text) {
    if (IsBlank(ch)) {
      pendingBlank = !out.empty();
      continue;
    }
    if (pendingBlank) out.push_back(' ');
    pendingBlank = false;
    out.push_back(ch);
  }
  return out;
}

// Records that describe a zone without changing its outline, read past like AC.
bool IsIgnoredRecord(std::string_view type) {
  static constexpr std::string_view kIgnored[] = {"AC", "AT", "SB", "SP", "AY", "AF", "AG",
                                                  "AA", "AX", "AI", "AR", "AW", "AP", "TW"};
  for (std::string_view ignored : kIgnored) {
    if (type == ignored) return true;
  }
  return false;
}

enum class State { Closed, Open, CentrePending, CentreUsed };

class Reader {
 public:
  Reader(core::Ui& ui, const CtrWarningNotifier& notify) : ui_(ui), notify_(notify) {}

  int Run(std::string_view text, core::CtrList& out) {
    if (const size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int lfBefore = 0;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t stop = text.find_first_of("\r\n", pos);
      if (stop == std::string_view::npos) stop = text.size();
      line_ = lfBefore + 1;
      if (Line(text.substr(pos, stop - pos)) < 0) return -1;
      pos = stop;
      if (pos < text.size()) {
        if (text[pos] == '\n') ++lfBefore;
        ++pos;
      }
    }
    if (state_ == State::CentrePending) return Error(17);
    if ((state_ == State::Open || state_ == State::CentreUsed) && zones_.back().segments.empty()) {
      return Error(16);
    }
    const int count = static_cast<int>(zones_.size());
    out.splice(out.end(), zones_);
    return count;
  }

 private:
  int Line(std::string_view line) {
    size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    line.remove_prefix(start);
    if (line.empty() || line[0] == '*' || line[0] == ';') return 0;
    const size_t space = line.find(' ');
    const std::string_view type = line.substr(0, space);
    const std::string_view argument =
        space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
    if (state_ == State::Closed) return type == "AN" ? OpenZone(argument) : 0;
    return Record(type, argument);
  }

  int Record(std::string_view type, std::string_view argument) {
    core::CtrRecord& zone = zones_.back();
    if (type == "AN") {
      if (zone.segments.empty()) return Error(16);
      return OpenZone(argument);
    }
    if (type == "TO" || type == "TC") {
      if (zone.segments.empty()) return Error(16);
      state_ = State::Closed;
      return 0;
    }
    if (type == "AC" && !zone.segments.empty()) {
      // A class record after the outline starts the next zone, even one without a name: its
      // records must not be added to this one.
      if (state_ == State::CentrePending) return Error(17);
      state_ = State::Closed;
      return 0;
    }
    if (IsIgnoredRecord(type)) return 0;
    if (type == "AH" || type == "AL") {
      SetCtrText(type == "AH" ? zone.ceiling : zone.floor, FieldText(argument));
      return 0;
    }
    Cursor c{argument.data(), argument.data() + argument.size()};
    if (type == "V") return Variable(c);
    if (type == "DP") {
      core::CtrSegment segment;
      segment.kind = 'P';
      if (!ReadPosition(c, segment.latitude, segment.longitude) || !AtBlankOrEnd(c)) return Error(14);
      if (state_ == State::CentrePending) return Error(11);
      zone.segments.push_back(segment);
      direction_ = '+';
      state_ = State::Open;
      return 0;
    }
    if (type == "DB") {
      core::CtrSegment segment;
      segment.kind = 'A';
      if (!ReadPosition(c, segment.startLatitude, segment.startLongitude)) return Error(7);
      c.SkipBlanks();
      if (c.Peek() != ',') return Error(7);
      ++c.p;
      if (!ReadPosition(c, segment.endLatitude, segment.endLongitude) || !AtBlankOrEnd(c)) return Error(7);
      if (state_ == State::Open) return Error(8);
      segment.latitude = centreLatitude_;
      segment.longitude = centreLongitude_;
      segment.direction = direction_;
      zone.segments.push_back(segment);
      state_ = state_ == State::CentrePending ? State::CentreUsed : State::CentrePending;
      return 0;
    }
    if (type == "DC") {
      int32_t metres = 0;
      if (!ReadRadius(c, metres)) return Error(13);
      if (state_ != State::CentrePending) return Error(10);
      core::CtrSegment segment;
      segment.kind = 'C';
      segment.latitude = centreLatitude_;
      segment.longitude = centreLongitude_;
      segment.radius = metres;
      zone.segments.push_back(segment);
      state_ = State::Open;
      direction_ = '+';
      return 0;
    }
    if (type == "DA") return DropZone(core::CtrParseWarning::DaRecord, "DA record (not implemented)");
    if (type == "DY") return DropZone(core::CtrParseWarning::DyRecord, "DY record (not implemented)");
    return Error(15);
  }

  int OpenZone(std::string_view argument) {
    const std::string name = FieldText(argument);
    if (name.empty()) return Error(9);
    core::CtrRecord& zone = zones_.emplace_back();
    SetCtrText(zone.name, name);
    zone.nameLength = static_cast<int32_t>(std::strlen(zone.name));
    zone.sourceLine = line_;
    direction_ = '+';
    state_ = State::Open;
    return 0;
  }

  int Variable(Cursor& c) {
    c.SkipBlanks();
    const char variable = c.Peek();
    if (variable != 'D' && variable != 'X' && variable != 'W' && variable != 'Z') return Error(2);
    ++c.p;
    c.SkipBlanks();
    if (c.Peek() != '=') return Error(2);
    ++c.p;
    c.SkipBlanks();
    if (c.AtEnd()) return Error(2);
    if (variable == 'D') {
      const char sign = c.Peek();
      ++c.p;
      if ((sign != '+' && sign != '-') || !AtBlankOrEnd(c)) return Error(3);
      direction_ = sign;
    } else if (variable == 'X') {
      double latitude = 0;
      double longitude = 0;
      if (!ReadPosition(c, latitude, longitude) || !AtBlankOrEnd(c)) return Error(4);
      if (state_ == State::CentrePending) return Error(5);
      centreLatitude_ = latitude;
      centreLongitude_ = longitude;
      state_ = State::CentrePending;
    }
    return 0;
  }

  static bool ReadRadius(Cursor& c, int32_t& metres) {
    c.SkipBlanks();
    if (!IsDigit(c.Peek())) return false;
    double value = 0;
    while (IsDigit(c.Peek())) {
      value = value * 10 + (*c.p - '0');
      if (value > kMaxRadiusNauticalMiles) return false;
      ++c.p;
    }
    if (IsDecimalSeparator(c.Peek())) {
      ++c.p;
      double fraction = 0;
      if (IsDigit(c.Peek()) && !ReadFraction(c, fraction)) return false;
      value += fraction;
    }
    if (!AtBlankOrEnd(c) || !(value > 0) || value > kMaxRadiusNauticalMiles) return false;
    metres = RadiusMetresFromNauticalMiles(value);
    return true;
  }

  int DropZone(core::CtrParseWarning warning, const char* what) {
    const int sourceLine = zones_.back().sourceLine;
    zones_.pop_back();
    state_ = State::Closed;
    (void)warning;
    if (!suppressed_ && notify_) {
      char text[96];
      std::snprintf(text, sizeof text, "CTR at line %d:  %s", sourceLine, what);
      suppressed_ = notify_(text);
    }
    return 0;
  }

  int Error(int code) {
    char text[96];
    switch (code) {
      case 2: std::snprintf(text, sizeof text, "Bad variable assignment format on line %d", line_); break;
      case 3: std::snprintf(text, sizeof text, "Bad direction format on line %d", line_); break;
      case 4: std::snprintf(text, sizeof text, "Bad position format on line %d", line_); break;
      case 5: std::snprintf(text, sizeof text, "Multiple V record types"); break;
      case 7: std::snprintf(text, sizeof text, "Bad arc position format on line %d", line_); break;
      case 8: std::snprintf(text, sizeof text, "Missing centre for DB record (line %d)", line_); break;
      case 9: std::snprintf(text, sizeof text, "Missing airspace name"); break;
      case 10: std::snprintf(text, sizeof text, "Missing centre for DC record (line %d)", line_); break;
      case 11: std::snprintf(text, sizeof text, "Expected a DB or DC record (line %d)", line_); break;
      case 13: std::snprintf(text, sizeof text, "Bad radius format on line %d", line_); break;
      case 14: std::snprintf(text, sizeof text, "Bad position format on line %d", line_); break;
      case 15: std::snprintf(text, sizeof text, "Unknown record type on line %d", line_); break;
      case 16: std::snprintf(text, sizeof text, "No segments in airspace (line %d)", line_); break;
      case 17: std::snprintf(text, sizeof text, "Missing DB or DC segment (line %d)", line_); break;
      default: std::snprintf(text, sizeof text, "Memory allocation error"); break;
    }
    zones_.clear();
    ui_.ShowMessage(kParseCaption, text, core::Icon::Error);
    return -1;
  }

  core::Ui& ui_;
  const CtrWarningNotifier& notify_;
  core::CtrList zones_;
  State state_ = State::Closed;
  char direction_ = '+';
  double centreLatitude_ = 0;
  double centreLongitude_ = 0;
  bool suppressed_ = false;
  int line_ = 1;
};

// "%d:%02d:%02d.%d %c" in tenths of an arc-second, rounded half away from zero.
void AppendCoordinate(std::string& out, double degrees, bool latitude) {
  const double scaled = degrees * 36000.0;
  const int64_t tenths = static_cast<int64_t>(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
  const int64_t magnitude = tenths < 0 ? -tenths : tenths;
  const char letter = latitude ? (tenths < 0 ? 'S' : 'N') : (tenths < 0 ? 'W' : 'E');
  char text[48];
  std::snprintf(text, sizeof text, "%d:%02d:%02d.%d %c", static_cast<int>(magnitude / 36000),
                static_cast<int>(magnitude / 600 % 60), static_cast<int>(magnitude / 10 % 60),
                static_cast<int>(magnitude % 10), letter);
  out += text;
}

void AppendPosition(std::string& out, double latitude, double longitude) {
  AppendCoordinate(out, latitude, true);
  out += "   ";
  AppendCoordinate(out, longitude, false);
}

void AppendSegments(std::string& out, const core::CtrRecord& zone) {
  for (const core::CtrSegment& s : zone.segments) {
    if (s.kind == 'P') {
      out += "DP ";
      AppendPosition(out, s.latitude, s.longitude);
      out += "\r\n";
    } else if (s.kind == 'C') {
      out += "V X = ";
      AppendPosition(out, s.latitude, s.longitude);
      const int64_t thousandths = RadiusThousandthsOfNauticalMile(s.radius);
      char text[48];
      std::snprintf(text, sizeof text, "\r\nDC %lld.%03lld\r\n", static_cast<long long>(thousandths / 1000),
                    static_cast<long long>(thousandths % 1000));
      out += text;
    } else if (s.kind == 'A') {
      out += "V D = ";
      out += s.direction == '-' ? '-' : '+';
      out += "\r\nV X = ";
      AppendPosition(out, s.latitude, s.longitude);
      out += "\r\nDB ";
      AppendPosition(out, s.startLatitude, s.startLongitude);
      out += ",   ";
      AppendPosition(out, s.endLatitude, s.endLongitude);
      out += "\r\n";
    }
  }
}

struct GridCentre {
  geo::UtmPoint utm;
  bool south = false;
};

GridCentre CentreOf(double latitude, double longitude) {
  GridCentre centre;
  const double radian = std::numbers::pi / 180.0;
  geo::UtmFromGeo({latitude * radian, longitude * radian}, centre.utm);
  centre.south = latitude < 0;
  return centre;
}

// A point in the centre's grid zone, its northing on the centre's side of the equator.
geo::UtmPoint InGrid(const GridCentre& centre, double latitude, double longitude) {
  const double radian = std::numbers::pi / 180.0;
  geo::UtmPoint utm;
  utm.zone = centre.utm.zone;
  geo::UtmFromGeo({latitude * radian, longitude * radian}, utm);
  const bool south = latitude < 0;
  if (south && !centre.south) utm.northing -= 10000000.0;
  if (!south && centre.south) utm.northing += 10000000.0;
  return utm;
}

struct Degrees {
  double latitude = 0;
  double longitude = 0;
};

Degrees FromGrid(const GridCentre& centre, double easting, double northing) {
  geo::UtmPoint utm = centre.utm;
  utm.easting = easting;
  utm.northing = northing;
  geo::GeoPoint point;
  geo::GeoFromUtm(utm, point);
  const double degree = 180.0 / std::numbers::pi;
  double longitude = point.longitude * degree;
  if (longitude > 180.0) longitude -= 360.0;
  if (longitude <= -180.0) longitude += 360.0;
  return {point.latitude * degree, longitude};
}

class OutlineBuilder {
 public:
  bool Add(Degrees d) {
    const auto latitude = core::LatitudeFromDegrees(d.latitude);
    const auto longitude = core::LongitudeFromDegrees(d.longitude);
    if (!latitude || !longitude) return false;
    core::Waypoint& w = points_.emplace_back();
    w.latitude = *latitude;
    w.longitude = *longitude;
    std::snprintf(w.id, sizeof w.id, "C%d", static_cast<int>(points_.size() - 1));
    last_ = d;
    return true;
  }
  // Adds the point unless it lies within 0.0005 degrees of the last one in both coordinates.
  bool AddDistinct(Degrees d) {
    if (!points_.empty() && NearLast(d)) return true;
    return Add(d);
  }
  bool NearLast(Degrees d) const {
    return std::fabs(d.latitude - last_.latitude) <= 0.0005 && std::fabs(d.longitude - last_.longitude) <= 0.0005;
  }
  std::vector<core::Waypoint> Take() { return std::move(points_); }
  std::vector<core::Waypoint>& points() { return points_; }

 private:
  std::vector<core::Waypoint> points_;
  Degrees last_;
};

bool AddArc(OutlineBuilder& outline, const core::CtrSegment& s) {
  if (!outline.AddDistinct({s.startLatitude, s.startLongitude})) return false;
  const GridCentre centre = CentreOf(s.latitude, s.longitude);
  const geo::UtmPoint start = InGrid(centre, s.startLatitude, s.startLongitude);
  const geo::UtmPoint end = InGrid(centre, s.endLatitude, s.endLongitude);
  const double e0 = centre.utm.easting;
  const double n0 = centre.utm.northing;
  const double r1 = std::hypot(start.easting - e0, start.northing - n0);
  const double r2 = std::hypot(end.easting - e0, end.northing - n0);
  const double a1 = std::atan2(start.northing - n0, start.easting - e0);
  const double a2 = std::atan2(end.northing - n0, end.easting - e0);
  const double twoPi = 2.0 * std::numbers::pi;
  double sweep = a2 - a1;
  if (s.direction == '-') {
    while (sweep < 0) sweep += twoPi;
    while (sweep >= twoPi) sweep -= twoPi;
  } else {
    while (sweep > 0) sweep -= twoPi;
    while (sweep <= -twoPi) sweep += twoPi;
  }
  int n = 1 + static_cast<int>(std::fabs(sweep) * 16.0 / std::numbers::pi);
  if (n < 3) n = 3;
  for (int i = 1; i < n; ++i) {
    const double angle = a1 + sweep * i / n;
    const double r = r1 + (r2 - r1) * i / n;
    if (!outline.Add(FromGrid(centre, e0 + r * std::cos(angle), n0 + r * std::sin(angle)))) return false;
  }
  return outline.Add({s.endLatitude, s.endLongitude});
}

}  // namespace

const char* const kNewCtrTemplate =
    "*Airspace name\r\nAN Put airspace name here\r\n*Airspace floor (Remark)\r\nAL Put floor remark here\r\n"
    "*Airspace ceiling\r\nAH Put ceiling remark here\r\n*Use records V, DP, DB or DC\r\n"
    "*Pos. formats: DD.dd... or DD:MM.mm... or DD:MM:SS.s\r\n";

int32_t RadiusMetresFromNauticalMiles(double nauticalMiles) {
  return static_cast<int32_t>(std::lround(nauticalMiles * kMetresPerNauticalMile));
}

int64_t RadiusThousandthsOfNauticalMile(int32_t metres) {
  return std::llround(static_cast<double>(metres) * 1000.0 / kMetresPerNauticalMile);
}

std::string CutUtf8(std::string_view text, size_t limit) {
  if (text.size() <= limit) return std::string(text);
  size_t cut = limit;
  // Back up over continuation bytes so that the sequence the cut would split goes whole.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut));
}

void SetCtrText(char (&field)[core::kCtrTextLength + 1], std::string_view text) {
  const std::string cut = CutUtf8(text, core::kCtrTextLength);
  std::memset(field, 0, sizeof field);
  std::memcpy(field, cut.data(), cut.size());
}

int ParseOpenAir(core::Ui& ui, std::string_view text, core::CtrList& zones, const CtrWarningNotifier& notify) {
  Reader reader(ui, notify);
  return reader.Run(text, zones);
}

std::string WriteOpenAir(const core::CtrList& zones) {
  std::string out;
  bool first = true;
  for (const core::CtrRecord& zone : zones) {
    if (!zone.selected) continue;
    if (!first) out += "\r\n";
    first = false;
    out += "AN ";
    out += zone.name;
    out += "\r\nAL ";
    out += zone.floor;
    out += "\r\nAH ";
    out += zone.ceiling;
    out += "\r\n";
    AppendSegments(out, zone);
  }
  return out;
}

std::string WriteOpenAirEditorForm(const core::CtrRecord& zone) {
  std::string out = "*Airspace name\r\nAN ";
  out += zone.name;
  out += "\r\n*Airspace floor (Remark)\r\nAL ";
  out += zone.floor;
  out += "\r\n*Airspace ceiling\r\nAH ";
  out += zone.ceiling;
  out += "\r\n*Use records V, DP, DB or DC\r\n*Pos. formats: DD.dd... or DD:MM.mm... or DD:MM:SS.s\r\n";
  AppendSegments(out, zone);
  return out;
}

std::vector<core::Waypoint> CtrOutlinePoints(const core::CtrRecord& zone) {
  if (zone.segments.empty()) return {};
  OutlineBuilder outline;
  const core::CtrSegment& first = zone.segments.front();
  if (first.kind == 'C') {
    const GridCentre centre = CentreOf(first.latitude, first.longitude);
    const double r = first.radius / std::cos(std::numbers::pi / 32.0);
    for (int k = 0; k <= 32; ++k) {
      const double angle = k * std::numbers::pi / 16.0;
      if (!outline.Add(FromGrid(centre, centre.utm.easting + r * std::cos(angle),
                                centre.utm.northing + r * std::sin(angle)))) {
        return {};
      }
    }
    // The last point is the first one again, exactly.
    core::Waypoint& last = outline.points().back();
    const core::Waypoint& head = outline.points().front();
    last.latitude = head.latitude;
    last.longitude = head.longitude;
    return outline.Take();
  }
  for (const core::CtrSegment& s : zone.segments) {
    if (s.kind == 'P') {
      if (!outline.AddDistinct({s.latitude, s.longitude})) return {};
    } else if (s.kind == 'A') {
      if (!AddArc(outline, s)) return {};
    } else {
      return {};
    }
  }
  const Degrees head = first.kind == 'A' ? Degrees{first.startLatitude, first.startLongitude}
                                         : Degrees{first.latitude, first.longitude};
  if (!outline.NearLast(head) && !outline.Add(head)) return {};
  return outline.Take();
}

}  // namespace tarnvik::airspace
