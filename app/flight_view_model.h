// The drawing model of the flight view, without a toolkit: a track log projected on the local
// plane of the statistics, the viewport that maps it to pixels with one scale for x and y, the
// per-pixel-column decimation that keeps drawing fast on long logs, grid lines, scale bar,
// barogram axes, climb classes, contest legs and airspace outlines near the track. The window
// only paints what these functions return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/olc_search.h"
#include "core/records.h"
#include "geo/geodesy.h"

namespace tarnvik::app {

// Climb colour classes from the 60 s windowed climb (m/s): below -2, -2..-0.5, -0.5..0.5,
// 0.5..2, above 2. Fixes without a climb value (first fix, segment starts) are Level.
enum class ClimbClass : uint8_t { StrongSink = 0, Sink, Level, Climb, StrongClimb };
constexpr int kClimbClassCount = 5;
ClimbClass ClassifyClimb(double metresPerSecond);
// Legend text of a class, e.g. "> 2 m/s".
const char* ClimbClassLabel(ClimbClass c);

// A track log in the local plane (x east, y north, metres), with per-fix values.
struct FlightPlane {
  double meridian = 0;  // radians, as the statistics choose it
  std::vector<geo::TmPoint> points;
  std::vector<ClimbClass> climb;
  std::vector<float> speedKmh;  // 60 s windowed ground speed
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  uint32_t firstTime = 0, lastTime = 0;
  double minHeight = 0, maxHeight = 0;  // metres
  float maxSpeedKmh = 0;
  size_t takeoff = 0, landing = 0;  // fix indices (0 for an empty log)
  bool empty() const { return points.empty(); }
};
FlightPlane BuildFlightPlane(std::span<const core::TrackPoint> fixes);
// A position on the plane of `meridian`, longitudes taken the short way round from it.
geo::TmPoint ProjectToPlane(double latitudeRad, double longitudeRad, double meridian);

// Plane to pixels: one metres-per-pixel for both axes, north up.
struct Viewport {
  double centreX = 0, centreY = 0;
  double metresPerPixel = 1;
  int width = 1, height = 1;
  double PixelX(double x) const { return width / 2.0 + (x - centreX) / metresPerPixel; }
  double PixelY(double y) const { return height / 2.0 - (y - centreY) / metresPerPixel; }
  double PlaneX(double px) const { return centreX + (px - width / 2.0) * metresPerPixel; }
  double PlaneY(double py) const { return centreY - (py - height / 2.0) * metresPerPixel; }
};
// The viewport that shows the whole track with `margin` pixels on each side (a single fix or
// a track without extent gets 100 m across).
Viewport FitFlight(const FlightPlane& plane, int width, int height, int margin = 20);
// Zooms by `factor` (>1 in) keeping the plane point under pixel (px, py) where it is.
void ZoomAt(Viewport& view, double px, double py, double factor);
void PanBy(Viewport& view, double dxPixels, double dyPixels);

// Decimation: consecutive fixes that fall into the same pixel column form a run; a run keeps
// its first, last, lowest and highest fix (by the row), in fix order. A new segment starts a
// new run. Positions left or right of the picture share one column each, so a zoomed view
// draws few points outside. The result holds fix indices in increasing order.
struct DecimatedPath {
  std::vector<uint32_t> indices;
  std::vector<uint8_t> breakBefore;  // 1: do not join this point to the one before
};
DecimatedPath DecimatePlan(std::span<const core::TrackPoint> fixes, const FlightPlane& plane, const Viewport& view);

// The barogram: time on x (seconds from plane.firstTime), height on y.
struct BarogramFrame {
  int left = 0, top = 0, width = 1, height = 1;  // plot area in pixels
  uint32_t t0 = 0, t1 = 1;                       // time range
  double h0 = 0, h1 = 1;                         // height range (metres)
  double s1 = 1;                                 // speed axis top (km/h), bottom 0
  double PixelX(uint32_t t) const { return left + (double(t) - t0) * width / double(t1 - t0); }
  double PixelY(double h) const { return top + height - (h - h0) * height / (h1 - h0); }
  double SpeedPixelY(double kmh) const { return top + height - kmh * height / s1; }
};
BarogramFrame FitBarogram(const FlightPlane& plane, int left, int top, int width, int height);
// As DecimatePlan with time for the column and height for the row (or speed with `speed`).
DecimatedPath DecimateBarogram(std::span<const core::TrackPoint> fixes, const FlightPlane& plane,
                               const BarogramFrame& frame, bool speed = false);

struct Tick {
  double value = 0;  // plane metres / seconds of day / metres / km/h, per axis
  double pixel = 0;
  std::string label;
};
// Ticks at 1-2-5 steps (or minutes 1, 2, 5, 10, 15, 30, hours 1, 2, 3, 6, 12 for time) so that
// roughly `pixels / spacing` fall into the range.
std::vector<Tick> TimeTicks(const BarogramFrame& frame, int spacing = 80);  // "hh:mm" UTC
std::vector<Tick> HeightTicks(const BarogramFrame& frame, int spacing = 40);
std::vector<Tick> SpeedTicks(const BarogramFrame& frame, int spacing = 40);
// The 1-2-5 step (in `unit`s times a power of ten) nearest below `span / count`.
double NiceStep(double span, double count);

// Latitude/longitude grid: each line is a polyline in pixels with its label.
struct GridLine {
  bool meridian = false;  // true: line of constant longitude
  std::vector<double> pixels;  // x0, y0, x1, y1, ...
  std::string label;           // e.g. "46.30°N", "7.60°E"
};
std::vector<GridLine> GridLines(const FlightPlane& plane, const Viewport& view);

// Scale bar: the greatest 1-2-5 length that is at most a fifth of the view's width.
struct ScaleBar {
  double metres = 0;
  double pixels = 0;
  std::string label;  // "500 m", "2 km"
};
ScaleBar ComputeScaleBar(const Viewport& view);

// Nearest fix to a pixel in the plan within `radius` pixels, or -1.
int64_t PickPlanFix(const FlightPlane& plane, const Viewport& view, double px, double py, double radius = 12);
// The fix nearest in time to pixel column `px` of the barogram, or -1 for an empty log.
int64_t PickBarogramFix(std::span<const core::TrackPoint> fixes, const BarogramFrame& frame, double px);

// Contest legs: a polyline through fixes with a label per turnpoint.
struct ContestShape {
  std::string name;  // "Free distance", "Free triangle", "FAI triangle"
  std::vector<geo::TmPoint> points;
  std::vector<std::string> labels;
  bool closingGap = false;  // the first and last point are the triangle's start and end
};
// The free distance and both triangles of an OLC result on `fixes` (the set it was run on).
// Indices outside the fixes leave the shape out.
std::vector<ContestShape> ContestShapes(std::span<const core::TrackPoint> fixes, const FlightPlane& plane,
                                        const analysis::OlcResult& result);

// Airspace outlines (as sent to instruments) whose box comes within `nearMetres` of the track's.
struct AirspaceOutline {
  std::string name;
  std::vector<geo::TmPoint> points;
};
std::vector<AirspaceOutline> AirspaceNearTrack(const core::CtrList& zones, const FlightPlane& plane,
                                               double nearMetres = 20000);

}  // namespace tarnvik::app
