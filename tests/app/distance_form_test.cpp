// "Calculate distance" through its form: every field check with its text and caption, the
// opening with and without waypoints, the waypoint choices, the "&UTM" box, round trips of the
// stored positions and the distance against GeographicLib.
#include "app/distance_form.h"

#include <GeographicLib/Geodesic.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>

#include "geo/coordinate_text.h"
#include "geo/geodesy.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

constexpr double kRadToDeg = 180.0 / std::numbers::pi;

core::SemicirclePair Degrees(double latitude, double longitude) {
  return {*core::LatitudeFromDegrees(latitude), *core::LongitudeFromDegrees(longitude)};
}

core::Waypoint Point(const char* id, const char* comment, core::SemicirclePair position) {
  core::Waypoint w;
  std::strncpy(w.id, id, sizeof w.id - 1);
  std::strncpy(w.comment, comment, sizeof w.comment - 1);
  w.latitude = position.latitude;
  w.longitude = position.longitude;
  return w;
}

double OracleMetres(core::SemicirclePair a, core::SemicirclePair b) {
  double metres = 0;
  GeographicLib::Geodesic::WGS84().Inverse(core::SemicircleToRadians(a.latitude) * kRadToDeg,
                                           core::SemicircleToRadians(a.longitude) * kRadToDeg,
                                           core::SemicircleToRadians(b.latitude) * kRadToDeg,
                                           core::SemicircleToRadians(b.longitude) * kRadToDeg, metres);
  return metres;
}

// A form in degree or UTM mode over an empty list with two good positions typed.
DistanceForm TypedForm(bool utm) {
  DistanceForm form = OpenDistanceForm(DistanceToolState{utm, {}, {}}, core::WaypointList{});
  if (utm) {
    form.from = {"32V", "0500000", "6700000"};
    form.to = {"33W", "0450000", "7100000"};
  } else {
    form.from = {"", "N 60 30 00", "E 008 15 00"};
    form.to = {"", "61,5", "e 9 30,5"};
  }
  return form;
}

TEST(DistanceForm, EachBadFieldGivesItsTextUnderItsCaptionAndNothingAfterItIsRead) {
  struct Case {
    bool utm;
    std::function<void(DistanceForm&)> type;
    const char* caption;
    const char* text;
  };
  const Case cases[] = {
      {false, [](DistanceForm& f) { f.from.first = ""; }, "Reading FROM latitude", "Missing input"},
      {false, [](DistanceForm& f) { f.from.first = "N 90"; }, "Reading FROM latitude", "Bad latitude input"},
      {false, [](DistanceForm& f) { f.from.second = ""; }, "Reading FROM longitude", "Missing input"},
      {false, [](DistanceForm& f) { f.from.second = "E 180"; }, "Reading FROM longitude", "Bad longitude input"},
      {false, [](DistanceForm& f) { f.to.first = ""; }, "Reading TO latitude", "Missing input"},
      {false, [](DistanceForm& f) { f.to.first = "45 60"; }, "Reading TO latitude", "Bad latitude input"},
      {false, [](DistanceForm& f) { f.to.second = ""; }, "Reading TO longitude", "Missing input"},
      {false, [](DistanceForm& f) { f.to.second = "E 8x"; }, "Reading TO longitude", "Bad longitude input"},
      // The first failure only: a bad FROM longitude hides an empty TO latitude.
      {false, [](DistanceForm& f) { f.from.second = "W"; f.to.first = ""; }, "Reading FROM longitude",
       "Bad longitude input"},
      {true, [](DistanceForm& f) { f.from.zone = ""; }, "Reading FROM zone", "Missing input"},
      {true, [](DistanceForm& f) { f.from.zone = "61V"; }, "Reading FROM zone", "Bad zone input"},
      {true, [](DistanceForm& f) { f.from.first = ""; }, "Reading FROM easting", "Missing input"},
      {true, [](DistanceForm& f) { f.from.first = "5e5"; }, "Reading FROM easting", "Bad input"},
      {true, [](DistanceForm& f) { f.from.second = ""; }, "Reading FROM northing", "Missing input"},
      {true, [](DistanceForm& f) { f.from.second = "x"; }, "Reading FROM northing", "Bad input"},
      // A northing the inverse series turns into a latitude near 180 degrees, or one so large
      // that nothing finite comes back: refused under the northing's own caption, before the TO
      // zone is read.
      {true, [](DistanceForm& f) { f.from.second = "20000000"; f.to.zone = ""; }, "Reading FROM northing",
       "Bad input"},
      {true, [](DistanceForm& f) { f.from.first = "214748364"; f.from.second = "214748364"; },
       "Reading FROM northing", "Bad input"},
      {true, [](DistanceForm& f) { f.to.zone = ""; }, "Reading TO zone", "Missing input"},
      {true, [](DistanceForm& f) { f.to.zone = "32I"; }, "Reading TO zone", "Bad input"},  // not "Bad zone input"
      {true, [](DistanceForm& f) { f.to.first = ""; }, "Reading TO easting", "Missing input"},
      {true, [](DistanceForm& f) { f.to.first = "450000 m"; }, "Reading TO easting", "Bad input"},
      {true, [](DistanceForm& f) { f.to.second = ""; }, "Reading TO northing", "Missing input"},
      {true, [](DistanceForm& f) { f.to.second = "7100000.5.5"; }, "Reading TO northing", "Bad input"},
      {true, [](DistanceForm& f) { f.to.zone = "33N"; f.to.second = "19999999"; }, "Reading TO northing",
       "Bad input"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.caption) + " / " + c.text);
    DistanceForm form = TypedForm(c.utm);
    const DistanceToolState before = form.state;
    const std::string distanceBefore = form.distance;
    c.type(form);
    testing::RecordingUi ui;
    EXPECT_EQ(CalculateDistance(ui, form), -1);
    ui.ExpectOnly(c.caption, c.text);
    EXPECT_EQ(form.state.from, before.from);
    EXPECT_EQ(form.state.to, before.to);
    EXPECT_EQ(form.distance, distanceBefore);
  }
  // The two good forms pass.
  for (bool utm : {false, true}) {
    DistanceForm form = TypedForm(utm);
    testing::RecordingUi ui;
    EXPECT_EQ(CalculateDistance(ui, form), 0);
    EXPECT_TRUE(ui.shown.empty());
  }
}

