#include "formats/gpx.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "core/text_buffer.h"
#include "core/version.h"
#include "formats/xml_scanner.h"

namespace tarnvik::formats {
namespace {

using core::Icon;

constexpr const char* kGpxNamespace = "http://www.topografix.com/GPX/1/1";
constexpr const char* kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";
constexpr const char* kGpxSchemaLocation = "http://www.topografix.com/GPX/1/1/gpx.xsd";

double Degrees(int32_t semicircles) { return core::SemicircleToRadians(semicircles) * core::kDegreesPerRadian; }

struct Bounds {
  bool any = false;
  double minLat = 0, minLon = 0, maxLat = 0, maxLon = 0;  // radians
  void Add(int32_t latitude, int32_t longitude) {
    const double lat = core::SemicircleToRadians(latitude);
    const double lon = core::SemicircleToRadians(longitude);
    if (!any) {
      // From the first position: a start value of its own would bound every track that lies
      // beyond it (east of 171.9 degrees, 3 radians) wrongly.
      minLat = maxLat = lat;
      minLon = maxLon = lon;
      any = true;
      return;
    }
    minLat = std::min(minLat, lat);
    maxLat = std::max(maxLat, lat);
    minLon = std::min(minLon, lon);
    maxLon = std::max(maxLon, lon);
  }
};

void AppendHeader(core::TextBuffer& out, const Bounds& bounds, const core::SystemTime& now) {
  out.AppendLine("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");
  out.AppendFormat("<gpx xmlns=\"%s\"\r\n", kGpxNamespace);
  out.AppendFormat("     creator=\"%s %d.%02d\"\r\n", core::kProgramName, core::kVersion / 100, core::kVersion % 100);
  out.AppendLine("     version=\"1.1\"\r\n");
  out.AppendFormat("     xmlns:xsi=\"%s\"\r\n", kXsiNamespace);
  out.AppendFormat("     xsi:schemaLocation=\"%s %s\">\r\n", kGpxNamespace, kGpxSchemaLocation);
  out.AppendLine("  <metadata>\r\n");
  out.AppendFormat("    <link href=\"%s\">\r\n", kGpxLinkAddress);
  out.AppendFormat("      <text>%s</text>\r\n", EscapeXmlText(kGpxLinkText).c_str());
  out.AppendLine("    </link>\r\n");
  out.AppendFormat("    <time>%s</time>\r\n", FormatIsoTime(now).c_str());
  constexpr double k = core::kDegreesPerRadian;
  out.AppendFormat("    <bounds minlat=\"%.6f\" minlon=\"%.6f\" maxlat=\"%.6f\" maxlon=\"%.6f\"/>\r\n",
                   bounds.minLat * k, bounds.minLon * k, bounds.maxLat * k, bounds.maxLon * k);
  out.AppendLine("  </metadata>\r\n");
}

// The named content of the current element, as found at its end tag.
struct ElementText {
  bool present = false;
  std::string text;  // normalised, entities decoded
  void Take(const char* raw) {
    present = true;
    std::string copy = raw ? raw : "";
    NormaliseXmlText(copy.data());
    text = DecodeEntities(copy.c_str());
  }
  static std::string DecodeEntities(const char* p) {
    static constexpr struct {
      const char* entity;
      char c;
    } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    while (*p) {
      bool replaced = false;
      if (*p == '&') {
        for (const auto& e : kEntities) {
          size_t n = std::strlen(e.entity);
          if (std::strncmp(p, e.entity, n) == 0) {
            out.push_back(e.c);
            p += n;
            replaced = true;
            break;
          }
        }
      }
      if (!replaced) out.push_back(*p++);
    }
    return out;
  }
};

// A start tag's attribute text, normalised so that attributes are separated by single blanks.
struct AttributeText {
  bool present = false;
  std::string text;
  void Take(const char* raw) {
    present = raw != nullptr;
    text = raw ? raw : "";
    text.resize(static_cast<size_t>(NormaliseXmlText(text.data())));
  }
};

std::optional<int32_t> AttributeLatitude(const std::string& attributes) {
  double value = 0;
  if (GetXmlAttrFloat(attributes.c_str(), "lat", value) != 0) return std::nullopt;
  return core::LatitudeFromDegrees(value);
}
std::optional<int32_t> AttributeLongitude(const std::string& attributes) {
  double value = 0;
  if (GetXmlAttrFloat(attributes.c_str(), "lon", value) != 0) return std::nullopt;
  return core::LongitudeFromDegrees(value);
}

std::string Numbered(const char* pattern, size_t n) {
  char text[96];
  std::snprintf(text, sizeof text, pattern, static_cast<int>(n));
  return text;
}

// The element's own depth: an empty element is never counted open.
int OwnDepth(const XmlTag& tag) { return tag.kind == XmlTagKind::Empty ? tag.depth + 1 : tag.depth; }

}  // namespace

std::string EscapeXmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string FormatGpxTrack(std::span<const core::TrackPoint> fixes, const core::SystemTime& now) {
  Bounds bounds;
  for (const core::TrackPoint& f : fixes) bounds.Add(f.latitude, f.longitude);
  core::TextBuffer out;
  AppendHeader(out, bounds, now);
  out.AppendLine("  <trk>\r\n    <name>Track 001</name>\r\n    <trkseg>\r\n");
  for (const core::TrackPoint& f : fixes) {
    out.AppendFormat("      <trkpt lat=\"%.6f\" lon=\"%.6f\">\r\n", Degrees(f.latitude), Degrees(f.longitude));
    out.AppendFormat("        <ele>%.1f</ele>\r\n", f.height * 0.1);
    out.AppendFormat("        <time>%s</time>\r\n", FormatIsoTime(f.time).c_str());
    out.AppendLine("      </trkpt>\r\n");
  }
  out.AppendLine("    </trkseg>\r\n  </trk>\r\n</gpx>\r\n");
  return out.Text();
}

std::string FormatGpxWaypoints(std::span<const core::Waypoint> waypoints, const core::SystemTime& now) {
  Bounds bounds;
  for (const core::Waypoint& w : waypoints) bounds.Add(w.latitude, w.longitude);
  core::TextBuffer out;
  AppendHeader(out, bounds, now);
  const std::string time = FormatIsoTime(now);
  for (const core::Waypoint& w : waypoints) {
    out.AppendFormat("  <wpt lat=\"%.6f\" lon=\"%.6f\">\r\n", Degrees(w.latitude), Degrees(w.longitude));
    out.AppendFormat("    <ele>%.1f</ele>\r\n", static_cast<double>(w.altitude));
    out.AppendFormat("    <time>%s</time>\r\n", time.c_str());
    out.AppendFormat("    <name>%s</name>\r\n", EscapeXmlText(std::string_view(w.id, strnlen(w.id, 7))).c_str());
    out.AppendFormat("    <cmt>%s</cmt>\r\n", EscapeXmlText(std::string_view(w.comment, strnlen(w.comment, 41))).c_str());
    out.AppendLine("  </wpt>\r\n");
  }
  out.AppendLine("</gpx>\r\n");
  return out.Text();
}

TrackParseResult ReadGpxTrack(core::Ui& ui, std::string_view bytes) {
  auto fail = [&ui](const std::string& text) {
    ui.ShowMessage(kGpxTrackReadCaption, text, Icon::Error);
    return TrackParseResult{};
  };
  std::string text(bytes);
  {
    std::string check = text;
    if (CheckXmlStructure(ui, kGpxTrackReadCaption, XmlVariant::Strict, check.data()) != 0) return {};
  }
  XmlWalk walk(text.data(), XmlVariant::Strict);
  XmlTag tag;
  int state = 0;
  AttributeText attributes;
  ElementText ele, time;
  TrackParseResult parsed;
  for (;;) {
    int step = NextXmlTag(walk, tag);
    if (step == 0) break;
    if (step < 0) return fail(walk.message);  // not reached after the structure check
    if (tag.kind == XmlTagKind::Other) continue;
    const bool opens = tag.kind == XmlTagKind::Start || tag.kind == XmlTagKind::Empty;
    const bool closes = tag.kind == XmlTagKind::End || tag.kind == XmlTagKind::Empty;
    const int depth = OwnDepth(tag);
    if (opens) {
      if (state == 0 && depth == 1 && std::strcmp(tag.name, "gpx") == 0) {
        state = 1;
      } else if (state == 1 && depth == 2 && std::strcmp(tag.name, "trk") == 0) {
        state = 2;
      } else if (state == 2 && depth == 3 && std::strcmp(tag.name, "trkseg") == 0) {
        state = 3;
      } else if (state == 3 && depth == 4 && std::strcmp(tag.name, "trkpt") == 0) {
        state = 4;
        attributes.Take(tag.attributes);
        ele = {};
        time = {};
      }
    }
    if (!closes || state != 4) continue;
    if (tag.depth == 4 && std::strcmp(tag.name, "ele") == 0) {
      ele.Take(tag.kind == XmlTagKind::End ? tag.text : nullptr);
    } else if (tag.depth == 4 && std::strcmp(tag.name, "time") == 0) {
      time.Take(tag.kind == XmlTagKind::End ? tag.text : nullptr);
    } else if (tag.depth == 3 && std::strcmp(tag.name, "trkpt") == 0) {
      const size_t n = parsed.fixes.size() + 1;
      if (!attributes.present || !time.present) return fail(Numbered("Missing tag(s) for position %d", n));
      if (attributes.text.empty() || time.text.empty()) return fail(Numbered("Missing data for position %d", n));
      std::optional<uint32_t> seconds = ParseIsoTimeWithFraction(time.text);
      if (!seconds) return fail(Numbered("Bad time data for position %d", n));
      core::TrackPoint fix;
      fix.time = *seconds;
      if (ele.present) {
        std::optional<double> metres = ParseNumber(ele.text);
        const double decimetres = metres ? std::trunc(*metres * 10.0) : 0.0;
        if (!metres || decimetres > 2147483647.0 || decimetres < -2147483648.0) {
          return fail(Numbered("Bad height data for position %d", n));
        }
        fix.height = static_cast<int32_t>(decimetres);
      }
      std::optional<int32_t> latitude = AttributeLatitude(attributes.text);
      if (!latitude) return fail(Numbered("Missing/bad latitude data in position %d", n));
      std::optional<int32_t> longitude = AttributeLongitude(attributes.text);
      if (!longitude) return fail(Numbered("Missing/bad longitude data in position %d", n));
      fix.latitude = *latitude;
      fix.longitude = *longitude;
      try {
        if (parsed.fixes.empty()) parsed.fixes.reserve(1000);
        parsed.fixes.push_back(fix);
      } catch (const std::bad_alloc&) {
        return fail("Memory allocation error");
      }
      state = 3;
    }
  }
  parsed.result = static_cast<int>(parsed.fixes.size());
  return parsed;
}

int ReadGpxWaypoints(core::Ui& ui, std::string_view bytes, std::vector<core::Waypoint>& waypoints,
                     WaypointIdQuestion question) {
  waypoints.clear();
  auto fail = [&ui, &waypoints](const std::string& text) {
    ui.ShowMessage(kGpxWaypointReadCaption, text, Icon::Error);
    waypoints.clear();
    return -1;
  };
  std::string text(bytes);
  {
    std::string check = text;
    if (CheckXmlStructure(ui, kGpxWaypointReadCaption, XmlVariant::Strict, check.data()) != 0) return -1;
  }
  XmlWalk walk(text.data(), XmlVariant::Strict);
  XmlTag tag;
  int state = 0;
  size_t number = 0;  // 1-based number of the wpt element
  AttributeText attributes;
  ElementText name, comment, ele, time;
  std::vector<core::Waypoint> read;
  for (;;) {
    int step = NextXmlTag(walk, tag);
    if (step == 0) break;
    if (step < 0) return fail(walk.message);
    if (tag.kind == XmlTagKind::Other) continue;
    const bool opens = tag.kind == XmlTagKind::Start || tag.kind == XmlTagKind::Empty;
    const bool closes = tag.kind == XmlTagKind::End || tag.kind == XmlTagKind::Empty;
    const int depth = OwnDepth(tag);
    if (opens) {
      if (state == 0 && depth == 1 && std::strcmp(tag.name, "gpx") == 0) {
        state = 1;
      } else if (state == 1 && depth == 2 && std::strcmp(tag.name, "wpt") == 0) {
        state = 2;
        ++number;
        attributes.Take(tag.attributes);
        name = {};
        comment = {};
        ele = {};
        time = {};
      }
    }
    if (!closes || state != 2) continue;
    const char* content = tag.kind == XmlTagKind::End ? tag.text : nullptr;
    if (tag.depth == 2 && std::strcmp(tag.name, "name") == 0) {
      name.Take(content);
    } else if (tag.depth == 2 && std::strcmp(tag.name, "cmt") == 0) {
      comment.Take(content);
    } else if (tag.depth == 2 && std::strcmp(tag.name, "ele") == 0) {
      ele.Take(content);
    } else if (tag.depth == 2 && std::strcmp(tag.name, "time") == 0) {
      time.Take(content);
    } else if (tag.depth == 1 && std::strcmp(tag.name, "wpt") == 0) {
      state = 1;
      if (!attributes.present || !time.present || !ele.present || !name.present) {
        return fail(Numbered("Missing tag(s) for waypoint %d", number));
      }
      if (attributes.text.empty() || time.text.empty() || ele.text.empty() || name.text.empty()) {
        return fail(Numbered("Missing data for waypoint %d", number));
      }
      core::Waypoint waypoint;
      switch (ResolveWaypointId(ui, name.text, question, waypoint.id)) {
        case IdOutcome::Taken: break;
        case IdOutcome::Skip: continue;
        case IdOutcome::Cancel: waypoints.clear(); return -1;
        case IdOutcome::Bad: return fail(Numbered("Bad ID for waypoint %d", number));
      }
      if (comment.present) core::NormaliseComment(comment.text, waypoint.comment);
      if (!ParseIsoTimeWithFraction(time.text)) return fail(Numbered("Bad time data for waypoint %d", number));
      std::optional<double> metres = ParseNumber(ele.text);
      if (!metres) return fail(Numbered("Bad height data for waypoint %d", number));
      waypoint.altitude = core::WaypointAltitudeFromMetres(*metres);
      std::optional<int32_t> latitude = AttributeLatitude(attributes.text);
      if (!latitude) return fail(Numbered("Missing/bad latitude data in waypoint %d", number));
      std::optional<int32_t> longitude = AttributeLongitude(attributes.text);
      if (!longitude) return fail(Numbered("Missing/bad longitude data in waypoint %d", number));
      waypoint.latitude = *latitude;
      waypoint.longitude = *longitude;
      try {
        if (read.empty()) read.reserve(50);
        read.push_back(waypoint);
      } catch (const std::bad_alloc&) {
        return fail("Waypoint memory allocation");
      }
    }
  }
  waypoints = std::move(read);
  return static_cast<int>(waypoints.size());
}

}  // namespace tarnvik::formats
