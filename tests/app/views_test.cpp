// Cell texts of the three views, checked against independent values: positions through
// GeographicLib's UTM, speeds through its geodesic lengths.
#include "app/views.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/UTMUPS.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

class NoGate : public TransferGate {
 public:
  void Init() override {}
  int Start(access::AccessRequest, uint64_t&) override { return -1; }
  int Abort() override { return 0; }
  void Shutdown() override {}
};

int32_t Semicircles(double degrees) { return static_cast<int32_t>(std::lround(degrees * 2147483648.0 / 180.0)); }
double Degrees(int32_t semicircles) { return semicircles * 180.0 / 2147483648.0; }

std::string Seven(double metres) {
  char b[16];
  std::snprintf(b, sizeof b, "%07d", static_cast<int>(std::trunc(metres + 0.5)));
  return b;
}

TEST(Views, ColumnSetsAndWidths) {
  auto names = [](std::span<const ViewColumn> cols) {
    std::string s;
    for (const auto& c : cols) s += std::string(c.header) + "/" + std::to_string(c.widthChars) + " ";
    return s;
  };
  EXPECT_EQ(names(ViewColumns(ViewMode::Tracklog, false)),
            "UTC date/10 UTC time/9 Latitude/13 Longitude/14 Height/7 km/h/7 ");
  EXPECT_EQ(names(ViewColumns(ViewMode::Tracklog, true)),
            "UTC date/10 UTC time/9 Zone/6 Easting/8 Northing/8 Height/7 km/h/7 ");
  EXPECT_EQ(names(ViewColumns(ViewMode::Waypoints, false)), "ID/9 Latitude/13 Longitude/14 Height/7 Name/62 ");
  EXPECT_EQ(names(ViewColumns(ViewMode::Waypoints, true)), "ID/9 Zone/6 Easting/8 Northing/8 Height/7 Name/62 ");
  EXPECT_EQ(names(ViewColumns(ViewMode::Ctr, true)),
            "Name/22 Floor (Remark)/15 Ceiling/15 Distance/9 Segments/9 ");
}

TEST(Views, HeightsInDecimetres) {
  const std::pair<int32_t, const char*> cases[] = {
      {0, "0.0"}, {1234, "123.4"}, {-5, "-0.5"}, {-15, "-1.5"}, {7, "0.7"}, {INT32_MIN, "-214748364.8"}};
  for (auto [dm, text] : cases) EXPECT_EQ(HeightDmText(dm), text) << dm;
}

TEST(Views, TrackCellsWithDateTimePositionUtmHeightAndSpeed) {
  // A southern-western track: 100 m legs due south every 10 s near Santiago de Chile, with a
  // segment start in the middle.
  std::vector<core::TrackPoint> points;
  const double lat0 = -33.45, lon0 = -70.66;
  const GeographicLib::Geodesic& g = GeographicLib::Geodesic::WGS84();
  for (int i = 0; i < 12; ++i) {
    double lat = 0, lon = 0;
    g.Direct(lat0, lon0, 180.0, 100.0 * i, lat, lon);
    core::TrackPoint p;
    p.time = *core::CalendarToTime({2007, 6, 0, 1, 13, 5, 9, 0}) + static_cast<uint32_t>(10 * i);
    p.latitude = Semicircles(lat);
    p.longitude = Semicircles(lon);
    p.height = 8234 - 10 * i;
    points.push_back(p);
  }
  points[0].flags = 1;
  points[9].flags = 1;

  EXPECT_EQ(TrackCellText(points, 0, 0, false), "2007-06-01");
  EXPECT_EQ(TrackCellText(points, 1, 1, false), "13:05:19");
  EXPECT_EQ(TrackCellText(points, 0, 2, false), "S 33  27  00.00");
  EXPECT_EQ(TrackCellText(points, 0, 3, false), "W 070  39  36.00");
  EXPECT_EQ(TrackCellText(points, 2, 4, false), "821.4");
  EXPECT_EQ(TrackCellText(points, 0, 5, false), "START");
  EXPECT_EQ(TrackCellText(points, 9, 5, false), "START");

  // The 60-second window at point 8 covers six 100 m legs: 600 m per minute, 36 km/h. The
  // positions are rounded to semicircles, so take the legs as GeographicLib measures them.
  double sum = 0;
  for (int i = 3; i <= 8; ++i) {
    double s = 0;
    g.Inverse(Degrees(points[i - 1].latitude), Degrees(points[i - 1].longitude), Degrees(points[i].latitude),
              Degrees(points[i].longitude), s);
    sum += s;
  }
  char expected[16];
  std::snprintf(expected, sizeof expected, "%.1f", sum * 0.06);
  EXPECT_EQ(TrackCellText(points, 8, 5, false), expected);
  EXPECT_EQ(std::string(expected), "36.0");
  // Point 11 is cut short by the segment start at 9: two legs in 60 s.
  EXPECT_EQ(TrackCellText(points, 11, 5, false), "12.0");

  // UTM columns: zone with band, easting and northing rounded.
  int zone = 0;
  bool north = true;
  double x = 0, y = 0;
  GeographicLib::UTMUPS::Forward(Degrees(points[4].latitude), Degrees(points[4].longitude), zone, north, x, y);
  EXPECT_EQ(TrackCellText(points, 4, 2, true), "19H");
  EXPECT_EQ(TrackCellText(points, 4, 3, true), Seven(x));
  EXPECT_EQ(TrackCellText(points, 4, 4, true), Seven(y));
  EXPECT_EQ(TrackCellText(points, 4, 5, true), "819.4");
  EXPECT_EQ(TrackCellText(points, 4, 6, true), "24.0");  // four legs back to the segment start
}