TEST(DistanceForm, OpeningChoosesTheFirstWaypointInBothListsOrShowsTheStoredPositions) {
  core::WaypointList list;
  list.waypoints = {Point("VOSS", "HANGUR TAKEOFF", Degrees(60.65, 6.38)),
                    Point("KVAM", "LANDING", Degrees(60.36, 6.15))};
  DistanceToolState stored{false, Degrees(46.7, 7.9), Degrees(46.5, 8.25)};
  DistanceForm form = OpenDistanceForm(stored, list);
  ASSERT_EQ(form.choices.size(), 2u);
  EXPECT_EQ(form.choices[1].id, "KVAM");
  EXPECT_EQ(form.fromChoice, 0);
  EXPECT_EQ(form.toChoice, 0);
  EXPECT_EQ(form.ChosenName(DistanceEnd::From), "HANGUR TAKEOFF");
  EXPECT_EQ(form.ChosenName(DistanceEnd::To), "HANGUR TAKEOFF");
  EXPECT_EQ(form.from.first, "N 60  39  00.00");
  EXPECT_EQ(form.from.second, "E 006  22  48.00");
  EXPECT_EQ(form.to, form.from);
  EXPECT_EQ(form.distance, "0.00");
  EXPECT_EQ(form.state.from, Degrees(60.65, 6.38));
  EXPECT_EQ(form.state.to, Degrees(60.65, 6.38));

  // Without waypoints: the stored positions and their distance, in the stored notation.
  stored.utm = true;
  form = OpenDistanceForm(stored, core::WaypointList{});
  EXPECT_EQ(form.fromChoice, -1);
  EXPECT_EQ(form.ChosenName(DistanceEnd::From), "");
  EXPECT_EQ(form.from.zone, "32T");
  EXPECT_EQ(form.state.from, stored.from);
  EXPECT_EQ(form.state.to, stored.to);
  double shown = 0;
  ASSERT_EQ(std::sscanf(form.distance.c_str(), "%lf", &shown), 1);
  EXPECT_NEAR(shown, OracleMetres(stored.from, stored.to), 0.005 + 0.001);
}

