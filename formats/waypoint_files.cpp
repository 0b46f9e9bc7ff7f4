#include "formats/waypoint_files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "core/file_io.h"
#include "core/text_buffer.h"
#include "formats/gpx.h"
#include "formats/mapsource.h"
#include "geo/coordinate_text.h"
#include "geo/geodesy.h"

namespace tarnvik::formats {
namespace {

using core::Icon;

std::string Text(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }
std::string IdOf(const core::Waypoint& w) { return Text(w.id, sizeof w.id); }
std::string CommentOf(const core::Waypoint& w) { return Text(w.comment, sizeof w.comment); }

std::string Replaced(std::string text, char from, char to) {
  for (char& c : text) {
    if (c == from) c = to;
  }
  return text;
}

double Degrees(int32_t semicircles) { return core::SemicircleToRadians(semicircles) * core::kDegreesPerRadian; }

std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  quoted += text;
  quoted += '"';
  return quoted;
}

int Fail(core::Ui& ui, std::vector<core::Waypoint>& waypoints, size_t lineNumber) {
  char text[48];
  std::snprintf(text, sizeof text, "Bad line %d", static_cast<int>(lineNumber));
  ui.ShowMessage(kWaypointDecodeCaption, text, Icon::Error);
  waypoints.clear();
  return -1;
}

bool IsBlankLine(std::string_view line) {
  for (char c : line) {
    if (c != ' ' && c != '\t') return false;
  }
  return true;
}

// Appends a waypoint; false when memory ran out (reported).
bool Push(core::Ui& ui, std::vector<core::Waypoint>& list, const core::Waypoint& w) {
  try {
    if (list.empty()) list.reserve(50);
    list.push_back(w);
    return true;
  } catch (const std::bad_alloc&) {
    ui.ShowMessage("Waypoint memory allocation", core::LastSystemErrorText(), Icon::Information);
    return false;
  }
}

// The common end of a line's reading: the ID through the question. Taken: continue with the
// waypoint; Skip: leave it out; otherwise stop (Bad reported as a bad line by the caller).
enum class LineStep { Keep, Skip, Stop, Bad };
LineStep TakeId(core::Ui& ui, std::string_view name, WaypointIdQuestion& question, core::Waypoint& w) {
  switch (ResolveWaypointId(ui, name, question, w.id)) {
    case IdOutcome::Taken: return LineStep::Keep;
    case IdOutcome::Skip: return LineStep::Skip;
    case IdOutcome::Cancel: return LineStep::Stop;
    case IdOutcome::Bad: return LineStep::Bad;
  }
  return LineStep::Bad;
}

}  // namespace

// ---- writers --------------------------------------------------------------------------------

std::string FormatOziWaypoints(std::span<const core::Waypoint> waypoints) {
  core::TextBuffer out;
  out.AppendLine("OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n");
  int number = 1;
  for (const core::Waypoint& w : waypoints) {
    const int feet = core::RoundHalfAway(w.altitude * 3.28084);
    out.AppendFormat("%4d,%-14s,%11.6f,%11.6f,36674.82502, 0, 1, 3, 0, 65535,%-40s, 0, 0, 0, %d\r\n", number++,
                     Replaced(IdOf(w), ',', ' ').c_str(), Degrees(w.latitude), Degrees(w.longitude),
                     Replaced(CommentOf(w), ',', ' ').c_str(), feet);
  }
  return out.Text();
}

std::string FormatGeoWaypoints(std::span<const core::Waypoint> waypoints) {
  core::TextBuffer out;
  out.AppendLine("$FormatGEO\r\n");
  for (const core::Waypoint& w : waypoints) {
    const core::SemicirclePair arc = core::SemicircleToCentiArcsec(core::SemicirclePair{w.latitude, w.longitude});
    const char ns = arc.latitude < 0 ? 'S' : 'N';
    const char ew = arc.longitude < 0 ? 'W' : 'E';
    const int64_t lat = std::llabs(arc.latitude);
    const int64_t lon = std::llabs(arc.longitude);
    out.AppendFormat("%-10s%c %02d %02d %02d.%02d    %c %03d %02d %02d.%02d %5d  %s\r\n",
                     Replaced(IdOf(w), ' ', '-').c_str(), ns, static_cast<int>(lat / 360000),
                     static_cast<int>(lat / 6000 % 60), static_cast<int>(lat / 100 % 60), static_cast<int>(lat % 100),
                     ew, static_cast<int>(lon / 360000), static_cast<int>(lon / 6000 % 60),
                     static_cast<int>(lon / 100 % 60), static_cast<int>(lon % 100), w.altitude, CommentOf(w).c_str());
  }
  return out.Text();
}