TEST(Views, WaypointAndCtrCellsThroughTheSessionsRows) {
  testing::RecordingUi ui;
  testing::FakeClock clock;
  NoGate gate;
  Session session(ui, clock, gate, "/home/pilot");

  core::Waypoint w;
  w.latitude = Semicircles(60.5);
  w.longitude = Semicircles(8.25);  // zone 32 by the Norway exception
  w.altitude = -12;
  std::strcpy(w.id, "VOSS01");
  std::strcpy(w.comment, "HANGUR TAKE-OFF");
  session.waypoints.waypoints = {w};
  core::CtrRecord zone;
  std::strcpy(zone.name, "OSLO TMA");
  std::strcpy(zone.floor, "FL 95");
  std::strcpy(zone.ceiling, "FL 195");
  zone.segments.resize(17);
  std::memset(zone.name, 'N', core::kCtrTextLength);  // a name of the full 50 characters
  session.ctrs.push_back(zone);

  session.viewMode = ViewMode::Waypoints;
  ListRows rows;
  rows.Load(session);
  ASSERT_EQ(rows.Count(), 1u);
  EXPECT_EQ(rows.CellText(0, 0), "VOSS01");
  EXPECT_EQ(rows.CellText(0, 1), "N 60  30  00.00");
  EXPECT_EQ(rows.CellText(0, 2), "E 008  15  00.00");
  EXPECT_EQ(rows.CellText(0, 3), "-12");
  EXPECT_EQ(rows.CellText(0, 4), "HANGUR TAKE-OFF");
  EXPECT_EQ(rows.CellText(1, 0), "");

  session.utmView = true;
  rows.Load(session);
  int z = 0;
  bool north = true;
  double x = 0, y = 0;
  GeographicLib::UTMUPS::Forward(Degrees(w.latitude), Degrees(w.longitude), z, north, x, y);
  ASSERT_EQ(z, 32);
  EXPECT_EQ(rows.CellText(0, 1), "32V");
  EXPECT_EQ(rows.CellText(0, 2), Seven(x));
  EXPECT_EQ(rows.CellText(0, 3), Seven(y));
  EXPECT_EQ(rows.CellText(0, 5), "HANGUR TAKE-OFF");

  session.viewMode = ViewMode::Ctr;
  rows.Load(session);
  EXPECT_EQ(rows.CellText(0, 0), std::string(50, 'N'));
  EXPECT_EQ(rows.CellText(0, 1), "FL 95");
  EXPECT_EQ(rows.CellText(0, 2), "FL 195");
  EXPECT_EQ(rows.CellText(0, 3), "200");
  EXPECT_EQ(rows.CellText(0, 4), "17");
}

}  // namespace
}  // namespace tarnvik::app
