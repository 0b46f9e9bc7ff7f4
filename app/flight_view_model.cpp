#include "app/flight_view_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "airspace/openair.h"
#include "analysis/flight_statistics.h"
#include "analysis/speed_filter.h"

namespace tarnvik::app {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegree = kPi / 180.0;

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

int DecimalsForStep(double step) {
  int decimals = 0;
  while (decimals < 6 && std::fabs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-6)
    ++decimals;
  return decimals;
}

// Decimation of a sequence whose column and row come from `place(i)`.
template <typename Place>
DecimatedPath Decimate(std::span<const core::TrackPoint> fixes, size_t count, int width, Place place) {
  DecimatedPath path;
  if (count == 0) return path;
  path.indices.reserve(std::min<size_t>(count, static_cast<size_t>(std::max(width, 1)) * 8 + 16));
  path.breakBefore.reserve(path.indices.capacity());
  size_t runStart = 0;
  int64_t runColumn = 0;
  size_t low = 0, high = 0;
  double lowRow = 0, highRow = 0;
  bool runBreak = true;
  auto flush = [&](size_t runEnd) {  // runEnd: last fix of the run
    uint32_t keep[4] = {static_cast<uint32_t>(runStart), static_cast<uint32_t>(low), static_cast<uint32_t>(high),
                        static_cast<uint32_t>(runEnd)};
    std::sort(keep, keep + 4);
    for (int k = 0; k < 4; ++k) {
      if (k > 0 && keep[k] == keep[k - 1]) continue;
      path.indices.push_back(keep[k]);
      path.breakBefore.push_back(k == 0 && runBreak ? 1 : 0);
    }
  };
  for (size_t i = 0; i < count; ++i) {
    double column = 0, row = 0;
    place(i, column, row);
    int64_t c = column < 0 ? -1 : column >= width ? width : static_cast<int64_t>(column);
    bool newSegment = i > 0 && (fixes[i].flags & 1u) != 0;
    if (i == 0 || c != runColumn || newSegment) {
      if (i > 0) flush(i - 1);
      runBreak = i == 0 || newSegment;
      runStart = low = high = i;
      lowRow = highRow = row;
      runColumn = c;
      continue;
    }
    if (row < lowRow) lowRow = row, low = i;
    if (row > highRow) highRow = row, high = i;
  }
  flush(count - 1);
  return path;
}

std::vector<Tick> LinearTicks(double from, double to, double pixelFrom, double pixelTo, int pixels, int spacing,
                              const char* unit) {
  std::vector<Tick> ticks;
  if (!(to > from) || pixels <= 0) return ticks;
  double step = NiceStep(to - from, std::max(1.0, double(pixels) / std::max(spacing, 1)));
  int decimals = DecimalsForStep(step);
  char format[32];
  std::snprintf(format, sizeof format, "%%.%df%s", decimals, unit);
  for (double v = std::ceil(from / step - 1e-9) * step; v <= to + step * 1e-9; v += step) {
    double pixel = pixelFrom + (v - from) * (pixelTo - pixelFrom) / (to - from);
    ticks.push_back({v, pixel, Format(format, std::fabs(v) < step * 1e-9 ? 0.0 : v)});
  }
  return ticks;
}

// Latitude and longitude (degrees) of a plane position: the projection inverted by a few
// correction steps, enough to place grid lines.
void GeoOfPlane(double x, double y, double meridian, double& latDeg, double& lonDeg) {
  constexpr double kMetresPerDegree = 111195.0;
  double lat = std::clamp(y / kMetresPerDegree, -85.0, 85.0);
  double lon = meridian / kDegree;
  for (int k = 0; k < 8; ++k) {
    geo::TmPoint tm = ProjectToPlane(lat * kDegree, lon * kDegree, meridian);
    lat = std::clamp(lat + (y - tm.y) / kMetresPerDegree, -85.0, 85.0);
    lon += (x - tm.x) / (kMetresPerDegree * std::max(std::cos(lat * kDegree), 0.05));
  }
  latDeg = lat;
  lonDeg = lon;
}

}  // namespace

ClimbClass ClassifyClimb(double climb) {
  if (climb < -2) return ClimbClass::StrongSink;
  if (climb < -0.5) return ClimbClass::Sink;
  if (climb <= 0.5) return ClimbClass::Level;
  if (climb <= 2) return ClimbClass::Climb;
  return ClimbClass::StrongClimb;
}

const char* ClimbClassLabel(ClimbClass c) {
  switch (c) {
    case ClimbClass::StrongSink: return "< -2 m/s";
    case ClimbClass::Sink: return "-2 .. -0.5 m/s";
    case ClimbClass::Level: return "-0.5 .. 0.5 m/s";
    case ClimbClass::Climb: return "0.5 .. 2 m/s";
    case ClimbClass::StrongClimb: return "> 2 m/s";
  }
  return "";
}