std::string FormatUtmWaypoints(std::span<const core::Waypoint> waypoints) {
  core::TextBuffer out;
  out.AppendLine("$FormatUTM\r\n");
  for (const core::Waypoint& w : waypoints) {
    geo::GeoPoint point{core::SemicircleToRadians(w.latitude), core::SemicircleToRadians(w.longitude)};
    geo::UtmPoint utm;
    geo::UtmFromGeo(point, utm);
    const std::string id = Replaced(IdOf(w), ' ', '-');
    const int pad = id.size() < 9 ? static_cast<int>(9 - id.size()) : 0;
    out.AppendFormat("%s%*s%02d%c   %07d   %07d  %5d  %s\r\n", id.c_str(), pad, "", utm.zone, utm.band,
                     static_cast<int>(utm.easting), static_cast<int>(utm.northing), w.altitude, CommentOf(w).c_str());
  }
  return out.Text();
}

std::string FormatCupWaypoints(std::span<const core::Waypoint> waypoints) {
  core::TextBuffer out;
  out.AppendLine("Title,Code,Country,Latitude,Longitude,Elevation,Style,Direction,Length,Frequency,Description\r\n");
  for (const core::Waypoint& w : waypoints) {
    const core::SemicirclePair mm = core::SemicircleToMilliMinute(core::SemicirclePair{w.latitude, w.longitude});
    const int64_t lat = std::llabs(mm.latitude);
    const int64_t lon = std::llabs(mm.longitude);
    const std::string id = Replaced(IdOf(w), '"', '\'');
    // The code is plain text; one that holds the separator is quoted so it stays one field.
    const std::string code = id.find(',') == std::string::npos ? id : Quoted(id);
    const std::string comment = Replaced(CommentOf(w), '"', '\'');
    out.AppendFormat("\"%s\",%s,,%02d%02d.%03d%c,%03d%02d.%03d%c,%d.0m,1,,,,%s\r\n", id.c_str(), code.c_str(),
                     static_cast<int>(lat / 60000), static_cast<int>(lat / 1000 % 60), static_cast<int>(lat % 1000),
                     mm.latitude < 0 ? 'S' : 'N', static_cast<int>(lon / 60000), static_cast<int>(lon / 1000 % 60),
                     static_cast<int>(lon % 1000), mm.longitude < 0 ? 'W' : 'E', w.altitude,
                     comment.empty() ? "" : Quoted(comment).c_str());
  }
  return out.Text();
}

// ---- readers --------------------------------------------------------------------------------

int ReadOziWaypoints(core::Ui& ui, std::string_view text, std::vector<core::Waypoint>& waypoints,
                     WaypointIdQuestion question) {
  waypoints.clear();
  std::vector<std::string_view> lines = SplitLines(text);
  std::vector<core::Waypoint> read;
  for (size_t i = 4; i < lines.size(); ++i) {
    const size_t lineNumber = i + 1;
    if (IsBlankLine(lines[i])) continue;
    std::vector<std::string_view> f = SplitCommaFields(lines[i]);
    if (f.size() < 4) return Fail(ui, waypoints, lineNumber);
    std::optional<double> latitude = ParseNumber(f[2]);
    std::optional<double> longitude = ParseNumber(f[3]);
    if (!latitude || !(*latitude > -90.0 && *latitude < 90.0) || !longitude ||
        !(*longitude > -180.0 && *longitude < 180.0)) {
      return Fail(ui, waypoints, lineNumber);
    }
    core::Waypoint w;
    w.latitude = core::LatitudeFromDegrees(*latitude).value_or(0);
    w.longitude = core::LongitudeFromDegrees(*longitude).value_or(0);
    if (f.size() > 14 && !IsBlankLine(f[14])) {
      std::optional<double> feet = ParseNumber(f[14]);
      if (!feet) return Fail(ui, waypoints, lineNumber);
      // -777 is the format's "no altitude".
      w.altitude = *feet == -777.0 ? 0 : core::WaypointAltitudeFromMetres(*feet * 0.3048);
    }
    if (f.size() > 10) core::NormaliseComment(f[10], w.comment);
    switch (TakeId(ui, f[1], question, w)) {
      case LineStep::Keep: break;
      case LineStep::Skip: continue;
      case LineStep::Stop: return -1;
      case LineStep::Bad: return Fail(ui, waypoints, lineNumber);
    }
    if (!Push(ui, read, w)) return -1;
  }
  waypoints = std::move(read);
  return static_cast<int>(waypoints.size());
}

