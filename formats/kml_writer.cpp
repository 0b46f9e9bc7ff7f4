#include "formats/kml_writer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/version.h"
#include "formats/kml_signature.h"
#include "geo/coordinate_text.h"

namespace tarnvik::formats {
namespace {

using core::TrackPoint;

constexpr std::string_view kHashPlaceholder = "0000000000000000000000000000000000000000";
constexpr std::string_view kIndent16 = "                ";
constexpr size_t kTimesPerLine = 25;
constexpr size_t kCoordinatesPerLine = 5;

// The folder's text, built whole before it goes into the caller's buffer (the hash is filled
// in over its placeholder once the track data are written).
class FolderText {
 public:
  explicit FolderText(std::string& text) : text_(text) {}

  void Put(std::string_view text) { text_.append(text); }
  // Formats into a local line and appends it; returns the formatted text (for the signature).
  std::string_view Format(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(line_, sizeof line_, format, args);
    va_end(args);
    if (length < 0) length = 0;
    std::string_view text(line_, std::min<size_t>(static_cast<size_t>(length), sizeof line_ - 1));
    Put(text);
    return text;
  }
  size_t Length() const { return text_.size(); }

 private:
  std::string& text_;
  char line_[256];
};

// Whole metres from decimetres: (dm + 5) / 10, the quotient truncated toward zero.
long long HeightMetres(int32_t decimetres) { return (int64_t{decimetres} + 5) / 10; }

double Degrees(int32_t semicircles) {
  return core::SemicircleToRadians(semicircles) * core::kDegreesPerRadian;
}

// A fix by an index from the summary; an index outside the fixes reads as an empty fix.
const TrackPoint& FixAt(const std::vector<TrackPoint>& fixes, int32_t index) {
  static const TrackPoint none{};
  if (index < 0 || static_cast<size_t>(index) >= fixes.size()) return none;
  return fixes[static_cast<size_t>(index)];
}

std::string LatitudeText(const TrackPoint& fix) {
  return geo::FormatDmsHundredths(core::SemicircleToCentiArcsec(fix.latitude), true);
}
std::string LongitudeText(const TrackPoint& fix) {
  return geo::FormatDmsHundredths(core::SemicircleToCentiArcsec(fix.longitude), false);
}

bool IsNoTime(uint32_t time) { return time == 0 || time == 0x7FFFFFFFu || time == 0xFFFFFFFFu; }

// Length of the valid UTF-8 sequence at text[at], or 0 when the bytes there are not one.
size_t Utf8SequenceLength(std::string_view text, size_t at, uint32_t& codePoint) {
  auto byte = [&](size_t k) -> uint8_t {
    return at + k < text.size() ? static_cast<uint8_t>(text[at + k]) : 0;
  };
  uint8_t lead = byte(0);
  auto continuation = [&](size_t k) { return (byte(k) & 0xC0) == 0x80; };
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    if (!continuation(1)) return 0;
    codePoint = ((lead & 0x1Fu) << 6) | (byte(1) & 0x3Fu);
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    uint8_t second = byte(1);
    if (lead == 0xE0 && second < 0xA0) return 0;   // overlong
    if (lead == 0xED && second >= 0xA0) return 0;  // surrogate halves
    if (!continuation(1) || !continuation(2)) return 0;
    codePoint = ((lead & 0x0Fu) << 12) | ((second & 0x3Fu) << 6) | (byte(2) & 0x3Fu);
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    uint8_t second = byte(1);
    if (lead == 0xF0 && second < 0x90) return 0;  // overlong
    if (lead == 0xF4 && second >= 0x90) return 0;  // beyond U+10FFFF
    if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
    codePoint = ((lead & 0x07u) << 18) | ((second & 0x3Fu) << 12) | ((byte(2) & 0x3Fu) << 6) |
                (byte(3) & 0x3Fu);
    return 4;
  }
  return 0;
}

void AppendLatin1(std::string& out, uint8_t byte) {
  out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
  out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
}

bool AllowedInXml(uint32_t codePoint) {
  if (codePoint < 0x20) return codePoint == '\t' || codePoint == '\n' || codePoint == '\r';
  return codePoint != 0xFFFE && codePoint != 0xFFFF;
}

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Calls emit(piece) for each character of text as it is written: valid UTF-8 unchanged,
// other bytes as Latin-1, characters XML refuses as U+FFFD; escape() may replace a character.
template <typename Escape, typename Emit>
void WalkText(std::string_view text, Escape escape, Emit emit) {
  size_t at = 0;
  std::string converted;
  while (at < text.size() && text[at] != '\0') {
    uint32_t codePoint = 0;
    size_t length = Utf8SequenceLength(text, at, codePoint);
    if (length == 0) {
      converted.clear();
      AppendLatin1(converted, static_cast<uint8_t>(text[at]));
      if (!emit(std::string_view(converted))) return;
      ++at;
      continue;
    }
    std::string_view piece = text.substr(at, length);
    if (!AllowedInXml(codePoint)) piece = kReplacementCharacter;
    std::string_view escaped = escape(codePoint);
    if (!emit(escaped.empty() ? piece : escaped)) return;
    at += length;
  }
}

}  // namespace

