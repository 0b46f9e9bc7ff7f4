// "Edit waypoint" through its form: the checks in their order with their texts, the ranges of
// easting and northing, heights beyond 32 bits, positions that stay put when OK is pressed
// without typing, and typed UTM positions against GeographicLib's inverse.
#include "app/waypoint_edit_form.h"

#include <GeographicLib/TransverseMercator.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>

#include "app/views.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

core::Waypoint Stored() {
  core::Waypoint w;
  std::strcpy(w.id, "VOSS");
  std::strcpy(w.comment, "HANGUR TAKEOFF");
  w.altitude = 660;
  w.latitude = *core::LatitudeFromDegrees(60.65);
  w.longitude = *core::LongitudeFromDegrees(6.38);
  return w;
}

// An open form with every field typed anew (nothing left as the form showed it).
WaypointEditForm Typed(bool utm) {
  WaypointEditForm form = OpenWaypointEditForm(Stored(), utm, true);
  form.id = "ab12";
  form.comment = "new top";
  form.height = "1200";
  if (utm) {
    form.position = {"32V", "0350000", "6700000"};
  } else {
    form.position = {"", "N 61", "E 7 30"};
  }
  return form;
}

TEST(WaypointEditForm, EachBadFieldGivesItsTextAndNothingAfterItIsChecked) {
  struct Case {
    bool utm;
    std::function<void(WaypointEditForm&)> type;
    const char* text;
  };
  const Case cases[] = {
      {false, [](WaypointEditForm& f) { f.id = ""; f.height = ""; }, "Missing ID input"},
      {false, [](WaypointEditForm& f) { f.id = "AB CD"; }, "Bad ID"},
      {false, [](WaypointEditForm& f) { f.id = "TOP*"; f.height = "x"; }, "Bad ID"},
      {false, [](WaypointEditForm& f) { f.height = ""; f.position.first = ""; }, "Missing height input"},
      {false, [](WaypointEditForm& f) { f.height = "12a"; }, "Bad height"},
      {false, [](WaypointEditForm& f) { f.height = "12.5"; }, "Bad height"},
      {false, [](WaypointEditForm& f) { f.height = "-"; }, "Bad height"},
      {false, [](WaypointEditForm& f) { f.height = "+-5"; }, "Bad height"},
      // Beyond 32 bits: refused, never wrapped.
      {false, [](WaypointEditForm& f) { f.height = "2147483648"; }, "Bad height"},
      {false, [](WaypointEditForm& f) { f.height = "-2147483649"; }, "Bad height"},
      {false, [](WaypointEditForm& f) { f.height = "99999999999999999999"; }, "Bad height"},
      {false, [](WaypointEditForm& f) { f.position.first = ""; }, "Missing latitude input"},
      {false, [](WaypointEditForm& f) { f.position.first = "N 90"; f.position.second = ""; }, "Bad latitude input"},
      {false, [](WaypointEditForm& f) { f.position.second = ""; }, "Missing longitude input"},
      {false, [](WaypointEditForm& f) { f.position.second = "E 7 60"; }, "Bad longitude input"},
      {true, [](WaypointEditForm& f) { f.position.zone = ""; }, "Missing zone input"},
      {true, [](WaypointEditForm& f) { f.position.zone = "61V"; f.position.first = ""; }, "Bad zone input"},
      {true, [](WaypointEditForm& f) { f.position.first = ""; }, "Missing easting input"},
      {true, [](WaypointEditForm& f) { f.position.first = "35000O"; }, "Bad easting character"},
      {true, [](WaypointEditForm& f) { f.position.first = "1000000.1"; }, "Easting value out of range"},
      {true, [](WaypointEditForm& f) { f.position.first = "-0.5"; f.position.second = ""; },
       "Easting value out of range"},
      {true, [](WaypointEditForm& f) { f.position.second = ""; }, "Missing northing input"},
      {true, [](WaypointEditForm& f) { f.position.second = "6.7e6"; }, "Bad northing character"},
      {true, [](WaypointEditForm& f) { f.position.second = "-1"; }, "Northing value out of range"},
      {true, [](WaypointEditForm& f) { f.position.second = "20000000.5"; }, "Northing value out of range"},
      // Inside the range but beyond the pole: the inverse series would give about 171 degrees.
      {true, [](WaypointEditForm& f) { f.position.second = "19000000"; }, "Northing value out of range"},
      {true, [](WaypointEditForm& f) { f.position.zone = "32M"; f.position.second = "20000000"; },
       "Northing value out of range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WaypointEditForm form = Typed(c.utm);
    c.type(form);
    testing::RecordingUi ui;
    EXPECT_EQ(CheckWaypointEdit(ui, form), -1);
    ui.ExpectOnly("Edit waypoint", c.text);
    const core::Waypoint stored = Stored();
    EXPECT_EQ(std::memcmp(&form.waypoint, &stored, sizeof stored), 0) << "changed on a failure";
  }
}

TEST(WaypointEditForm, AcceptsTheEdgesOfEveryRange) {
  struct Case {
    bool utm;
    std::function<void(WaypointEditForm&)> type;
    std::function<void(const core::Waypoint&)> expect;
  };
  const Case cases[] = {
      {true, [](WaypointEditForm& f) { f.position.first = "1000000"; }, [](const core::Waypoint& w) {
         EXPECT_GT(w.longitude, *core::LongitudeFromDegrees(12.0));  // 500 km east of 9 E at 60 N
       }},
      {true, [](WaypointEditForm& f) { f.position.first = "0"; f.position.second = "0,0"; },
       [](const core::Waypoint& w) { EXPECT_EQ(w.latitude, 0); }},
      // Band "B" keeps UTM numbers below 80 S: 10 km from the false northing is near the pole.
      {true, [](WaypointEditForm& f) { f.position = {"31 b", "500000", "10000"}; },
       [](const core::Waypoint& w) { EXPECT_LT(w.latitude, *core::LatitudeFromDegrees(-89.8)); }},
      {false, [](WaypointEditForm& f) { f.height = "2147483647"; }, [](const core::Waypoint& w) {
         EXPECT_EQ(w.altitude, 2147483647);
       }},
      {false, [](WaypointEditForm& f) { f.height = " -2147483648 "; }, [](const core::Waypoint& w) {
         EXPECT_EQ(w.altitude, INT32_MIN);
       }},
      {false, [](WaypointEditForm& f) { f.height = "+0"; }, [](const core::Waypoint& w) { EXPECT_EQ(w.altitude, 0); }},
      {false, [](WaypointEditForm& f) { f.id = " top1 "; f.comment = "  la*nding "; }, [](const core::Waypoint& w) {
         EXPECT_STREQ(w.id, "TOP1");
         EXPECT_STREQ(w.comment, "LA-NDING");
       }},
      {false, [](WaypointEditForm& f) { f.position = {"", "s 12 30", "w 0,5"}; }, [](const core::Waypoint& w) {
         EXPECT_EQ(w.latitude, *core::LatitudeFromDegrees(-12.5));
         EXPECT_EQ(w.longitude, *core::LongitudeFromDegrees(-0.5));
       }},
  };
  for (const Case& c : cases) {
    WaypointEditForm form = Typed(c.utm);
    c.type(form);
    testing::RecordingUi ui;
    ASSERT_EQ(CheckWaypointEdit(ui, form), 0) << (ui.shown.empty() ? "" : ui.shown[0].text);
    c.expect(form.waypoint);
  }
}

TEST(WaypointEditForm, OpensWithTheBufferAsTheWaypointsViewShowsIt) {
  const core::Waypoint w = Stored();
  for (bool utm : {false, true}) {
    WaypointEditForm form = OpenWaypointEditForm(w, utm, false);
    EXPECT_EQ(form.id, "VOSS");
    EXPECT_EQ(form.comment, "HANGUR TAKEOFF");
    EXPECT_EQ(form.height, "660");
    if (utm) {
      EXPECT_EQ(form.position.zone, WaypointCellText(w, 1, true));
      EXPECT_EQ(form.position.first, WaypointCellText(w, 2, true));
      EXPECT_EQ(form.position.second, WaypointCellText(w, 3, true));
    } else {
      EXPECT_EQ(form.position.zone, "");
      EXPECT_EQ(form.position.first, WaypointCellText(w, 1, false));
      EXPECT_EQ(form.position.second, WaypointCellText(w, 2, false));
    }
  }
  // The box switches the notation of the position fields, from the waypoint.
  WaypointEditForm form = OpenWaypointEditForm(w, false, false);
  form.position.first = "N 10";
  SetWaypointEditUtm(form, true);
  EXPECT_TRUE(form.utm);
  EXPECT_EQ(form.position.first, WaypointCellText(w, 2, true));
  // "&New waypoint" keeps position and height and clears ID and comment.
  const core::Waypoint fresh = NewWaypointFrom(w);
  EXPECT_STREQ(fresh.id, "");
  EXPECT_STREQ(fresh.comment, "");
  EXPECT_EQ(fresh.altitude, 660);
  EXPECT_EQ(fresh.latitude, w.latitude);
  // Fields are cut to their boxes.
  form.SetField(WaypointEditField::Id, "ABCDEFGH");
  EXPECT_EQ(form.id, "ABCDEF");
  form.SetPositionField(PositionField::First, std::string(50, '1'));
  EXPECT_EQ(form.position.first.size(), 40u);
}

// OK without touching the position keeps the stored semicircles (the texts are rounded to whole
// metres or 0.01 second); a typed field is read, an untouched one in degrees keeps its value.
TEST(WaypointEditForm, UntouchedPositionFieldsKeepTheStoredSemicircles) {
  std::mt19937_64 random(61);
  std::uniform_int_distribution<int32_t> latitude(-(1 << 30), 1 << 30);
  std::uniform_int_distribution<int32_t> longitude(INT32_MIN, INT32_MAX);
  for (int i = 0; i < 200; ++i) {
    core::Waypoint w = Stored();
    w.latitude = latitude(random);
    w.longitude = longitude(random);
    for (bool utm : {false, true}) {
      WaypointEditForm form = OpenWaypointEditForm(w, utm, false);
      testing::RecordingUi ui;
      ASSERT_EQ(CheckWaypointEdit(ui, form), 0);
      EXPECT_EQ(form.waypoint.latitude, w.latitude) << i;
      EXPECT_EQ(form.waypoint.longitude, w.longitude) << i;
    }
  }
  // Even the poles and 180 degrees, whose texts the parsers refuse.
  core::Waypoint pole = Stored();
  pole.latitude = -(1 << 30);
  pole.longitude = INT32_MIN;
  WaypointEditForm form = OpenWaypointEditForm(pole, false, false);
  EXPECT_EQ(form.position.first, "S 90  00  00.00");
  testing::RecordingUi ui;
  ASSERT_EQ(CheckWaypointEdit(ui, form), 0);
  EXPECT_EQ(form.waypoint.latitude, pole.latitude);
  // A typed longitude is read; the latitude left alone keeps its semicircles.
  form = OpenWaypointEditForm(Stored(), false, false);
  form.position.second = "E 7";
  ASSERT_EQ(CheckWaypointEdit(ui, form), 0);
  EXPECT_EQ(form.waypoint.latitude, Stored().latitude);
  EXPECT_EQ(form.waypoint.longitude, *core::LongitudeFromDegrees(7.0));
}

// A UTM position typed in the dialog lands within one semicircle of GeographicLib's inverse
// transverse Mercator about the zone's meridian.
TEST(WaypointEditForm, TypedUtmLandsWithinASemicircleOfGeographicLib) {
  const GeographicLib::TransverseMercator& oracle = GeographicLib::TransverseMercator::UTM();
  std::mt19937_64 random(1989);
  std::uniform_real_distribution<double> latitude(-80.0, 84.0);
  std::uniform_real_distribution<double> offset(-4.0, 4.0);
  std::uniform_int_distribution<int> zone(1, 60);
  for (int i = 0; i < 1000; ++i) {
    const double lat = latitude(random);
    const int z = zone(random);
    const double meridian = (2 * z - 61) * 3.0;
    double x = 0;
    double y = 0;
    oracle.Forward(meridian, lat, meridian + offset(random), x, y);
    char zoneText[8];
    char easting[32];
    char northing[32];
    std::snprintf(zoneText, sizeof zoneText, "%d%c", z, lat < 0 ? 'M' : 'N');
    std::snprintf(easting, sizeof easting, "%.3f", x + 500000);
    std::snprintf(northing, sizeof northing, "%.3f", lat < 0 ? y + 10000000 : y);
    WaypointEditForm form = Typed(true);
    form.position = {zoneText, easting, northing};
    testing::RecordingUi ui;
    ASSERT_EQ(CheckWaypointEdit(ui, form), 0) << zoneText << " " << easting << " " << northing;
    double oracleLat = 0;
    double oracleLon = 0;
    oracle.Reverse(meridian, std::atof(easting) - 500000, std::atof(northing) - (lat < 0 ? 10000000 : 0), oracleLat,
                   oracleLon);
    EXPECT_LE(std::abs(int64_t{form.waypoint.latitude} - *core::LatitudeFromDegrees(oracleLat)), 1)
        << zoneText << " " << easting << " " << northing;
    EXPECT_LE(std::abs(int64_t{form.waypoint.longitude} - *core::LongitudeFromDegrees(oracleLon)), 1)
        << zoneText << " " << easting << " " << northing;
  }
}

}  // namespace
}  // namespace tarnvik::app