namespace {

// The next blank-separated token of a line at p; p moves past it.
std::string_view NextToken(std::string_view line, size_t& p) {
  while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
  size_t start = p;
  while (p < line.size() && line[p] != ' ' && line[p] != '\t') ++p;
  return line.substr(start, p - start);
}

std::string_view RestOfLine(std::string_view line, size_t p) {
  while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
  return line.substr(p);
}

}  // namespace

int ReadGeoWaypoints(core::Ui& ui, std::string_view text, std::vector<core::Waypoint>& waypoints,
                     WaypointIdQuestion question) {
  waypoints.clear();
  std::vector<std::string_view> lines = SplitLines(text);
  std::vector<core::Waypoint> read;
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t lineNumber = i + 1;
    if (IsBlankLine(lines[i])) continue;
    const std::string line(lines[i]);
    size_t p = 0;
    const std::string_view id = NextToken(line, p);
    double latitude = 0, longitude = 0;
    const char* afterLat = core::ParseHemispherePosition(line.c_str() + p, true, latitude);
    if (!afterLat || *afterLat != ' ') return Fail(ui, waypoints, lineNumber);
    const char* afterLon = core::ParseHemispherePosition(afterLat, false, longitude);
    if (!afterLon || *afterLon != ' ') return Fail(ui, waypoints, lineNumber);
    p = static_cast<size_t>(afterLon - line.c_str());
    std::optional<double> metres = ParseNumber(NextToken(line, p));
    auto lat = core::LatitudeFromDegrees(latitude);
    auto lon = core::LongitudeFromDegrees(longitude);
    if (!metres || !lat || !lon) return Fail(ui, waypoints, lineNumber);
    core::Waypoint w;
    w.latitude = *lat;
    w.longitude = *lon;
    // A negative altitude gives 0; others are rounded half up.
    w.altitude = *metres < 0 ? 0 : core::WaypointAltitudeFromMetres(*metres);
    core::NormaliseComment(RestOfLine(line, p), w.comment);
    switch (TakeId(ui, id, question, w)) {
      case LineStep::Keep: break;
      case LineStep::Skip: continue;
      case LineStep::Stop: return -1;
      case LineStep::Bad: return Fail(ui, waypoints, lineNumber);
    }
    if (!Push(ui, read, w)) return -1;
  }
  waypoints = std::move(read);
  return static_cast<int>(waypoints.size());
}

int ReadUtmWaypoints(core::Ui& ui, std::string_view text, std::vector<core::Waypoint>& waypoints,
                     WaypointIdQuestion question) {
  waypoints.clear();
  std::vector<std::string_view> lines = SplitLines(text);
  std::vector<core::Waypoint> read;
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t lineNumber = i + 1;
    if (IsBlankLine(lines[i])) continue;
    const std::string line(lines[i]);
    size_t p = 0;
    const std::string_view id = NextToken(line, p);
    const std::string zoneText(NextToken(line, p));
    const std::string eastingText(NextToken(line, p));
    const std::string northingText(NextToken(line, p));
    const std::string_view altitudeText = NextToken(line, p);
    geo::UtmPoint utm;
    int32_t zone = 0;
    double easting = 0, northing = 0;
    if (geo::ParseUtmZone(zoneText.c_str(), zone, utm.band) != 0 || geo::ParseDecimal(eastingText.c_str(), easting) != 0 ||
        geo::ParseDecimal(northingText.c_str(), northing) != 0 || altitudeText.empty()) {
      return Fail(ui, waypoints, lineNumber);
    }
    int64_t metres = 0;
    size_t k = 0;
    const bool negative = altitudeText[0] == '-';
    if (negative || altitudeText[0] == '+') k = 1;
    if (k == altitudeText.size()) return Fail(ui, waypoints, lineNumber);
    for (; k < altitudeText.size(); ++k) {
      const char c = altitudeText[k];
      if (c < '0' || c > '9' || metres > 1000000) return Fail(ui, waypoints, lineNumber);
      metres = metres * 10 + (c - '0');
    }
    utm.zone = zone;
    utm.easting = easting;
    utm.northing = northing;
    geo::GeoPoint point;
    geo::GeoFromUtm(utm, point);
    auto lat = core::LatitudeFromRadians(point.latitude);
    auto lon = core::LongitudeFromRadians(point.longitude);
    if (!lat || !lon) return Fail(ui, waypoints, lineNumber);
    core::Waypoint w;
    w.latitude = *lat;
    w.longitude = *lon;
    w.altitude = core::WaypointAltitudeFromMetres(static_cast<double>(negative ? -metres : metres));
    core::NormaliseComment(RestOfLine(line, p), w.comment);
    switch (TakeId(ui, id, question, w)) {
      case LineStep::Keep: break;
      case LineStep::Skip: continue;
      case LineStep::Stop: return -1;
      case LineStep::Bad: return Fail(ui, waypoints, lineNumber);
    }
    if (!Push(ui, read, w)) return -1;
  }
  waypoints = std::move(read);
  return static_cast<int>(waypoints.size());
}

