#include "geo/coordinate_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tarnvik::geo {
namespace {

constexpr double kDegreeRad = 0.01745329251994;  // the parsers' factor
constexpr double kMinuteRad = 0.0002908882086657;
constexpr double kUntouched = -777.0;

TEST(FormatDmsHundredths, FieldsSignsAndWidths) {
  struct Case {
    int32_t value;
    bool isLatitude;
    const char* text;
  } const cases[] = {
      {60 * 360000 + 30 * 6000, true, "N 60  30  00.00"},
      {-1, true, "S 00  00  00.01"},
      {-1, false, "W 000  00  00.01"},
      {0, true, "N 00  00  00.00"},
      {0, false, "E 000  00  00.00"},
      {8 * 360000 + 15 * 6000 + 7 * 100 + 99, false, "E 008  15  07.99"},
      {-(179 * 360000 + 59 * 6000 + 59 * 100 + 99), false, "W 179  59  59.99"},
      {-(45 * 360000 + 1234), true, "S 45  00  12.34"},
      {180 * 360000, false, "E 180  00  00.00"},
      {INT32_MIN, false, "W 5965  13  56.48"},  // far outside any position, but no overflow
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDmsHundredths(c.value, c.isLatitude), c.text) << c.value;
}

TEST(FormatDmsPrecise, RoundsTheFractionAndCarriesBeforeSplitting) {
  auto radiansOfSeconds = [](double seconds) { return seconds / 206264.8062471; };
  EXPECT_EQ(FormatDmsPrecise(radiansOfSeconds(12.999996), true), "N 00 00 13.00000");
  EXPECT_EQ(FormatDmsPrecise(radiansOfSeconds(59.999996), true), "N 00 01 00.00000");
  EXPECT_EQ(FormatDmsPrecise(-radiansOfSeconds(46 * 3600 + 59 * 60 + 59.999996), true), "S 47 00 00.00000");
  EXPECT_EQ(FormatDmsPrecise(-radiansOfSeconds(8 * 3600 + 15 * 60 + 1.234564), false), "W 008 15 01.23456");
  EXPECT_EQ(FormatDmsPrecise(radiansOfSeconds(12.000004), false), "E 000 00 12.00000");
  EXPECT_EQ(FormatDmsPrecise(radiansOfSeconds(179 * 3600 + 0.5), false), "E 179 00 00.50000");
  EXPECT_EQ(FormatDmsPrecise(-0.0, true), "N 00 00 00.00000");
}

TEST(FormatUtm, ZoneAndMetres) {
  EXPECT_EQ(FormatUtmZone(5, 'V'), "05V");
  EXPECT_EQ(FormatUtmZone(32, 'U'), "32U");
  EXPECT_EQ(FormatUtmMetresPrecise(487654.32109), "0487654.3211");
  EXPECT_EQ(FormatUtmMetresPrecise(12.5), "0000012.5000");
  EXPECT_EQ(FormatUtmMetresRounded(487654.5), "0487655");
  EXPECT_EQ(FormatUtmMetresRounded(12.49), "0000012");
  EXPECT_EQ(FormatUtmMetresRounded(5432109.7), "5432110");
}

TEST(ParseAngle, AcceptedForms) {
  struct Case {
    const char* text;
    bool isLatitude;
    double degrees;
  } const cases[] = {
      {"N 45 30 15.5", true, 45 + 30 / 60.0 + 15.5 / 3600},
      {"45,5", true, 45.5},
      {"45 30,25", true, 45 + 30.25 / 60},
      {"s 12", true, -12},
      {"  -7.25  ", true, -7.25},
      {"+89 59 59,999", true, 89 + 59 / 60.0 + 59.999 / 3600},
      {"n45", true, 45},
      {"S\t0 0 1", true, -1 / 3600.0},
      {"45 ", true, 45},
      {"45 30 ", true, 45.5},
      {"45.", true, 45},
      {"W 179 59 59", false, -(179 + 59 / 60.0 + 59 / 3600.0)},
      {"e 8 15", false, 8.25},
      {"w8", false, -8},
      {"-0", false, 0},
      {"007 05 03", false, 7 + 5 / 60.0 + 3 / 3600.0},
      {"12.3456789", false, 12.3456789},
  };
  for (const Case& c : cases) {
    double radians = kUntouched;
    ASSERT_EQ(ParseAngle(c.text, c.isLatitude, radians), 0) << '"' << c.text << '"';
    EXPECT_NEAR(radians, c.degrees * kDegreeRad, 1e-13) << '"' << c.text << '"';
  }
}

TEST(ParseAngle, RefusedFormsLeaveTheResultAlone) {
  struct Case {
    const char* text;
    bool isLatitude;
  } const cases[] = {
      {"90", true},         {"180", false},        {"45 60", true},       {"45 30 60", true},
      {"", true},           {"   ", true},         {"N", true},           {"E 8", true},
      {"S 8", false},       {"8 30 20 10", true},  {"45 30.5 10", true},  {"45.5 10", true},
      {"45.5x", true},      {"45x", true},         {"45 x", true},        {"45-", true},
      {"--45", true},       {"N -45", true},       {"+ ", true},          {"4 5 6.7.8", true},
      {"99999999999999", false}, {"45 99999999999", true}, {".5", true},   {"45 ,5", true},
  };
  for (const Case& c : cases) {
    double radians = kUntouched;
    EXPECT_EQ(ParseAngle(c.text, c.isLatitude, radians), -1) << '"' << c.text << '"';
    EXPECT_EQ(radians, kUntouched) << '"' << c.text << '"';
  }
}

TEST(ParseUtmZone, CodesAndResults) {
  struct Case {
    const char* text;
    int result;
    int32_t zone;
    char band;
  } const cases[] = {
      {"32v", 0, 32, 'V'},  {" 5 c ", 0, 5, 'C'}, {"60X", 0, 60, 'X'},  {"1B", 0, 1, 'B'},
      {"05\tn", 0, 5, 'N'}, {"0V", -2, 0, 0},     {"61V", -1, 0, 0},    {"32I", -3, 0, 0},
      {"32", -3, 0, 0},     {"32V x", -4, 0, 0},  {"V32", -2, 0, 0},    {"", -2, 0, 0},
      {"32O", -3, 0, 0},    {"32A", -3, 0, 0},    {"32Y", -3, 0, 0},    {"32Z", -3, 0, 0},
      {"32VV", -4, 0, 0},   {"999999V", -1, 0, 0}, {"00V", -2, 0, 0},   {"-32V", -2, 0, 0},
  };
  for (const Case& c : cases) {
    int32_t zone = -9;
    char band = '?';
    ASSERT_EQ(ParseUtmZone(c.text, zone, band), c.result) << '"' << c.text << '"';
    EXPECT_EQ(zone, c.result == 0 ? c.zone : -9) << '"' << c.text << '"';
    EXPECT_EQ(band, c.result == 0 ? c.band : '?') << '"' << c.text << '"';
  }
}

TEST(ParseDecimal, CodesAndValues) {
  struct Case {
    const char* text;
    int result;
    double value;
  } const cases[] = {
      {"487654.321", 0, 487654.321},
      {"  -12,5  ", 0, -12.5},
      {"+7", 0, 7},
      {"0", 0, 0},
      {"-", 0, 0},  // a sign alone reads as zero
      {"+.25", 0, 0.25},
      {"2147483649", 0, 2147483649.0},  // the guard looks before the last digit is added
      {"21474836491", -2, 0},
      {"99999999999", -2, 0},
      {"", -1, 0},
      {".5", -1, 0},
      {"x1", -1, 0},
      {"12 3", -4, 0},
      {"12m", -4, 0},
      {"1.2.3", -4, 0},
      {"-x", -4, 0},
  };
  for (const Case& c : cases) {
    double value = kUntouched;
    ASSERT_EQ(ParseDecimal(c.text, value), c.result) << '"' << c.text << '"';
    EXPECT_DOUBLE_EQ(value, c.result == 0 ? c.value : kUntouched) << '"' << c.text << '"';
  }
}

TEST(ParseNmeaAngle, HemisphereLetterFollowsTheFraction) {
  struct Case {
    const char* text;
    bool isLatitude;
    int result;
    double minutes;
  } const cases[] = {
      {"4630.500N", true, 0, 46 * 60 + 30.5},
      {" 4630.500s ", true, 0, -(46 * 60 + 30.5)},
      {"00815.250E", false, 0, 8 * 60 + 15.25},
      {"17959.999w", false, 0, -(179 * 60 + 59.999)},
      {"8999.9N", true, 0, 89 * 60 + 99.9},  // the minutes digits are not range-checked
      {"4630.N", true, 0, 46 * 60 + 30},
      {"9000.0N", true, -1, 0},
      {"18000.0E", false, -1, 0},
      {"4630.500 N", true, -1, 0},
      {"4630N", true, -1, 0},
      {"4630.5E", true, -1, 0},
      {"4630.5N", false, -1, 0},
      {"4630.5", true, -1, 0},
      {"4630.5NX", true, -1, 0},
      {".5N", true, -1, 0},
      {"", false, -1, 0},
  };
  for (const Case& c : cases) {
    double radians = kUntouched;
    ASSERT_EQ(ParseNmeaAngle(c.text, c.isLatitude, radians), c.result) << '"' << c.text << '"';
    if (c.result == 0) {
      EXPECT_NEAR(radians, c.minutes * kMinuteRad, 1e-14) << '"' << c.text << '"';
    } else {
      EXPECT_EQ(radians, kUntouched) << '"' << c.text << '"';
    }
  }
}

TEST(ParseMinutesAngle, NoHemisphereAndOptionalFraction) {
  struct Case {
    const char* text;
    int result;
    double minutes;
  } const cases[] = {
      {"4630.500", 0, 46 * 60 + 30.5}, {" 00815 ", 0, 8 * 60 + 15}, {"17999.99", 0, 179 * 60 + 99.99},
      {"0", 0, 0},                     {"18000", -1, 0},            {"4630.5N", -1, 0},
      {"-4630.5", -1, 0},              {"4630,5", -1, 0},           {"", -1, 0},
  };
  for (const Case& c : cases) {
    double radians = kUntouched;
    ASSERT_EQ(ParseMinutesAngle(c.text, radians), c.result) << '"' << c.text << '"';
    if (c.result == 0) {
      EXPECT_NEAR(radians, c.minutes * kMinuteRad, 1e-14) << '"' << c.text << '"';
    } else {
      EXPECT_EQ(radians, kUntouched) << '"' << c.text << '"';
    }
  }
}

TEST(ParseHhmmss, SecondsOfDayAndFractionApart) {
  struct Case {
    const char* text;
    int result;
    int32_t seconds;
    double fraction;
  } const cases[] = {
      {"123456", 0, 12 * 3600 + 34 * 60 + 56, 0},
      {" 235959.75 ", 0, 23 * 3600 + 59 * 60 + 59, 0.75},
      {"0", 0, 0, 0},
      {"7", 0, 7, 0},
      {"99", 0, 99, 0},  // minutes and seconds digits have no range of their own
      {"19999", 0, 1 * 3600 + 99 * 60 + 99, 0},
      {"000001.", 0, 1, 0},
      {"240000", -1, 0, 0},
      {"235960", -1, 0, 0},
      {"12:34:56", -1, 0, 0},
      {"123456,5", -1, 0, 0},
      {".5", -1, 0, 0},
      {"", -1, 0, 0},
  };
  for (const Case& c : cases) {
    int32_t seconds = -9;
    double fraction = kUntouched;
    ASSERT_EQ(ParseHhmmss(c.text, seconds, fraction), c.result) << '"' << c.text << '"';
    EXPECT_EQ(seconds, c.result == 0 ? c.seconds : -9) << '"' << c.text << '"';
    EXPECT_DOUBLE_EQ(fraction, c.result == 0 ? c.fraction : kUntouched) << '"' << c.text << '"';
  }
}

// The dialogs show a position with FormatDmsHundredths and read it back with ParseAngle.
TEST(CoordinateText, HundredthsTextReadsBack) {
  for (int32_t value : {0, 1, -1, 16381234, -64799999, 32399999, -32399999, 123456}) {
    const bool isLatitude = std::abs(value) < 90 * 360000;
    const std::string text = FormatDmsHundredths(value, isLatitude);
    double radians = 0;
    ASSERT_EQ(ParseAngle(text.c_str(), isLatitude, radians), 0) << text;
    EXPECT_NEAR(radians / kDegreeRad * 360000.0, value, 1e-6) << text;
  }
}

}  // namespace
}  // namespace tarnvik::geo