TEST(DistanceForm, ChoosingAWaypointFillsItsEndAndRecalculates) {
  core::WaypointList list;
  list.waypoints = {Point("A", "", Degrees(47.1, 8.2)), Point("B", "SECOND", Degrees(46.9, 8.9))};
  DistanceForm form = OpenDistanceForm(DistanceToolState{}, list);
  testing::RecordingUi ui;
  ChooseDistanceWaypoint(ui, form, DistanceEnd::To, 1);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(form.toChoice, 1);
  EXPECT_EQ(form.ChosenName(DistanceEnd::To), "SECOND");
  EXPECT_EQ(form.to, FormatPositionFields(Degrees(46.9, 8.9), false));
  double shown = 0;
  ASSERT_EQ(std::sscanf(form.distance.c_str(), "%lf", &shown), 1);
  // The distance of the texts read (0.01" is about 0.3 m).
  EXPECT_NEAR(shown, OracleMetres(Degrees(47.1, 8.2), Degrees(46.9, 8.9)), 0.5);
  EXPECT_NEAR(form.state.to.latitude, Degrees(46.9, 8.9).latitude, 20);

  // A bad text typed at the other end speaks up, and the choice still fills its own end.
  form.from.first = "N 47 x";
  ChooseDistanceWaypoint(ui, form, DistanceEnd::To, 0);
  ui.ExpectOnly("Reading FROM latitude", "Bad latitude input");
  EXPECT_EQ(form.to, FormatPositionFields(Degrees(47.1, 8.2), false));
  ChooseDistanceWaypoint(ui, form, DistanceEnd::From, 2);  // no such waypoint: nothing happens
  EXPECT_EQ(form.fromChoice, 0);
  EXPECT_EQ(form.from.first, "N 47 x");
  EXPECT_TRUE(ui.shown.empty());

  // The "&UTM" box refills both ends from the chosen waypoints, dropping what was typed.
  SetDistanceUtm(form, true);
  EXPECT_TRUE(form.state.utm);
  EXPECT_EQ(form.from, FormatPositionFields(Degrees(47.1, 8.2), true));
  EXPECT_EQ(form.to, form.from);
  EXPECT_EQ(form.distance, "0.00");
  EXPECT_EQ(PositionFieldLabel(PositionField::First, true), "&Easting");
  EXPECT_EQ(PositionFieldLabel(PositionField::Second, false), "Lo&ngitude");
}

TEST(DistanceForm, ASuccessfulCalculateKeepsThePositionsItReadForTheNextOpening) {
  DistanceForm form = TypedForm(false);
  testing::RecordingUi ui;
  ASSERT_EQ(CalculateDistance(ui, form), 0);
  EXPECT_EQ(form.state.from, Degrees(60.5, 8.25));
  EXPECT_EQ(form.state.to, Degrees(61.5, 9.5 + 0.5 / 60));
  DistanceForm again = OpenDistanceForm(form.state, core::WaypointList{});
  EXPECT_EQ(again.from.first, "N 60  30  00.00");
  EXPECT_EQ(again.to.second, "E 009  30  30.00");
  EXPECT_EQ(again.distance, form.distance);
  // Toggling without waypoints refills from the stored positions.
  again.from.first = "";
  SetDistanceUtm(again, true);
  EXPECT_EQ(again.from, FormatPositionFields(Degrees(60.5, 8.25), true));
}

TEST(DistanceForm, ALegTheIterationCannotMeasureShowsErrorAndKeepsThePositionsRead) {
  DistanceForm form = OpenDistanceForm(DistanceToolState{}, core::WaypointList{});
  form.from = {"", "0", "0"};
  form.to = {"", "0", "179,8"};  // nearly antipodal: Vincenty's iteration does not converge
  testing::RecordingUi ui;
  EXPECT_EQ(CalculateDistance(ui, form), 0);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(form.distance, "Error");
  EXPECT_EQ(form.state.to, Degrees(0, 179.8));
  // An opening over the same stored positions says so too.
  EXPECT_EQ(OpenDistanceForm(form.state, core::WaypointList{}).distance, "Error");
}