int ReadCupWaypoints(core::Ui& ui, std::string_view text, std::vector<core::Waypoint>& waypoints,
                     WaypointIdQuestion question) {
  waypoints.clear();
  std::vector<std::string_view> lines = SplitLines(text);
  std::vector<core::Waypoint> read;
  if (lines.empty()) return 0;
  // The description column: the header names it ("Description" or, in newer files that add
  // columns before it, "desc").
  size_t descColumn = 10;
  std::vector<std::string> fields;
  if (SplitQuotedFields(lines[0], ',', fields)) {
    for (size_t k = 0; k < fields.size(); ++k) {
      std::string name = fields[k];
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (name == "desc" || name == "description") descColumn = k;
    }
  }
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t lineNumber = i + 1;
    std::string_view line = lines[i];
    if (IsBlankLine(line)) continue;
    if (line.starts_with("-----Related Tasks-----")) break;
    size_t first = line.find_first_not_of(" \t");
    if (line[first] != '"') return Fail(ui, waypoints, lineNumber);
    if (!SplitQuotedFields(line, ',', fields) || fields.size() < 6) return Fail(ui, waypoints, lineNumber);
    double latitude = 0, longitude = 0;
    if (geo::ParseNmeaAngle(fields[3].c_str(), true, latitude) != 0 ||
        geo::ParseNmeaAngle(fields[4].c_str(), false, longitude) != 0) {
      return Fail(ui, waypoints, lineNumber);
    }
    auto lat = core::LatitudeFromRadians(latitude);
    auto lon = core::LongitudeFromRadians(longitude);
    if (!lat || !lon) return Fail(ui, waypoints, lineNumber);
    core::Waypoint w;
    w.latitude = *lat;
    w.longitude = *lon;
    const std::string& elevation = fields[5];
    if (!elevation.empty() && elevation.back() == 'm') {
      std::optional<double> metres = ParseNumber(std::string_view(elevation).substr(0, elevation.size() - 1));
      if (!metres) return Fail(ui, waypoints, lineNumber);
      w.altitude = core::WaypointAltitudeFromMetres(*metres);
    }
    if (descColumn < fields.size()) core::NormaliseComment(fields[descColumn], w.comment);
    const std::string& name = fields[1].empty() ? fields[0] : fields[1];
    switch (TakeId(ui, name, question, w)) {
      case LineStep::Keep: break;
      case LineStep::Skip: continue;
      case LineStep::Stop: return -1;
      case LineStep::Bad: return Fail(ui, waypoints, lineNumber);
    }
    if (!Push(ui, read, w)) return -1;
  }
  waypoints = std::move(read);
  return static_cast<int>(waypoints.size());
}

int DetectWaypointFormat(core::Ui& ui, std::string_view bytes, std::vector<core::Waypoint>& waypoints,
                         WaypointIdQuestion question) {
  waypoints.clear();
  int count = -2;
  if (bytes.starts_with("OziExplorer Waypoint File")) {
    count = ReadOziWaypoints(ui, bytes, waypoints, question);
  } else if (bytes.starts_with("$FormatGEO")) {
    count = ReadGeoWaypoints(ui, bytes, waypoints, question);
  } else if (bytes.starts_with("$FormatUTM")) {
    count = ReadUtmWaypoints(ui, bytes, waypoints, question);
  } else if (bytes.starts_with("Title,Code,Country,Latitude,Longitude") ||
             bytes.starts_with("name,code,country,lat,lon,elev,style,")) {
    count = ReadCupWaypoints(ui, bytes, waypoints, question);
  } else if (bytes.starts_with("MsRcd")) {
    count = ReadMapSourceWaypoints(ui, bytes, waypoints, question);
  } else if (bytes.starts_with("<?xml") || bytes.starts_with("\xEF\xBB\xBF<?xml")) {
    count = ReadGpxWaypoints(ui, bytes, waypoints, question);
  }
  if (count < 0 && count != -2) return count;  // the reader has said why, or the user cancelled
  if (count <= 0) {
    ui.ShowMessage(kWaypointDecodeCaption, "No waypoints found", Icon::Error);
    waypoints.clear();
    return 0;
  }
  return count;
}

}  // namespace tarnvik::formats