geo::TmPoint ProjectToPlane(double latitude, double longitude, double meridian) {
  geo::GeoPoint point{latitude, meridian + std::remainder(longitude - meridian, 2 * kPi)};
  geo::TmPoint tm;
  geo::TmFromGeo(point, meridian, tm);
  return tm;
}

FlightPlane BuildFlightPlane(std::span<const core::TrackPoint> fixes) {
  FlightPlane plane;
  if (fixes.empty()) return plane;
  const size_t n = fixes.size();
  plane.meridian = analysis::PlaneCentralMeridian(fixes);
  plane.points.resize(n);
  plane.climb.resize(n, ClimbClass::Level);
  plane.speedKmh.resize(n, 0);
  plane.minX = plane.minY = std::numeric_limits<double>::infinity();
  plane.maxX = plane.maxY = -std::numeric_limits<double>::infinity();
  plane.minHeight = plane.maxHeight = fixes[0].height / 10.0;
  plane.firstTime = plane.lastTime = fixes[0].time;
  analysis::WindowSteps steps = analysis::BuildWindowSteps(fixes);
  for (size_t i = 0; i < n; ++i) {
    const core::TrackPoint& f = fixes[i];
    geo::TmPoint p = ProjectToPlane(core::SemicircleToRadians(f.latitude), core::SemicircleToRadians(f.longitude),
                                    plane.meridian);
    plane.points[i] = p;
    plane.minX = std::min(plane.minX, p.x);
    plane.maxX = std::max(plane.maxX, p.x);
    plane.minY = std::min(plane.minY, p.y);
    plane.maxY = std::max(plane.maxY, p.y);
    plane.minHeight = std::min(plane.minHeight, f.height / 10.0);
    plane.maxHeight = std::max(plane.maxHeight, f.height / 10.0);
    plane.firstTime = std::min(plane.firstTime, f.time);
    plane.lastTime = std::max(plane.lastTime, f.time);
    double kmh = 0, climb = 0;
    if (analysis::MeanSpeed60(fixes, i, kmh, climb, steps)) {
      plane.climb[i] = ClassifyClimb(climb);
      plane.speedKmh[i] = static_cast<float>(kmh);
      plane.maxSpeedKmh = std::max(plane.maxSpeedKmh, plane.speedKmh[i]);
    }
  }
  plane.takeoff = 0;
  plane.landing = n - 1;
  return plane;
}

Viewport FitFlight(const FlightPlane& plane, int width, int height, int margin) {
  Viewport view;
  view.width = std::max(width, 1);
  view.height = std::max(height, 1);
  if (plane.empty()) return view;
  view.centreX = (plane.minX + plane.maxX) / 2;
  view.centreY = (plane.minY + plane.maxY) / 2;
  double spanX = std::max(plane.maxX - plane.minX, 100.0);
  double spanY = std::max(plane.maxY - plane.minY, 100.0);
  double usableW = std::max(view.width - 2 * margin, 1);
  double usableH = std::max(view.height - 2 * margin, 1);
  view.metresPerPixel = std::max(spanX / usableW, spanY / usableH);
  return view;
}

void ZoomAt(Viewport& view, double px, double py, double factor) {
  if (!(factor > 0) || !std::isfinite(factor)) return;
  double x = view.PlaneX(px), y = view.PlaneY(py);
  view.metresPerPixel = std::clamp(view.metresPerPixel / factor, 0.01, 1e6);
  view.centreX = x - (px - view.width / 2.0) * view.metresPerPixel;
  view.centreY = y + (py - view.height / 2.0) * view.metresPerPixel;
}

void PanBy(Viewport& view, double dx, double dy) {
  view.centreX -= dx * view.metresPerPixel;
  view.centreY += dy * view.metresPerPixel;
}

DecimatedPath DecimatePlan(std::span<const core::TrackPoint> fixes, const FlightPlane& plane, const Viewport& view) {
  size_t count = std::min(fixes.size(), plane.points.size());
  return Decimate(fixes, count, view.width, [&](size_t i, double& column, double& row) {
    column = view.PixelX(plane.points[i].x);
    row = view.PixelY(plane.points[i].y);
  });
}

BarogramFrame FitBarogram(const FlightPlane& plane, int left, int top, int width, int height) {
  BarogramFrame frame;
  frame.left = left;
  frame.top = top;
  frame.width = std::max(width, 1);
  frame.height = std::max(height, 1);
  frame.t0 = plane.firstTime;
  frame.t1 = plane.lastTime > plane.firstTime ? plane.lastTime : plane.firstTime + 60;
  double span = plane.maxHeight - plane.minHeight;
  double pad = std::max(span * 0.05, 10.0);
  frame.h0 = plane.minHeight - pad;
  frame.h1 = plane.maxHeight + pad;
  frame.s1 = std::max(10.0, std::ceil(plane.maxSpeedKmh * 1.1 / 10) * 10);
  return frame;
}