// Opening with stored positions and pressing "&Calculate" without typing gives the positions
// back within the resolution of the texts: 0.01 second in degrees, half a metre of easting and
// northing in UTM (the fields show whole metres). The distance shown matches GeographicLib. In
// UTM the latitudes stop short of 84 N, whose band "Y" the zone reader does not take.
TEST(DistanceForm, CalculateWithoutTypingGivesTheStoredPositionsBack) {
  std::mt19937_64 random(20261210);
  std::uniform_real_distribution<double> latitude(-89.99, 89.99);
  std::uniform_real_distribution<double> longitude(-179.99, 179.99);
  for (int i = 0; i < 400; ++i) {
    const bool utm = i % 2 == 1;
    auto lat = [&] { return utm ? std::min(latitude(random), 83.99) : latitude(random); };
    DistanceToolState stored{utm, Degrees(lat(), longitude(random)), Degrees(lat(), longitude(random))};
    DistanceForm form = OpenDistanceForm(stored, core::WaypointList{});
    testing::RecordingUi ui;
    ASSERT_EQ(CalculateDistance(ui, form), 0) << (ui.shown.empty() ? "" : ui.shown[0].text);
    for (auto [was, now] : {std::pair{stored.from, form.state.from}, std::pair{stored.to, form.state.to}}) {
      if (!utm) {
        // 0.005" is 16.6 semicircles; one more for the rounding into semicircles.
        EXPECT_LE(std::abs(int64_t{was.latitude} - now.latitude), 18) << i;
        EXPECT_LE(std::abs(int64_t{was.longitude} - now.longitude), 18) << i;
        continue;
      }
      geo::UtmPoint a;
      geo::UtmFromGeo(GeoFromSemicircles(was), a);
      geo::UtmPoint b;
      b.zone = a.zone;
      geo::UtmFromGeo(GeoFromSemicircles(now), b);
      EXPECT_NEAR(b.easting, a.easting, 0.5 + 0.02) << i;
      EXPECT_NEAR(b.northing, a.northing, 0.5 + 0.02) << i;
    }
    if (form.distance == "Error") continue;  // nearly antipodal: Vincenty's iteration may not converge
    double shown = 0;
    ASSERT_EQ(std::sscanf(form.distance.c_str(), "%lf", &shown), 1);
    // Two decimals; the positions read were rounded to semicircles (under a centimetre).
    EXPECT_NEAR(shown, OracleMetres(form.state.from, form.state.to), 0.05) << i;
  }
}

// The distance of typed degrees against GeographicLib's geodesic on the same radians.
TEST(DistanceForm, DistanceOfTypedDegreesMatchesGeographicLib) {
  std::mt19937_64 random(406);
  std::uniform_real_distribution<double> latitude(-89.9, 89.9);
  std::uniform_real_distribution<double> longitude(-179.9, 179.9);
  int compared = 0;
  for (int i = 0; i < 300; ++i) {
    char text[4][32];
    std::snprintf(text[0], sizeof text[0], "%.7f", latitude(random));
    std::snprintf(text[1], sizeof text[1], "%.7f", longitude(random));
    std::snprintf(text[2], sizeof text[2], "%.7f", latitude(random));
    std::snprintf(text[3], sizeof text[3], "%.7f", longitude(random));
    DistanceForm form = OpenDistanceForm(DistanceToolState{}, core::WaypointList{});
    form.from = {"", text[0], text[1]};
    form.to = {"", text[2], text[3]};
    testing::RecordingUi ui;
    ASSERT_EQ(CalculateDistance(ui, form), 0);
    double radians[4];
    for (int k = 0; k < 4; ++k) ASSERT_EQ(geo::ParseAngle(text[k], k % 2 == 0, radians[k]), 0);
    double oracle = 0;
    GeographicLib::Geodesic::WGS84().Inverse(radians[0] * kRadToDeg, radians[1] * kRadToDeg,
                                             radians[2] * kRadToDeg, radians[3] * kRadToDeg, oracle);
    if (form.distance == "Error") continue;
    double shown = 0;
    ASSERT_EQ(std::sscanf(form.distance.c_str(), "%lf", &shown), 1);
    EXPECT_NEAR(shown, oracle, 0.005 + 0.001) << text[0] << " " << text[1] << " " << text[2] << " " << text[3];
    ++compared;
  }
  EXPECT_GT(compared, 290);
}

}  // namespace
}  // namespace tarnvik::app
