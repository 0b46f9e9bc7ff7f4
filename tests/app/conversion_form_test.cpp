// "Coordinate conversion" through its form: the field checks with their captions, forced zones,
// the longitude wrap of a zone reaching past 180 degrees, and both directions against
// GeographicLib's transverse Mercator with the UTM scale.
#include "app/conversion_form.h"

#include <GeographicLib/TransverseMercator.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <random>

#include "geo/coordinate_text.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

constexpr double kRadToDeg = 180.0 / std::numbers::pi;

ConversionForm Filled() {
  ConversionForm form;
  form.latitude = "N 47 00 00";
  form.longitude = "E 8";
  form.zone = "32T";
  form.easting = "0500000.0000";
  form.northing = "5205000";
  return form;
}

double Number(const std::string& text) {
  double value = 0;
  EXPECT_EQ(geo::ParseDecimal(text.c_str(), value), 0) << text;
  return value;
}

double Angle(const std::string& text, bool latitude) {
  double radians = 0;
  EXPECT_EQ(geo::ParseAngle(text.c_str(), latitude, radians), 0) << text;
  return radians * kRadToDeg;
}

TEST(ConversionForm, EachBadFieldGivesItsTextUnderItsCaptionAndChangesNothing) {
  using Convert = int (*)(core::Ui&, ConversionForm&);
  struct Case {
    Convert convert;
    std::function<void(ConversionForm&)> type;
    const char* caption;
    const char* text;
  };
  const Case cases[] = {
      {ConvertToDegrees, [](ConversionForm& f) { f.zone = ""; }, "Decoding zone string", "Missing input"},
      {ConvertToDegrees, [](ConversionForm& f) { f.zone = "0V"; }, "Decoding zone string", "Bad input"},
      {ConvertToDegrees, [](ConversionForm& f) { f.zone = "32V x"; f.easting = ""; }, "Decoding zone string",
       "Bad input"},
      {ConvertToDegrees, [](ConversionForm& f) { f.easting = ""; }, "Decoding easting string", "Missing input"},
      {ConvertToDegrees, [](ConversionForm& f) { f.easting = "east"; }, "Decoding easting string", "Bad input"},
      {ConvertToDegrees, [](ConversionForm& f) { f.northing = ""; }, "Decoding northing string", "Missing input"},
      {ConvertToDegrees, [](ConversionForm& f) { f.northing = "52O5000"; }, "Decoding northing string",
       "Bad input"},
      // Northings the inverse series turns into no position: past the pole, or not finite.
      {ConvertToDegrees, [](ConversionForm& f) { f.northing = "20000000"; }, "Decoding northing string",
       "Bad input"},
      {ConvertToDegrees, [](ConversionForm& f) { f.zone = "01N"; f.northing = "10002000"; },
       "Decoding northing string", "Bad input"},
      {ConvertToDegrees, [](ConversionForm& f) { f.easting = "-214748364"; f.northing = "214748364"; },
       "Decoding northing string", "Bad input"},
      {ConvertToUtm, [](ConversionForm& f) { f.latitude = ""; }, "Decoding latitude string", "Missing input"},
      {ConvertToUtm, [](ConversionForm& f) { f.latitude = "90"; f.longitude = ""; }, "Decoding latitude string",
       "Bad latitude input"},
      {ConvertToUtm, [](ConversionForm& f) { f.longitude = ""; }, "Decoding longitude string", "Missing input"},
      {ConvertToUtm, [](ConversionForm& f) { f.longitude = "180"; }, "Decoding longitude string",
       "Bad longitude input"},
      {ConvertToUtm, [](ConversionForm& f) { f.zone = "61T"; }, "Decoding zone string", "Bad zone input"},
      {ConvertToUtm, [](ConversionForm& f) { f.zone = "32"; }, "Decoding zone string", "Bad zone input"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.caption) + " / " + c.text);
    ConversionForm form = Filled();
    c.type(form);
    const ConversionForm before = form;
    testing::RecordingUi ui;
    EXPECT_EQ(c.convert(ui, form), -1);
    ui.ExpectOnly(c.caption, c.text);
    EXPECT_EQ(form.latitude, before.latitude);
    EXPECT_EQ(form.longitude, before.longitude);
    EXPECT_EQ(form.zone, before.zone);
    EXPECT_EQ(form.easting, before.easting);
    EXPECT_EQ(form.northing, before.northing);
  }
}