std::string EncodeKmlDescription(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  WalkText(
      text,
      [](uint32_t c) -> std::string_view { return c == '<' ? "&lt" : c == '>' ? "&gt" : ""; },
      [&](std::string_view piece) {
        out.append(piece);
        return true;
      });
  return out;
}

std::string NormaliseKmlInstrumentName(std::string_view name) {
  // The program keeps the name as at most 79 bytes; whitespace is normalised as XML text is.
  std::string kept(name.substr(0, std::min(name.size(), kKmlInstrumentLength)));
  if (size_t nul = kept.find('\0'); nul != std::string::npos) kept.resize(nul);
  std::string normal;
  for (char c : kept) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (c == ' ' && (normal.empty() || normal.back() == ' ')) continue;
    normal.push_back(c);
  }
  if (!normal.empty() && normal.back() == ' ') normal.pop_back();

  std::string out;
  WalkText(
      normal,
      [](uint32_t c) -> std::string_view {
        switch (c) {
          case '&': return "&amp;";
          case '<': return "&lt;";
          case '>': return "&gt;";  // would end the tag for our own tag scanner
          case '"': return "&quot;";
          case '\'': return "&apos;";
          case '=': return "&#61;";  // a piece like ' hash="..."' must never look like an attribute
          default: return "";
        }
      },
      [&](std::string_view piece) {
        if (out.size() + piece.size() > kKmlInstrumentLength) return false;
        out.append(piece);
        return true;
      });
  return out;
}

