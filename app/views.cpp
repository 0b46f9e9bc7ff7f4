#include "app/views.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "analysis/speed_filter.h"
#include "geo/coordinate_text.h"
#include "geo/geodesy.h"

namespace tarnvik::app {
namespace {

constexpr std::array<ViewColumn, 6> kTracklog = {{
    {"UTC date", 10}, {"UTC time", 9}, {"Latitude", 13}, {"Longitude", 14}, {"Height", 7}, {"km/h", 7}}};
constexpr std::array<ViewColumn, 7> kTracklogUtm = {{{"UTC date", 10},
                                                     {"UTC time", 9},
                                                     {"Zone", 6},
                                                     {"Easting", 8},
                                                     {"Northing", 8},
                                                     {"Height", 7},
                                                     {"km/h", 7}}};
constexpr std::array<ViewColumn, 5> kWaypoints = {
    {{"ID", 9}, {"Latitude", 13}, {"Longitude", 14}, {"Height", 7}, {"Name", 62}}};
constexpr std::array<ViewColumn, 6> kWaypointsUtm = {
    {{"ID", 9}, {"Zone", 6}, {"Easting", 8}, {"Northing", 8}, {"Height", 7}, {"Name", 62}}};
constexpr std::array<ViewColumn, 5> kCtr = {
    {{"Name", 22}, {"Floor (Remark)", 15}, {"Ceiling", 15}, {"Distance", 9}, {"Segments", 9}}};

// A NUL-terminated record field, at most limit characters.
std::string Field(const char* text, size_t limit) { return std::string(text, strnlen(text, limit)); }

std::string Cut(std::string text) {
  if (text.size() > kCellTextLimit) text.resize(kCellTextLimit);
  return text;
}

std::string Dms(int32_t semicircles, bool latitude) {
  return geo::FormatDmsHundredths(core::SemicircleToCentiArcsec(semicircles), latitude);
}

// Zone, easting or northing of a position (automatic zone).
std::string UtmField(int32_t latitude, int32_t longitude, int field) {
  geo::GeoPoint point{core::SemicircleToRadians(latitude), core::SemicircleToRadians(longitude)};
  geo::UtmPoint utm;
  geo::UtmFromGeo(point, utm);
  if (field == 0) return geo::FormatUtmZone(utm.zone, utm.band);
  return geo::FormatUtmMetresRounded(field == 1 ? utm.easting : utm.northing);
}

std::string Format(const char* format, int a, int b, int c) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

}  // namespace

std::span<const ViewColumn> ViewColumns(ViewMode mode, bool utm) {
  switch (mode) {
    case ViewMode::Tracklog: return utm ? std::span<const ViewColumn>(kTracklogUtm) : kTracklog;
    case ViewMode::Waypoints: return utm ? std::span<const ViewColumn>(kWaypointsUtm) : kWaypoints;
    case ViewMode::Ctr: return kCtr;
  }
  return {};
}

std::string HeightDmText(int32_t heightDm) {
  int64_t h = heightDm;
  char buffer[24];
  if (h < 0) {
    std::snprintf(buffer, sizeof buffer, "-%d.%d", static_cast<int>(-h / 10), static_cast<int>(-h % 10));
  } else {
    std::snprintf(buffer, sizeof buffer, "%d.%d", static_cast<int>(h / 10), static_cast<int>(h % 10));
  }
  return buffer;
}

std::string TrackCellText(std::span<const core::TrackPoint> points, size_t row, size_t column, bool utm) {
  if (row >= points.size()) return {};
  const core::TrackPoint& p = points[row];
  // Both column sets start with date and time and end with height and speed; the UTM set has
  // three position columns where the other has two.
  const size_t positionColumns = utm ? 3 : 2;
  if (column == 0 || column == 1) {
    core::SystemTime t = core::TimeToCalendar(p.time);
    return column == 0 ? Format("%4d-%02d-%02d", t.year, t.month, t.day)
                       : Format("%02d:%02d:%02d", t.hour, t.minute, t.second);
  }
  if (column < 2 + positionColumns) {
    size_t field = column - 2;
    if (utm) return UtmField(p.latitude, p.longitude, static_cast<int>(field));
    return field == 0 ? Dms(p.latitude, true) : Dms(p.longitude, false);
  }
  if (column == 2 + positionColumns) return HeightDmText(p.height);
  if (column == 3 + positionColumns) {
    if (p.flags & 1) return "START";
    double kmh = 0;
    double climb = 0;
    analysis::MeanSpeed60(points, row, kmh, climb);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.1f", kmh);
    return Cut(buffer);
  }
  return {};
}

std::string WaypointCellText(const core::Waypoint& w, size_t column, bool utm) {
  const size_t positionColumns = utm ? 3 : 2;
  if (column == 0) return Field(w.id, 6);
  if (column < 1 + positionColumns) {
    size_t field = column - 1;
    if (utm) return UtmField(w.latitude, w.longitude, static_cast<int>(field));
    return field == 0 ? Dms(w.latitude, true) : Dms(w.longitude, false);
  }
  if (column == 1 + positionColumns) return Format("%d", w.altitude, 0, 0);
  if (column == 2 + positionColumns) return Field(w.comment, 40);
  return {};
}

std::string CtrCellText(const core::CtrRecord& zone, size_t column) {
  switch (column) {
    case 0: return Field(zone.name, core::kCtrTextLength);
    case 1: return Field(zone.floor, core::kCtrTextLength);
    case 2: return Field(zone.ceiling, core::kCtrTextLength);
    case 3: return Format("%d", zone.warningDistance, 0, 0);
    case 4: return Format("%d", static_cast<int32_t>(zone.segments.size()), 0, 0);
    default: return {};
  }
}

void ListRows::Load(const Session& session) {
  session_ = &session;
  mode_ = session.viewMode;
  utm_ = session.utmView;
  ctrRows_.clear();
  switch (mode_) {
    case ViewMode::Tracklog: count_ = session.track.log.points.size(); break;
    case ViewMode::Waypoints: count_ = session.waypoints.waypoints.size(); break;
    case ViewMode::Ctr:
      for (const core::CtrRecord& zone : session.ctrs) ctrRows_.push_back(&zone);
      count_ = ctrRows_.size();
      break;
  }
}

std::string ListRows::CellText(size_t row, size_t column) const {
  if (!session_ || row >= count_) return {};
  switch (mode_) {
    case ViewMode::Tracklog: return Cut(TrackCellText(session_->track.log.points, row, column, utm_));
    case ViewMode::Waypoints:
      if (row >= session_->waypoints.waypoints.size()) return {};
      return Cut(WaypointCellText(session_->waypoints.waypoints[row], column, utm_));
    case ViewMode::Ctr: return Cut(CtrCellText(*ctrRows_[row], column));
  }
  return {};
}

}  // namespace tarnvik::app
