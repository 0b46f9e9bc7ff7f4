#include "app/flight_view_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/records.h"

namespace tarnvik::app {
namespace {

using core::TrackPoint;

TrackPoint Fix(double lat, double lon, uint32_t t, double heightM = 1000, uint32_t flags = 0) {
  TrackPoint p;
  p.flags = flags;
  p.time = t;
  p.latitude = core::LatitudeFromDegrees(lat).value();
  p.longitude = core::LongitudeFromDegrees(lon > 180 ? lon - 360 : lon).value();
  p.height = static_cast<int32_t>(heightM * 10);
  return p;
}

constexpr uint32_t kNoon = 1089849600 + 12 * 3600;  // a whole day plus 12:00 UTC

// A square of about 10 km on a side, flown once round.
std::vector<TrackPoint> Square(double lat, double lon) {
  double dLat = 10000 / 111195.0, dLon = 10000 / (111195.0 * std::cos(lat * M_PI / 180));
  return {Fix(lat, lon, kNoon), Fix(lat, lon + dLon, kNoon + 600), Fix(lat + dLat, lon + dLon, kNoon + 1200),
          Fix(lat + dLat, lon, kNoon + 1800), Fix(lat, lon, kNoon + 2400)};
}

TEST(FlightViewModel, SquareAndAntimeridianFlightsFitWithOneScale) {
  struct Case {
    const char* name;
    double lon;
  } cases[] = {{"Alps", 7.6}, {"west of the antimeridian", 179.8}, {"straddling it", 179.95}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TrackPoint> fixes = Square(46.0, c.lon);
    FlightPlane plane = BuildFlightPlane(fixes);
    // The plane extent is the square's, not the width of the world.
    EXPECT_NEAR(plane.maxX - plane.minX, 10000, 150);
    EXPECT_NEAR(plane.maxY - plane.minY, 10000, 150);
    Viewport view = FitFlight(plane, 840, 440, 20);
    // Equal scale: the taller side decides; both sides fit inside the margins.
    EXPECT_NEAR(view.metresPerPixel, (plane.maxY - plane.minY) / 400, 1e-9);
    for (const geo::TmPoint& p : plane.points) {
      EXPECT_GE(view.PixelX(p.x), 20 - 1e-6);
      EXPECT_LE(view.PixelX(p.x), 820 + 1e-6);
      EXPECT_GE(view.PixelY(p.y), 20 - 1e-6);
      EXPECT_LE(view.PixelY(p.y), 420 + 1e-6);
    }
    // Neighbouring fixes are neighbours on the picture: no leg jumps across the world.
    for (size_t i = 1; i < plane.points.size(); ++i)
      EXPECT_LT(std::hypot(plane.points[i].x - plane.points[i - 1].x, plane.points[i].y - plane.points[i - 1].y), 10200);
  }
}

TEST(FlightViewModel, DegenerateLogsDrawWithoutError) {
  struct Case {
    const char* name;
    std::vector<TrackPoint> fixes;
  } cases[] = {
      {"empty", {}},
      {"one fix", {Fix(46, 7, kNoon)}},
      {"two fixes, same time", {Fix(46, 7, kNoon), Fix(46.001, 7, kNoon)}},
      {"no heights", {Fix(46, 7, kNoon, 0), Fix(46.01, 7, kNoon + 10, 0), Fix(46.02, 7, kNoon + 20, 0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FlightPlane plane = BuildFlightPlane(c.fixes);
    Viewport view = FitFlight(plane, 400, 300);
    EXPECT_TRUE(std::isfinite(view.metresPerPixel) && view.metresPerPixel > 0);
    BarogramFrame frame = FitBarogram(plane, 50, 10, 300, 100);
    EXPECT_GT(frame.t1, frame.t0);
    EXPECT_GT(frame.h1, frame.h0);
    DecimatedPath plan = DecimatePlan(c.fixes, plane, view);
    DecimatedPath baro = DecimateBarogram(c.fixes, plane, frame);
    EXPECT_EQ(plan.indices.size(), c.fixes.empty() ? 0u : plan.indices.size());
    for (uint32_t i : baro.indices) {
      EXPECT_TRUE(std::isfinite(frame.PixelX(c.fixes[i].time)));
      EXPECT_TRUE(std::isfinite(frame.PixelY(c.fixes[i].height / 10.0)));
    }
    for (const Tick& t : HeightTicks(frame)) EXPECT_TRUE(std::isfinite(t.pixel));
    if (!c.fixes.empty()) {
      EXPECT_FALSE(plan.indices.empty());
      EXPECT_FALSE(GridLines(plane, view).empty());
    }
  }
}

TEST(FlightViewModel, DecimationKeepsEveryColumnsExtremes) {
  // 66,000 fixes at one a second climbing and sinking in a saw-tooth: many fixes per column.
  std::vector<TrackPoint> fixes;
  for (uint32_t i = 0; i < 66000; ++i) {
    double h = 1000 + 7.0 * ((i * 37) % 101) + (i == 40000 ? 3000 : 0) - (i == 12345 ? 900 : 0);
    fixes.push_back(Fix(46 + i * 1e-5, 7, kNoon + i, h));
  }
  FlightPlane plane = BuildFlightPlane(fixes);
  BarogramFrame frame = FitBarogram(plane, 0, 0, 800, 200);
  DecimatedPath path = DecimateBarogram(fixes, plane, frame);
  ASSERT_FALSE(path.indices.empty());
  EXPECT_LE(path.indices.size(), 4u * 801);
  EXPECT_TRUE(std::is_sorted(path.indices.begin(), path.indices.end()));
  // For every column: the highest and lowest fix that falls into it is kept.
  std::vector<int64_t> high(801, -1), low(801, -1);
  for (size_t i = 0; i < fixes.size(); ++i) {
    int c = std::min(800, static_cast<int>(frame.PixelX(fixes[i].time)));
    if (high[c] < 0 || fixes[i].height > fixes[high[c]].height) high[c] = static_cast<int64_t>(i);
    if (low[c] < 0 || fixes[i].height < fixes[low[c]].height) low[c] = static_cast<int64_t>(i);
  }
  auto kept = [&](int64_t index) {
    // An equal height elsewhere in the same column is as good as this one.
    int c = std::min(800, static_cast<int>(frame.PixelX(fixes[index].time)));
    for (uint32_t k : path.indices)
      if (std::min(800, static_cast<int>(frame.PixelX(fixes[k].time))) == c && fixes[k].height == fixes[index].height)
        return true;
    return false;
  };
  for (int c = 0; c <= 800; ++c) {
    if (high[c] < 0) continue;
    EXPECT_TRUE(kept(high[c])) << "column " << c;
    EXPECT_TRUE(kept(low[c])) << "column " << c;
  }
  // The plan view of the same log is cut to a few points per column as well.
  Viewport view = FitFlight(plane, 800, 600);
  DecimatedPath plan = DecimatePlan(fixes, plane, view);
  EXPECT_LE(plan.indices.size(), 4u * 802);
  EXPECT_EQ(plan.indices.front(), 0u);
  EXPECT_EQ(plan.indices.back(), 65999u);
}

TEST(FlightViewModel, NewSegmentBreaksTheLine) {
  std::vector<TrackPoint> fixes = {Fix(46, 7, kNoon), Fix(46.01, 7, kNoon + 60), Fix(46.2, 7.2, kNoon + 120, 1000, 1),
                                   Fix(46.21, 7.2, kNoon + 180)};
  FlightPlane plane = BuildFlightPlane(fixes);
  DecimatedPath path = DecimatePlan(fixes, plane, FitFlight(plane, 400, 400));
  ASSERT_EQ(path.indices.size(), 4u);
  EXPECT_EQ(path.breakBefore, (std::vector<uint8_t>{1, 0, 1, 0}));
}

TEST(FlightViewModel, PickingFindsTheNearestFix) {
  std::vector<TrackPoint> fixes = Square(46.0, 7.6);
  FlightPlane plane = BuildFlightPlane(fixes);
  Viewport view = FitFlight(plane, 500, 500);
  struct Case {
    size_t fix;
    double dx, dy;
  } cases[] = {{1, 3, -2}, {2, -5, 4}, {3, 0, 0}};
  for (const Case& c : cases) {
    double px = view.PixelX(plane.points[c.fix].x) + c.dx, py = view.PixelY(plane.points[c.fix].y) + c.dy;
    EXPECT_EQ(PickPlanFix(plane, view, px, py), static_cast<int64_t>(c.fix));
  }
  EXPECT_EQ(PickPlanFix(plane, view, 250, 250), -1);  // the middle of the square is far from every fix
  BarogramFrame frame = FitBarogram(plane, 40, 0, 600, 100);
  EXPECT_EQ(PickBarogramFix(fixes, frame, frame.PixelX(kNoon + 1250)), 2);
  EXPECT_EQ(PickBarogramFix(fixes, frame, -100), 0);
}

TEST(FlightViewModel, ZoomKeepsThePointUnderTheCursor) {
  Viewport view{1000, 2000, 10, 400, 300};
  double x = view.PlaneX(123), y = view.PlaneY(45);
  ZoomAt(view, 123, 45, 2.5);
  EXPECT_DOUBLE_EQ(view.metresPerPixel, 4);
  EXPECT_NEAR(view.PixelX(x), 123, 1e-9);
  EXPECT_NEAR(view.PixelY(y), 45, 1e-9);
  PanBy(view, 10, -20);
  EXPECT_NEAR(view.PixelX(x), 133, 1e-9);
  EXPECT_NEAR(view.PixelY(y), 25, 1e-9);
}

TEST(FlightViewModel, ScaleBarAndStepsFollowOneTwoFive) {
  struct Case {
    double metresPerPixel;
    double metres;
    const char* label;
  } cases[] = {{10, 1000, "1 km"}, {24, 2000, "2 km"}, {60, 5000, "5 km"}, {1, 100, "100 m"}, {300, 20000, "20 km"}, {600, 50000, "50 km"}};
  for (const Case& c : cases) {
    ScaleBar bar = ComputeScaleBar(Viewport{0, 0, c.metresPerPixel, 500, 400});
    EXPECT_DOUBLE_EQ(bar.metres, c.metres) << c.label;
    EXPECT_EQ(bar.label, c.label);
    EXPECT_NEAR(bar.pixels * c.metresPerPixel, c.metres, 1e-6);
  }
}

TEST(FlightViewModel, TimeAxisShowsUtcHoursAndMinutes) {
  FlightPlane plane;
  plane.firstTime = kNoon - 10 * 60 - 7;  // 11:49:53
  plane.lastTime = kNoon + 2 * 3600 + 5;
  BarogramFrame frame = FitBarogram(plane, 0, 0, 800, 100);
  std::vector<Tick> ticks = TimeTicks(frame, 80);
  ASSERT_GE(ticks.size(), 5u);
  EXPECT_EQ(ticks.front().label, "12:00");  // first tick at the first whole step in the range
  for (const Tick& t : ticks) {
    EXPECT_GE(t.pixel, 0);
    EXPECT_LE(t.pixel, 800);
    EXPECT_EQ(t.label.size(), 5u);
  }
  EXPECT_EQ(ticks.back().label, "14:00");
}

TEST(FlightViewModel, GridLinesAreLabelledAndCrossTheView) {
  for (double lon : {7.6, 179.95}) {
    SCOPED_TRACE(lon);
    std::vector<TrackPoint> fixes = Square(46.0, lon);
    FlightPlane plane = BuildFlightPlane(fixes);
    Viewport view = FitFlight(plane, 600, 600);
    std::vector<GridLine> lines = GridLines(plane, view);
    int parallelsInView = 0, meridiansInView = 0;
    bool east = false, west = false;
    for (const GridLine& line : lines) {
      east |= line.meridian && line.label.back() == 'E';
      west |= line.meridian && line.label.back() == 'W';
      if (!line.meridian) {
        EXPECT_EQ(line.label.back(), 'N');
      }
      bool inside = false;
      for (size_t k = 0; k + 1 < line.pixels.size(); k += 2) {
        // A short curve in the picture's neighbourhood, not a trip round the world.
        EXPECT_LT(std::fabs(line.pixels[k]), 2000) << line.label;
        inside |= line.pixels[k] > 0 && line.pixels[k] < 600 && line.pixels[k + 1] > 0 && line.pixels[k + 1] < 600;
      }
      (line.meridian ? meridiansInView : parallelsInView) += inside ? 1 : 0;
    }
    EXPECT_GE(parallelsInView, 2);
    EXPECT_GE(meridiansInView, 2);
    EXPECT_TRUE(lon < 100 ? east && !west : east && west);  // both sides of 180 degrees are labelled
  }
}

TEST(FlightViewModel, ContestLegsFollowTheResultFixes) {
  std::vector<TrackPoint> fixes = Square(46.0, 7.6);
  FlightPlane plane = BuildFlightPlane(fixes);
  analysis::OlcResult result;
  int32_t five[5] = {0, 1, 2, 3, 4};
  std::copy(five, five + 5, result.five);
  result.fiveSum = 40000;
  result.faiTriangle.found = true;
  int32_t tri[5] = {0, 1, 2, 3, 40};  // an index outside the log drops the shape
  std::copy(tri, tri + 5, result.faiTriangle.points);
  std::vector<ContestShape> shapes = ContestShapes(fixes, plane, result);
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(shapes[0].name, "Free distance");
  ASSERT_EQ(shapes[0].points.size(), 5u);
  EXPECT_NEAR(shapes[0].points[2].x, plane.points[2].x, 1e-6);
  EXPECT_NEAR(shapes[0].points[2].y, plane.points[2].y, 1e-6);
}

TEST(FlightViewModel, ClimbClassesComeFromTheWindowedClimb) {
  // Straight climb at 3 m/s, then sink at 1 m/s.
  std::vector<TrackPoint> fixes;
  double h = 1000;
  for (uint32_t i = 0; i < 240; ++i) {
    fixes.push_back(Fix(46 + i * 1e-4, 7, kNoon + i, h));
    h += i < 120 ? 3 : -1;
  }
  FlightPlane plane = BuildFlightPlane(fixes);
  EXPECT_EQ(plane.climb[0], ClimbClass::Level);  // no climb value for the first fix
  EXPECT_EQ(plane.climb[100], ClimbClass::StrongClimb);
  EXPECT_EQ(plane.climb[230], ClimbClass::Sink);
  EXPECT_NEAR(plane.speedKmh[100], 11.1195 * 3.6, 1.0);
}

}  // namespace
}  // namespace tarnvik::app