DecimatedPath DecimateBarogram(std::span<const core::TrackPoint> fixes, const FlightPlane& plane,
                               const BarogramFrame& frame, bool speed) {
  size_t count = std::min(fixes.size(), plane.points.size());
  return Decimate(fixes, count, frame.width, [&](size_t i, double& column, double& row) {
    column = frame.PixelX(fixes[i].time) - frame.left;
    row = speed ? frame.SpeedPixelY(plane.speedKmh[i]) : frame.PixelY(fixes[i].height / 10.0);
  });
}

double NiceStep(double span, double count) {
  if (!(span > 0) || !(count > 0)) return 1;
  double raw = span / count;
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {5.0, 2.0, 1.0})
    if (m * power <= raw * (1 + 1e-9)) return m * power;
  return power;
}

std::vector<Tick> TimeTicks(const BarogramFrame& frame, int spacing) {
  std::vector<Tick> ticks;
  double seconds = double(frame.t1) - frame.t0;
  if (!(seconds > 0)) return ticks;
  double wanted = seconds / std::max(1.0, double(frame.width) / std::max(spacing, 1));
  static constexpr int kSteps[] = {60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
  int step = 86400;
  for (int s : kSteps)
    if (s >= wanted) {
      step = s;
      break;
    }
  for (uint64_t t = (uint64_t(frame.t0) + step - 1) / step * step; t <= frame.t1; t += step) {
    uint64_t ofDay = t % 86400;
    char label[8];
    std::snprintf(label, sizeof label, "%02u:%02u", unsigned(ofDay / 3600), unsigned(ofDay / 60 % 60));
    ticks.push_back({double(ofDay), frame.PixelX(static_cast<uint32_t>(t)), label});
  }
  return ticks;
}

std::vector<Tick> HeightTicks(const BarogramFrame& frame, int spacing) {
  return LinearTicks(frame.h0, frame.h1, frame.top + frame.height, frame.top, frame.height, spacing, " m");
}

std::vector<Tick> SpeedTicks(const BarogramFrame& frame, int spacing) {
  return LinearTicks(0, frame.s1, frame.top + frame.height, frame.top, frame.height, spacing, "");
}

std::vector<GridLine> GridLines(const FlightPlane& plane, const Viewport& view) {
  std::vector<GridLine> lines;
  if (plane.empty()) return lines;
  // The geographic box of the view: its corners and edge midpoints taken back to latitude and
  // longitude (a few correction steps on the projection itself), widened a little.
  double lat0 = 90, lat1 = -90, lon0 = 1e9, lon1 = -1e9;
  for (double fx : {0.0, 0.5, 1.0})
    for (double fy : {0.0, 0.5, 1.0}) {
      double x = view.PlaneX(fx * view.width), y = view.PlaneY(fy * view.height);
      double lat, lon;
      GeoOfPlane(x, y, plane.meridian, lat, lon);
      lat0 = std::min(lat0, lat), lat1 = std::max(lat1, lat);
      lon0 = std::min(lon0, lon), lon1 = std::max(lon1, lon);
    }
  double padLat = (lat1 - lat0) * 0.05, padLon = (lon1 - lon0) * 0.05;
  lat0 = std::max(-85.0, lat0 - padLat), lat1 = std::min(85.0, lat1 + padLat);
  lon0 -= padLon, lon1 += padLon;
  if (lon1 - lon0 > 360) lon0 = plane.meridian / kDegree - 180, lon1 = lon0 + 360;
  if (!(lat1 > lat0) || !(lon1 > lon0)) return lines;
  double centreLatClamped = std::clamp((lat0 + lat1) / 2, -85.0, 85.0);
  double step = NiceStep(std::max(lat1 - lat0, (lon1 - lon0) * std::cos(centreLatClamped * kDegree)), 5);
  step = std::max(step, 0.001);
  int decimals = DecimalsForStep(step);
  constexpr int kSamples = 24;
  auto addLine = [&](bool meridian, double fixed, double from, double to) {
    GridLine line;
    line.meridian = meridian;
    for (int k = 0; k <= kSamples; ++k) {
      double moving = from + (to - from) * k / kSamples;
      double lat = meridian ? moving : fixed, lon = meridian ? fixed : moving;
      geo::TmPoint p = ProjectToPlane(lat * kDegree, lon * kDegree, plane.meridian);
      line.pixels.push_back(view.PixelX(p.x));
      line.pixels.push_back(view.PixelY(p.y));
    }
    double shown = meridian ? std::remainder(fixed, 360.0) : fixed;
    char label[32];
    std::snprintf(label, sizeof label, "%.*f\xC2\xB0%c", decimals, std::fabs(shown),
                  meridian ? (shown < 0 ? 'W' : 'E') : (shown < 0 ? 'S' : 'N'));
    line.label = label;
    lines.push_back(std::move(line));
  };
  for (double lat = std::ceil(lat0 / step) * step; lat <= lat1 && lines.size() < 64; lat += step)
    addLine(false, lat, lon0, lon1);
  for (double lon = std::ceil(lon0 / step) * step; lon <= lon1 && lines.size() < 128; lon += step)
    addLine(true, lon, lat0, lat1);
  return lines;
}

ScaleBar ComputeScaleBar(const Viewport& view) {
  ScaleBar bar;
  double span = view.width * view.metresPerPixel / 5;
  bar.metres = NiceStep(span, 1);
  bar.pixels = bar.metres / view.metresPerPixel;
  bar.label = bar.metres >= 1000 ? Format(bar.metres >= 1e4 || std::fmod(bar.metres, 1000) == 0 ? "%.0f km" : "%.1f km",
                                          bar.metres / 1000)
                                 : Format(bar.metres >= 1 ? "%.0f m" : "%.2f m", bar.metres);
  return bar;
}

int64_t PickPlanFix(const FlightPlane& plane, const Viewport& view, double px, double py, double radius) {
  int64_t best = -1;
  double bestSq = radius * radius;
  for (size_t i = 0; i < plane.points.size(); ++i) {
    double dx = view.PixelX(plane.points[i].x) - px, dy = view.PixelY(plane.points[i].y) - py;
    double sq = dx * dx + dy * dy;
    if (sq < bestSq || (best < 0 && sq <= bestSq)) {
      bestSq = sq;
      best = static_cast<int64_t>(i);
    }
  }
  return best;
}

int64_t PickBarogramFix(std::span<const core::TrackPoint> fixes, const BarogramFrame& frame, double px) {
  int64_t best = -1;
  double bestDistance = std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < fixes.size(); ++i) {
    double d = std::fabs(frame.PixelX(fixes[i].time) - px);
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<int64_t>(i);
    }
  }
  return best;
}

