#include "formats/other_tracks.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <optional>
#include <vector>

#include "core/text_buffer.h"
#include "core/two_digit_year.h"
#include "formats/format_text.h"
#include "geo/coordinate_text.h"

namespace tarnvik::formats {
namespace {

using core::Icon;

std::string Numbered(const char* pattern, size_t n) {
  char text[96];
  std::snprintf(text, sizeof text, pattern, static_cast<int>(n));
  return text;
}

double Degrees(int32_t semicircles) { return core::SemicircleToRadians(semicircles) * core::kDegreesPerRadian; }

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Column indexes of a CSV header, or nothing when this separator does not give the columns.
struct CsvColumns {
  int time = -1, latitude = -1, longitude = -1, height = -1;
};
std::optional<CsvColumns> FindCsvColumns(std::string_view header, char separator) {
  std::vector<std::string> fields;
  if (!SplitQuotedFields(Upper(header), separator, fields)) return std::nullopt;
  CsvColumns c;
  for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
    const std::string& f = fields[static_cast<size_t>(i)];
    auto has = [&f](const char* word) { return f.find(word) != std::string::npos; };
    if (c.time < 0 && (has("TIME") || has("DATE"))) c.time = i;
    if (c.latitude < 0 && has("LATITUDE")) c.latitude = i;
    if (c.longitude < 0 && has("LONGITUDE")) c.longitude = i;
    if (c.height < 0 && (has("ALTITUDE") || has("HEIGHT"))) c.height = i;
  }
  if (c.time < 0 || c.latitude < 0 || c.longitude < 0) return std::nullopt;
  if (c.time == c.latitude || c.time == c.longitude || c.latitude == c.longitude) return std::nullopt;
  if (c.height >= 0 && (c.height == c.time || c.height == c.latitude || c.height == c.longitude)) {
    return std::nullopt;
  }
  return c;
}

bool PushFix(std::vector<core::TrackPoint>& fixes, const core::TrackPoint& fix) {
  try {
    if (fixes.empty()) fixes.reserve(1000);
    fixes.push_back(fix);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool IsBlankLine(std::string_view line) {
  for (char c : line) {
    if (c != ' ' && c != '\t') return false;
  }
  return true;
}

std::string_view SkipLeadingBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

// Decimetres from a number of metres x 10, truncated; nothing when it does not fit the field.
std::optional<int32_t> TruncatedDecimetres(double decimetres) {
  decimetres = std::trunc(decimetres);
  if (!std::isfinite(decimetres) || decimetres > 2147483647.0 || decimetres < -2147483648.0) return std::nullopt;
  return static_cast<int32_t>(decimetres);
}

constexpr const char* kMonthNames[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};

}  // namespace

// ---- CSV --------------------------------------------------------------------------------------

std::string FormatCsvTrack(std::span<const core::TrackPoint> fixes) {
  core::TextBuffer out;
  out.AppendLine("Date/time,Latitude,Longitude,Height\r\n");
  for (const core::TrackPoint& f : fixes) {
    out.AppendFormat("%s,%.6f,%.6f,%.1f\r\n", FormatIsoTime(f.time).c_str(), Degrees(f.latitude),
                     Degrees(f.longitude), f.height * 0.1);
  }
  return out.Text();
}

TrackParseResult ReadCsvTrack(core::Ui& ui, std::string_view bytes) {
  auto fail = [&ui](const std::string& text) {
    ui.ShowMessage(kCsvReadCaption, text, Icon::Error);
    return TrackParseResult{};
  };
  std::vector<std::string_view> lines = SplitLines(bytes);
  if (lines.empty()) return fail("Could not determine items from header");
  char separator = ',';
  std::optional<CsvColumns> columns = FindCsvColumns(lines[0], ',');
  if (!columns) {
    separator = ';';
    columns = FindCsvColumns(lines[0], ';');
  }
  if (!columns) return fail("Could not determine items from header");

  TrackParseResult parsed;
  std::vector<std::string> fields;
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t lineNumber = i + 1;
    if (IsBlankLine(lines[i])) continue;
    if (!SplitQuotedFields(lines[i], separator, fields)) return fail(Numbered("Error parsing line %d", lineNumber));
    auto field = [&fields](int index) -> std::string_view {
      return index >= 0 && static_cast<size_t>(index) < fields.size() ? std::string_view(fields[static_cast<size_t>(index)])
                                                                       : std::string_view();
    };
    core::TrackPoint fix;
    std::optional<uint32_t> time = ParseIsoTimeWithFraction(field(columns->time));
    if (!time) return fail(Numbered("Error decoding time on line %d", lineNumber));
    fix.time = *time;
    std::optional<double> latitude = ParseNumber(field(columns->latitude));
    if (!latitude) return fail(Numbered("Error decoding latitude on line %d", lineNumber));
    if (!(*latitude > -90.0 && *latitude < 90.0)) return fail(Numbered("Latitude out of range on line %d", lineNumber));
    std::optional<double> longitude = ParseNumber(field(columns->longitude));
    if (!longitude) return fail(Numbered("Error decoding longitude on line %d", lineNumber));
    if (!(*longitude > -180.0 && *longitude < 180.0)) {
      return fail(Numbered("Longitude out of range on line %d", lineNumber));
    }
    fix.latitude = core::LatitudeFromDegrees(*latitude).value_or(0);
    fix.longitude = core::LongitudeFromDegrees(*longitude).value_or(0);
    if (columns->height >= 0) {
      std::optional<double> metres = ParseNumber(field(columns->height));
      std::optional<int32_t> decimetres = metres ? TruncatedDecimetres(*metres * 10.0) : std::nullopt;
      if (!decimetres) return fail(Numbered("Bad height data on line %d", lineNumber));
      fix.height = *decimetres;
    }
    if (!PushFix(parsed.fixes, fix)) return fail("Memory allocation error");
  }
  parsed.result = static_cast<int>(parsed.fixes.size());
  return parsed;
}

// ---- OziExplorer ------------------------------------------------------------------------------

double OziDays(uint32_t time) { return time / 86400.0 + kOziDayOffset; }

std::string FormatOziTrack(std::span<const core::TrackPoint> fixes, const core::SystemTime& now) {
  core::TextBuffer out;
  out.AppendLine(
      "OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\nReserved 3\r\n");
  out.AppendFormat("0,2,255,%02d.%02d.%02d %02d:%02d:%02d%18s,0,0,2,8421376\r\n", now.day, now.month,
                   now.year % 100, now.hour, now.minute, now.second, "");
  out.AppendFormat("%d\r\n", static_cast<int>(fixes.size()));
  for (const core::TrackPoint& f : fixes) {
    const core::SystemTime t = core::TimeToCalendar(f.time);
    // Rounded half away from zero: truncating after adding 0.5 would move every height below
    // sea level up by a foot.
    const int feet = core::RoundHalfAway(f.height * 0.328084);
    out.AppendFormat("  %.6f,  %.6f,%d,%7d,%.7f, %02d-%s-%02d, %02d:%02d:%02d\r\n", Degrees(f.latitude),
                     Degrees(f.longitude), static_cast<int>(f.flags), feet, OziDays(f.time), t.day,
                     kMonthNames[(t.month + 11) % 12], t.year % 100, t.hour, t.minute, t.second);
  }
  return out.Text();
}

TrackParseResult ReadOziTrack(core::Ui& ui, std::string_view bytes) {
  auto fail = [&ui](const std::string& text) {
    ui.ShowMessage(kTrackDecodeCaption, text, Icon::Error);
    return TrackParseResult{};
  };
  std::vector<std::string_view> lines = SplitLines(bytes);
  if (lines.empty()) return fail("Missing format line (1)");
  if (!SkipLeadingBlanks(lines[0]).starts_with("OziExplorer Track Point File")) return fail("Bad format line (1)");
  if (lines.size() < 2) return fail("Missing map datum line (2)");
  if (SkipLeadingBlanks(lines[1]) != "WGS 84") return fail("Bad map datum line (2)");
  if (lines.size() < 6) return fail("Missing line(s)");

  TrackParseResult parsed;
  for (size_t i = 6; i < lines.size(); ++i) {
    const size_t lineNumber = i + 1;
    std::vector<std::string_view> fields = SplitCommaFields(SkipLeadingBlanks(lines[i]));
    if (fields.size() < 5) return fail(Numbered("Bad line %d", lineNumber));
    std::optional<double> latitude = ParseNumber(fields[0]);
    std::optional<double> longitude = ParseNumber(fields[1]);
    std::optional<double> feet = ParseNumber(fields[3]);
    std::optional<double> days = ParseNumber(fields[4]);
    if (!latitude || !(*latitude > -90.0 && *latitude < 90.0) || !longitude ||
        !(*longitude > -180.0 && *longitude < 180.0) || !feet || *feet < -2000.0 || *feet > 30000.0 || !days ||
        *days < kOziDayOffset) {
      return fail(Numbered("Bad line %d", lineNumber));
    }
    std::optional<uint32_t> time = core::CheckedTime(std::trunc((*days - kOziDayOffset) * 86400.0 + 0.5));
    if (!time) return fail(Numbered("Bad line %d", lineNumber));
    core::TrackPoint fix;
    fix.flags = parsed.fixes.empty() ? 1 : 0;
    fix.time = *time;
    fix.latitude = core::LatitudeFromDegrees(*latitude).value_or(0);
    fix.longitude = core::LongitudeFromDegrees(*longitude).value_or(0);
    // -777 feet is the format's "altitude not valid".
    fix.height = *feet == -777.0 ? 0 : static_cast<int32_t>(std::trunc(*feet * 3.048 + 0.5));
    if (!PushFix(parsed.fixes, fix)) return fail("Memory allocation error");
  }
  parsed.result = static_cast<int>(parsed.fixes.size());
  return parsed;
}

// ---- Magellan ---------------------------------------------------------------------------------

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The fields of "$...*hh" after a correct checksum (the text between '$' and '*', split at
// commas), or nothing.
std::optional<std::vector<std::string>> CheckedSentence(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  if (line.size() < 4 || line[0] != '$') return std::nullopt;
  size_t star = line.find('*');
  if (star == std::string_view::npos || star + 3 != line.size()) return std::nullopt;
  const int high = HexDigit(line[star + 1]);
  const int low = HexDigit(line[star + 2]);
  if (high < 0 || low < 0) return std::nullopt;
  unsigned sum = 0;
  for (size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
  if (sum != static_cast<unsigned>(high * 16 + low)) return std::nullopt;
  std::vector<std::string> fields;
  std::string_view body = line.substr(1, star - 1);
  size_t start = 0;
  for (;;) {
    size_t comma = body.find(',', start);
    fields.emplace_back(body.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// One $PMGNTRK sentence's fields (after the sentence name) as a fix; nothing on any fault. valid
// is false for a sentence with validity other than "A".
std::optional<core::TrackPoint> MagellanFix(const std::vector<std::string>& f, bool& valid) {
  // PMGNTRK, lat, N/S, lon, E/W, alt, unit, time, validity, name, date
  if (f.size() < 11) return std::nullopt;
  double latitude = 0, longitude = 0;
  if (geo::ParseMinutesAngle(f[1].c_str(), latitude) != 0 || latitude * core::kDegreesPerRadian >= 90.0 - 1e-9) return std::nullopt;
  if (f[2] == "S") {
    latitude = -latitude;
  } else if (f[2] != "N") {
    return std::nullopt;
  }
  if (geo::ParseMinutesAngle(f[3].c_str(), longitude) != 0 || longitude * core::kDegreesPerRadian >= 180.0 - 1e-9) return std::nullopt;
  if (f[4] == "W") {
    longitude = -longitude;
  } else if (f[4] != "E") {
    return std::nullopt;
  }
  std::optional<double> altitude = ParseNumber(f[5]);
  if (!altitude) return std::nullopt;
  std::optional<int32_t> height;
  if (f[6] == "M") {
    height = TruncatedDecimetres(*altitude * 10.0);
  } else if (f[6] == "F") {
    height = TruncatedDecimetres(*altitude * 3.048 + 0.5);
  }
  if (!height) return std::nullopt;
  int32_t secondOfDay = 0;
  double fraction = 0;
  if (geo::ParseHhmmss(f[7].c_str(), secondOfDay, fraction) != 0) return std::nullopt;
  if (f[10].size() != 6 || !AllDigits(f[10])) return std::nullopt;
  const int date = std::stoi(f[10]);
  core::SystemTime calendar;
  calendar.day = static_cast<uint16_t>(date / 10000);
  calendar.month = static_cast<uint16_t>((date / 100) % 100);
  calendar.year = static_cast<uint16_t>(core::YearFromTwoDigits(date % 100));
  std::optional<uint32_t> day = core::CalendarToTime(calendar);
  if (!day) return std::nullopt;
  std::optional<uint32_t> time =
      core::CheckedTime(static_cast<double>(*day) + secondOfDay + (fraction >= 0.5 ? 1 : 0));
  auto lat = core::LatitudeFromRadians(latitude);
  auto lon = core::LongitudeFromRadians(longitude);
  if (!time || !lat || !lon) return std::nullopt;
  valid = f[8] == "A";
  core::TrackPoint fix;
  fix.time = *time;
  fix.latitude = *lat;
  fix.longitude = *lon;
  fix.height = *height;
  return fix;
}

}  // namespace

TrackParseResult ReadMagellanTrack(core::Ui& ui, std::string_view bytes) {
  auto fail = [&ui](const std::string& text) {
    ui.ShowMessage(kTrackDecodeCaption, text, Icon::Error);
    return TrackParseResult{};
  };
  std::vector<std::string_view> lines = SplitLines(bytes, true);
  TrackParseResult parsed;
  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t lineNumber = i + 1;
    std::string_view line = lines[i];
    if (IsBlankLine(line)) continue;
    // eXplorist units name their layout in a format line; older units and other programs have none.
    if (line.starts_with("$PMGNFMT,%TRK,")) continue;
    if (line.starts_with("$PMGNCMD,END")) break;
    std::optional<std::vector<std::string>> fields = CheckedSentence(line);
    if (!fields || fields->front() != "PMGNTRK") return fail(Numbered("Bad line %d", lineNumber));
    bool valid = false;
    std::optional<core::TrackPoint> fix = MagellanFix(*fields, valid);
    if (!fix) return fail(Numbered("Bad line %d", lineNumber));
    if (!valid) continue;
    fix->flags = parsed.fixes.empty() ? 1 : 0;
    if (!PushFix(parsed.fixes, *fix)) return fail("Memory allocation error");
  }
  parsed.result = static_cast<int>(parsed.fixes.size());
  return parsed;
}

}  // namespace tarnvik::formats