TEST(ConversionForm, FieldsTakeEightyCharactersAndTheNoteHasTwoBlanks) {
  ConversionForm form;
  form.SetField(ConversionField::Northing, std::string(100, '1'));
  EXPECT_EQ(form.northing.size(), 80u);
  EXPECT_EQ(kConversionNote, "NOTE:  Only WGS84 is supported");
}

TEST(ConversionForm, AnEmptyZoneLetsTheConversionChooseAndATypedOneIsKeptFarOutside) {
  testing::RecordingUi ui;
  ConversionForm form;
  form.latitude = "N 60";
  form.longitude = "E 5";
  ASSERT_EQ(ConvertToUtm(ui, form), 0);
  EXPECT_EQ(form.zone, "32V");  // the Norway zone
  EXPECT_EQ(form.easting.size(), 12u);
  EXPECT_EQ(form.easting.substr(form.easting.size() - 5, 1), ".");

  form.latitude = "N 47";
  form.longitude = "E 8";
  form.zone = "20t";  // 123 degrees east of its meridian
  ASSERT_EQ(ConvertToUtm(ui, form), 0);
  EXPECT_EQ(form.zone, "20T");
  EXPECT_TRUE(std::isfinite(Number(form.easting)));
  EXPECT_TRUE(std::isfinite(Number(form.northing)));
  EXPECT_TRUE(ui.shown.empty());
}

// Zone 60 reaches past 180 degrees: easting 900000 at the equator lies near 179.4 W, given as a
// longitude within +-180 degrees as GeographicLib gives it.
TEST(ConversionForm, ALongitudePast180DegreesIsWrappedOntoItsMeridian) {
  testing::RecordingUi ui;
  ConversionForm form;
  form.zone = "60N";
  form.easting = "900000";
  form.northing = "0";
  ASSERT_EQ(ConvertToDegrees(ui, form), 0);
  EXPECT_EQ(form.longitude.substr(0, 5), "W 179");
  double oracleLatitude = 0;
  double oracleLongitude = 0;
  GeographicLib::TransverseMercator::UTM().Reverse(177, 400000, 0, oracleLatitude, oracleLongitude);
  EXPECT_LT(oracleLongitude, -179);
  EXPECT_NEAR(Angle(form.longitude, false), oracleLongitude, 1e-8);
  EXPECT_NEAR(Angle(form.latitude, true), oracleLatitude, 1e-8);
  // And zone 1 west of -180 degrees.
  form.zone = "01M";
  form.easting = "100000";
  form.northing = "9000000";
  ASSERT_EQ(ConvertToDegrees(ui, form), 0);
  EXPECT_EQ(form.longitude.substr(0, 5), "E 179");
}