namespace {

void BuildFolderText(std::string& text, const core::FlightSummary& summary,
                     std::string_view description, std::string_view instrumentName) {
  // The writer's own copy of the fixes: a log without real times is written with 5-second
  // steps, but the caller's log keeps its times.
  std::vector<TrackPoint> fixes = summary.fixes;
  bool absolute = false;
  bool noTime = false;
  for (const auto& fix : fixes) {
    if (fix.height != 0) absolute = true;
    if (IsNoTime(fix.time)) noTime = true;
  }
  int32_t utcFlag = summary.utcFlag;
  if (noTime) {
    for (size_t i = 0; i < fixes.size(); ++i) fixes[i].time = static_cast<uint32_t>(5 * i);
    utcFlag = 0;
  }

  const int major = core::kVersion / 100;
  const int minor = core::kVersion % 100;
  FolderText out(text);

  // Folder head and the statistics text.
  out.Put("  <Folder>\r\n");
  out.Format("    <Metadata src=\"%s\" v=\"%d.%02d\" type=\"trip\"/>\r\n", core::kProgramName, major, minor);
  out.Put("    <open>1</open>\r\n");
  out.Put("    <name>Trip</name>\r\n");
  out.Put("    <description><![CDATA[");
  out.Put(EncodeKmlDescription(description));
  out.Put("\r\n<pre>\r\n");
  out.Put("Flight statistics\r\n");
  const core::SystemTime start = core::TimeToCalendar(summary.startTime);
  const core::SystemTime finish = core::TimeToCalendar(summary.finishTime);
  out.Format("Date                 %4d-%02d-%02d\r\n", start.year, start.month, start.day);
  out.Format("Start/finish         %02d:%02d:%02d - %02d:%02d:%02d\r\n", start.hour, start.minute,
             start.second, finish.hour, finish.minute, finish.second);
  out.Format("Duration             %u : %02u : %02u\r\n", summary.duration / 3600,
             (summary.duration / 60) % 60, summary.duration % 60);
  out.Format("Max./min. height     %d / %d m\r\n", summary.maximumHeight, summary.minimumHeight);
  out.Format("Max. mean/top speed  %d km/h / %d km/h\r\n",
             static_cast<int>(summary.maximumMeanSpeed + 0.5), static_cast<int>(summary.topSpeed + 0.5));
  out.Format("Max/min climb rate   %.2f / %.2f m/s over 60s\r\n", summary.maximumClimbRate,
             summary.minimumClimbRate);
  out.Format("Total distance       %.2f km\r\n", summary.totalDistance * 0.001);
  out.Put("</pre>]]>\r\n");
  out.Put("    </description>\r\n");

  // The 5-point and the open-distance placemarks share their layout.
  struct DistancePlacemark {
    const char* type;
    const char* name;
    const char* title;
    const char* colour;
    std::vector<int32_t> indices;
    std::vector<double> legsMetres;  // the leg ending at each fix but the first
    bool sum;
  };
  const DistancePlacemark placemarks[2] = {
      {"distance_5_point", "Distance over 5 points", "Greatest distance using 5 points", "FFFF0000",
       std::vector<int32_t>(std::begin(summary.fivePointFixes), std::end(summary.fivePointFixes)),
       std::vector<double>(std::begin(summary.fivePointLegs), std::end(summary.fivePointLegs)), true},
      {"distance_open", "Open distance", "Greatest distance between any 2 points", "FF0000FF",
       std::vector<int32_t>(std::begin(summary.openDistanceFixes), std::end(summary.openDistanceFixes)),
       {summary.openDistance}, false},
  };
  for (const auto& p : placemarks) {
    out.Put("    <Placemark>\r\n");
    out.Format("      <Metadata src=\"%s\" v=\"%d.%02d\" type=\"%s\">\r\n", core::kProgramName, major,
               minor, p.type);
    std::string indices;
    for (int32_t index : p.indices) {
      if (!indices.empty()) indices += ' ';
      indices += std::to_string(index);
    }
    out.Format("        <FsInfo track_idx=\"%s\" />\r\n", indices.c_str());
    out.Put("      </Metadata>\r\n");
    out.Format("      <name>%s</name>\r\n", p.name);
    out.Put("      <description>\r\n");
    out.Put("        <![CDATA[\r\n<pre>\r\n");
    out.Format("%s\r\n\r\n", p.title);
    out.Put("Pos.      Time      Latitude         Longitude         Distance\r\n");
    for (size_t k = 0; k < p.indices.size(); ++k) {
      const TrackPoint& fix = FixAt(fixes, p.indices[k]);
      const core::SystemTime t = core::TimeToCalendar(fix.time);
      const char letter = static_cast<char>('A' + k);
      if (k == 0) {
        out.Format(" %c %5d  %02d:%02d:%02d  %s  %s\r\n", letter, p.indices[k] + 1, t.hour, t.minute,
                   t.second, LatitudeText(fix).c_str(), LongitudeText(fix).c_str());
      } else {
        out.Format(" %c %5d  %02d:%02d:%02d  %s  %s  %.2f\r\n", letter, p.indices[k] + 1, t.hour,
                   t.minute, t.second, LatitudeText(fix).c_str(), LongitudeText(fix).c_str(),
                   p.legsMetres[k - 1] * 0.001);
      }
    }
    if (p.sum) {
      out.Format("%50sSum  %.2f\r\n", "", summary.fivePointSum * 0.001);
    }
    out.Put("</pre>]]>\r\n");
    out.Put("      </description>\r\n");
    out.Put("      <LineString>\r\n");
    out.Put("        <tessellate>1</tessellate>\r\n");
    out.Put("        <coordinates>\r\n");
    for (int32_t index : p.indices) {
      const TrackPoint& fix = FixAt(fixes, index);
      out.Format("          %.6f,%.6f,%lld\r\n", Degrees(fix.longitude), Degrees(fix.latitude),
                 HeightMetres(fix.height));
    }
    out.Put("        </coordinates>\r\n");
    out.Put("      </LineString>\r\n");
    out.Put("      <Style>\r\n");
    out.Put("        <LineStyle>\r\n");
    out.Format("          <color>%s</color>\r\n", p.colour);
    out.Put("        </LineStyle>\r\n");
    out.Put("      </Style>\r\n");
    out.Put("    </Placemark>\r\n");
  }

  // The track placemark; its data are signed in writing order.
  Sha1 sha;
  BeginKmlSignature(sha);
  const TrackPoint& first = FixAt(fixes, 0);
  out.Put("    <Placemark>\r\n");
  out.Format("      <Metadata src=\"%s\" v=\"%d.%02d\" type=\"track\">\r\n", core::kProgramName, major, minor);
  out.Put("        <FsInfo");
  out.Put(" time_of_first_point=\"");
  const core::SystemTime firstTime = core::TimeToCalendar(first.time);
  sha.Update(out.Format(utcFlag ? "%d-%02d-%02dT%02d:%02d:%02dZ" : "%d-%02d-%02dT%02d:%02d:%02d",
                        firstTime.year, firstTime.month, firstTime.day, firstTime.hour,
                        firstTime.minute, firstTime.second));
  out.Put("\"");
  if (summary.pilotIdFlag && (summary.civlPilotId >= 0 || summary.competitionPilotId >= 0)) {
    out.Put("\r\n");
    out.Put(kIndent16);
    if (summary.civlPilotId >= 0) {
      out.Format("civl_pilot_id=\"%d\"", summary.civlPilotId);
      if (summary.competitionPilotId >= 0) out.Format(" comp_pilot_id=\"%d\"", summary.competitionPilotId);
    } else {
      out.Format("comp_pilot_id=\"%d\"", summary.competitionPilotId);
    }
  }
  const std::string instrument = NormaliseKmlInstrumentName(instrumentName);
  if (!instrument.empty()) {
    out.Put("\r\n");
    out.Put(kIndent16);
    out.Put("instrument=\"");
    out.Put(instrument);
    sha.Update(instrument);
    out.Put("\"");
  }
  if (summary.downloadedTime != -1) {
    const core::SystemTime t = core::TimeToCalendar(static_cast<uint32_t>(summary.downloadedTime));
    out.Put("\r\n");
    out.Put(kIndent16);
    out.Put("downloaded=\"");
    sha.Update(out.Format("%d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute, t.second));
    out.Put("\"");
  }
  // The hash goes over the placeholder once the coordinates are written; remember where.
  size_t hashOffset = 0;
  if (summary.signFlag) {
    out.Put("\r\n");
    out.Put(kIndent16);
    out.Put("hash=\"");
    hashOffset = out.Length();
    out.Put(kHashPlaceholder);
    out.Put("\"");
  }
  out.Put(">\r\n");

  // Seconds from the first fix. Each offset is at least the previous one, so a log with fixes
  // out of time order still gives a list that reads back; ordered logs are unaffected.
  out.Put("          <SecondsFromTimeOfFirstPoint>\r\n");
  int64_t offset = 0;
  for (size_t i = 0; i < fixes.size(); ++i) {
    offset = std::max(offset, int64_t{fixes[i].time} - int64_t{first.time});
    const bool last = i + 1 == fixes.size();
    sha.Update(out.Format(last ? "%lld" : "%lld ", static_cast<long long>(offset)));
    if ((i + 1) % kTimesPerLine == 0) out.Put("\r\n");
  }
  if (fixes.size() % kTimesPerLine != 0) out.Put("\r\n");
  out.Put("          </SecondsFromTimeOfFirstPoint>\r\n");
  out.Put("        </FsInfo>\r\n");
  out.Put("      </Metadata>\r\n");
  out.Put("      <name>Tracklog</name>\r\n");
  out.Put("      <LineString>\r\n");
  out.Put(absolute ? "        <altitudeMode>absolute</altitudeMode>\r\n"
                   : "        <altitudeMode>clampedToGround</altitudeMode>\r\n");
  out.Put("        <coordinates>\r\n");
  for (size_t i = 0; i < fixes.size(); ++i) {
    const bool last = i + 1 == fixes.size();
    sha.Update(out.Format(last ? "%.6f,%.6f,%lld" : "%.6f,%.6f,%lld ", Degrees(fixes[i].longitude),
                          Degrees(fixes[i].latitude), HeightMetres(fixes[i].height)));
    if ((i + 1) % kCoordinatesPerLine == 0) out.Put("\r\n");
  }
  if (fixes.size() % kCoordinatesPerLine != 0) out.Put("\r\n");
  out.Put("        </coordinates>\r\n");
  const std::string hash = KmlSignatureText(sha);
  out.Put("      </LineString>\r\n");
  out.Put("    </Placemark>\r\n");
  out.Put("  </Folder>\r\n");

  if (summary.signFlag) text.replace(hashOffset, hash.size(), hash);
}

}  // namespace

int BuildKmlTripFolder(core::TextBuffer& buffer, const core::FlightSummary& summary,
                       std::string_view description, std::string_view instrumentName) {
  try {
    std::string text;
    // About 40 bytes per fix for its time offset and coordinates, plus the fixed lines.
    text.reserve(6000 + summary.fixes.size() * 40 + description.size() * 2);
    BuildFolderText(text, summary, description, instrumentName);
    if (buffer.AppendLine(text) != 0) return static_cast<int>(KmlBuildError::NoMemory);
  } catch (const std::bad_alloc&) {
    buffer.Clear();
    return static_cast<int>(KmlBuildError::NoMemory);
  }
  return 0;
}

}  // namespace tarnvik::formats