std::vector<ContestShape> ContestShapes(std::span<const core::TrackPoint> fixes, const FlightPlane& plane,
                                        const analysis::OlcResult& result) {
  std::vector<ContestShape> shapes;
  auto at = [&](int32_t index, geo::TmPoint& p) {
    if (index < 0 || static_cast<size_t>(index) >= fixes.size()) return false;
    p = ProjectToPlane(core::SemicircleToRadians(fixes[index].latitude),
                       core::SemicircleToRadians(fixes[index].longitude), plane.meridian);
    return true;
  };
  auto add = [&](const char* name, std::span<const int32_t> indices, std::vector<std::string> labels, bool gap) {
    ContestShape shape;
    shape.name = name;
    shape.labels = std::move(labels);
    shape.closingGap = gap;
    for (int32_t index : indices) {
      geo::TmPoint p;
      if (!at(index, p)) return;
      shape.points.push_back(p);
    }
    shapes.push_back(std::move(shape));
  };
  if (result.fiveSum > 0) add("Free distance", result.five, {"S", "1", "2", "3", "F"}, false);
  if (result.freeTriangle.found) add("Free triangle", result.freeTriangle.points, {"S", "A", "B", "C", "F"}, true);
  if (result.faiTriangle.found) add("FAI triangle", result.faiTriangle.points, {"S", "A", "B", "C", "F"}, true);
  return shapes;
}

std::vector<AirspaceOutline> AirspaceNearTrack(const core::CtrList& zones, const FlightPlane& plane,
                                               double nearMetres) {
  std::vector<AirspaceOutline> outlines;
  if (plane.empty()) return outlines;
  for (const core::CtrRecord& zone : zones) {
    std::vector<core::Waypoint> points = airspace::CtrOutlinePoints(zone);
    if (points.empty()) continue;
    AirspaceOutline outline;
    outline.name = zone.name;
    double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
    for (const core::Waypoint& w : points) {
      geo::TmPoint p = ProjectToPlane(core::SemicircleToRadians(w.latitude), core::SemicircleToRadians(w.longitude),
                                      plane.meridian);
      minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
      minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
      outline.points.push_back(p);
    }
    bool near = maxX >= plane.minX - nearMetres && minX <= plane.maxX + nearMetres &&
                maxY >= plane.minY - nearMetres && minY <= plane.maxY + nearMetres;
    if (near) outlines.push_back(std::move(outline));
  }
  return outlines;
}

}  // namespace tarnvik::app