// Random points within 4 degrees of a zone's meridian (the Norway and Svalbard zones and the
// southern polar band "B", which keeps UTM numbers, included): "To &UTM/UPS" matches
// GeographicLib's transverse Mercator about the meridian within 1.1 mm (the two series part by
// up to a millimetre of northing, the text adds 0.05 mm), and "To &degrees" of its own output
// gives the point back within 1e-8 degrees. Latitudes stop short of 84 N: the zone reader takes
// the bands "B" to "X", so the band "Y" north of it cannot be read back.
TEST(ConversionForm, BothDirectionsMatchGeographicLibWithinAZone) {
  const GeographicLib::TransverseMercator& oracle = GeographicLib::TransverseMercator::UTM();
  std::mt19937_64 random(4060);
  std::uniform_real_distribution<double> offset(-4.0, 4.0);
  std::uniform_real_distribution<double> latitude(-89.9, 83.99);
  std::uniform_int_distribution<int> zone(1, 60);
  double worstEasting = 0;
  double worstNorthing = 0;
  double worstDegrees = 0;
  for (int i = 0; i < 2000; ++i) {
    // Every fourth point in the Norway/Svalbard area, where the automatic zone is special.
    double lat = latitude(random);
    int z = zone(random);
    double lon = std::clamp((2 * z - 61) * 3.0 + offset(random), -179.9, 179.9);
    if (i % 4 == 0) {
      lat = 56 + std::fmod(std::fabs(lat), 27.99);
      lon = 3 + std::fmod(std::fabs(offset(random)) * 10, 39.0);
      z = 0;
    }
    char text[2][32];
    std::snprintf(text[0], sizeof text[0], "%.9f", lat);
    std::snprintf(text[1], sizeof text[1], "%.9f", lon);
    ConversionForm form;
    form.latitude = text[0];
    form.longitude = text[1];
    if (z != 0) {
      char zoneText[8];
      std::snprintf(zoneText, sizeof zoneText, "%02dC", z);  // the band letter is only checked
      form.zone = zoneText;
    }
    testing::RecordingUi ui;
    ASSERT_EQ(ConvertToUtm(ui, form), 0) << text[0] << " " << text[1];
    int shownZone = 0;
    char band = 0;
    ASSERT_EQ(geo::ParseUtmZone(form.zone.c_str(), shownZone, band), 0);
    if (z != 0) {
      EXPECT_EQ(shownZone, z);
    } else {
      lon = Angle(text[1], false);
      ASSERT_LE(std::fabs(lon - ((2 * shownZone - 61) * 3.0)), 6.0) << text[0] << " " << text[1];
    }
    const double typedLat = Angle(text[0], true);
    const double typedLon = Angle(text[1], false);
    const double meridian = (2 * shownZone - 61) * 3.0;
    if (std::fabs(typedLon - meridian) > 4.0) continue;  // a special zone far from its meridian
    double x = 0;
    double y = 0;
    oracle.Forward(meridian, typedLat, typedLon, x, y);
    if (typedLat < 0) y += 10000000;
    const double easting = Number(form.easting);
    const double northing = Number(form.northing);
    worstEasting = std::max(worstEasting, std::fabs(easting - (x + 500000)));
    worstNorthing = std::max(worstNorthing, std::fabs(northing - y));
    EXPECT_NEAR(easting, x + 500000, 1.1e-3) << text[0] << " " << text[1];
    EXPECT_NEAR(northing, y, 1.1e-3) << text[0] << " " << text[1];

    // Back: the texts shown, read again.
    form.latitude.clear();
    form.longitude.clear();
    ASSERT_EQ(ConvertToDegrees(ui, form), 0);
    double oracleLat = 0;
    double oracleLon = 0;
    oracle.Reverse(meridian, easting - 500000, typedLat < 0 ? northing - 10000000 : northing, oracleLat, oracleLon);
    const double lat2 = Angle(form.latitude, true);
    const double lon2 = Angle(form.longitude, false);
    worstDegrees = std::max({worstDegrees, std::fabs(lat2 - oracleLat), std::fabs(lon2 - oracleLon)});
    EXPECT_NEAR(lat2, oracleLat, 1e-8) << form.zone << " " << form.easting << " " << form.northing;
    EXPECT_NEAR(lon2, oracleLon, 1e-8) << form.zone << " " << form.easting << " " << form.northing;
    EXPECT_TRUE(ui.shown.empty());
  }
  std::printf("Coordinate conversion vs GeographicLib within 4 deg: easting %.3g m, northing %.3g m, "
              "degrees %.3g\n",
              worstEasting, worstNorthing, worstDegrees);
}

}  // namespace
}  // namespace tarnvik::app
