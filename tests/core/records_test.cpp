#include "core/records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/text_buffer.h"

namespace tarnvik::core {
namespace {

SystemTime Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  SystemTime t;
  t.year = static_cast<uint16_t>(y);
  t.month = static_cast<uint16_t>(mo);
  t.day = static_cast<uint16_t>(d);
  t.hour = static_cast<uint16_t>(h);
  t.minute = static_cast<uint16_t>(mi);
  t.second = static_cast<uint16_t>(s);
  return t;
}

TEST(TimeEncoding, KnownDatesBothWays) {
  struct Case {
    SystemTime date;
    uint32_t time;
  } cases[] = {
      {Date(1989, 12, 31), 0},
      {Date(1990, 1, 1), 86400},
      {Date(1992, 3, 1), 68342400},
      {Date(2007, 6, 1, 12), 549633600},
      {Date(1992, 2, 29), 68256000},
      {Date(2099, 12, 31, 23, 59, 59), 3471379199u},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CalendarToTime(c.date), c.time) << c.date.year << "-" << c.date.month;
    SystemTime back = TimeToCalendar(c.time);
    EXPECT_EQ(back, c.date) << c.time;
    EXPECT_EQ(back.milliseconds, 0);
  }
}

TEST(TimeEncoding, RoundTripsEveryDayOf1989To2099) {
  for (uint32_t day = 0; day < 40541; ++day) {
    uint32_t t = day * 86400u + 3723u;
    ASSERT_EQ(CalendarToTime(TimeToCalendar(t)), t) << day;
  }
}

TEST(TimeEncoding, RefusesMonthAndDayOutsideTheTable) {
  for (auto [month, day] : {std::pair{0, 1}, {13, 1}, {65535, 1}, {1, 0}, {1, 32}}) {
    EXPECT_FALSE(CalendarToTime(Date(2020, month, day)).has_value()) << month << "/" << day;
  }
}

TEST(PositionEncoding, ConversionsOfTheQuarterCircle) {
  EXPECT_DOUBLE_EQ(SemicircleToRadians(1 << 30), M_PI / 2);
  EXPECT_EQ(RadiansToSemicircle(-M_PI / 2), -(1 << 30));
  EXPECT_EQ(RadiansToSemicircle(M_PI / 2), 1 << 30);
  EXPECT_EQ(SemicircleToMilliMinute(1 << 30), 5400000);
  EXPECT_EQ(SemicircleToCentiArcsec(1 << 30), 32400000);
  EXPECT_EQ(SemicircleToCentiArcsec(-(1 << 30)), -32400000);
  SemicirclePair p = RadiansToSemicircle(SemicircleToRadians(SemicirclePair{123456789, -987654321}));
  EXPECT_EQ(p, (SemicirclePair{123456789, -987654321}));
}

TEST(PositionEncoding, CheckedConversionsRefuseAndWrapAsDocumented) {
  EXPECT_EQ(LongitudeFromDegrees(180.0), INT32_MIN);
  EXPECT_EQ(LongitudeFromDegrees(-180.0), INT32_MIN);
  EXPECT_EQ(CheckedLongitude(2147483648.0), INT32_MIN);
  EXPECT_EQ(LongitudeFromRadians(M_PI), INT32_MIN);
  EXPECT_EQ(LatitudeFromDegrees(90.0), 1 << 30);
  EXPECT_EQ(LatitudeFromDegrees(-45.0), -(1 << 29));
  EXPECT_EQ(LongitudeFromDegrees(10.5), RadiansToSemicircle(10.5 / kDegreesPerRadian));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {nan, inf, -inf, 90.0001, -91.0, 1e300}) EXPECT_FALSE(LatitudeFromDegrees(bad)) << bad;
  for (double bad : {nan, inf, 180.0001, -181.0, 1e25}) EXPECT_FALSE(LongitudeFromDegrees(bad)) << bad;
  EXPECT_FALSE(CheckedLatitude(1073741825.0));
}

TEST(HeightEncoding, TrackAndWaypointRules) {
  EXPECT_EQ(TrackHeightFromMetres(1234.56), 12346);
  EXPECT_EQ(TrackHeightFromMetres(-10.0), -99);  // trunc(-100 + 0.5)
  EXPECT_EQ(TrackHeightFromMetres(1e25), 0);
  EXPECT_EQ(TrackHeightFromMetres(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(TrackHeightFromMetres(214748364.0), 2147483640);
  EXPECT_EQ(TrackHeightFromMetres(214748365.0), 0);
  EXPECT_EQ(WaypointAltitudeFromMetres(1.0e25), 0);
  EXPECT_EQ(WaypointAltitudeFromMetres(-0.6), -1);
  EXPECT_EQ(WaypointAltitudeFromMetres(20000.0), 20000);
  EXPECT_EQ(WaypointAltitudeFromMetres(20000.1), 0);
  EXPECT_EQ(WaypointAltitudeFromMetres(2.5), 3);
  EXPECT_EQ(CheckedTime(4294967295.0), 4294967295u);
  EXPECT_FALSE(CheckedTime(4294967296.0));
  EXPECT_FALSE(CheckedTime(-1.0));
}

TEST(WaypointText, IdRules) {
  struct Case {
    const char* input;
    bool lenient;
    int result;
    const char* id;
  } cases[] = {
      {"  ab-1 x", true, 0, "AB-1"},  {"  ab-1 x", false, -2, ""},
      {"ABCDEFGH", true, 0, "ABCDEF"}, {"ABCDEFGH", false, -2, ""},
      {"   ", true, -1, ""},           {"", false, -1, ""},
      {"A.B", true, 0, "A-B"},         {"TOP1  ", false, 0, "TOP1"},
  };
  for (const auto& c : cases) {
    char out[7];
    int r = NormaliseWaypointId(c.input, out, c.lenient);
    EXPECT_EQ(r, c.result) << c.input;
    if (r == 0) {
      EXPECT_STREQ(out, c.id) << c.input;
    }
  }
  char out[7];
  EXPECT_EQ(ValidateWaypointId("  top-1  ", out), 0);
  EXPECT_STREQ(out, "TOP-1");
  EXPECT_EQ(ValidateWaypointId("to.p", out), -1);
  EXPECT_EQ(ValidateWaypointId("ABC DEF", out), -1);
  EXPECT_EQ(ValidateWaypointId("ABCDEFG", out), -1);
  EXPECT_EQ(ValidateWaypointId(" ", out), -1);
}

TEST(WaypointText, CommentAndInstrumentText) {
  char out[41];
  NormaliseComment("hello, world  ", out);
  EXPECT_STREQ(out, "HELLO- WORLD");
  NormaliseComment("    ", out);
  EXPECT_STREQ(out, "");
  NormaliseComment(std::string(50, 'x'), out);
  EXPECT_EQ(std::strlen(out), 40u);
  char id[7];
  CleanInstrumentText("ab.c  ", id, sizeof id);
  EXPECT_STREQ(id, "AB.C");
  CleanInstrumentText("abcdefghij", id, sizeof id);
  EXPECT_STREQ(id, "ABCDEF");
}

TEST(HemispherePosition, ParsesAndFails) {
  double v = 0;
  const char* text = "S 33 52 10,2";
  const char* end = ParseHemispherePosition(text, true, v);
  ASSERT_NE(end, nullptr);
  EXPECT_EQ(*end, '\0');
  EXPECT_DOUBLE_EQ(v, -(33 + 52 / 60.0 + 10.2 / 3600));
  ASSERT_NE(ParseHemispherePosition("E 10,75", false, v), nullptr);
  EXPECT_DOUBLE_EQ(v, 10.75);
  ASSERT_NE(ParseHemispherePosition(" n 59 54.5x", true, v), nullptr);
  EXPECT_DOUBLE_EQ(v, 59 + 54.5 / 60);
  ASSERT_NE(ParseHemispherePosition("W 179", false, v), nullptr);
  EXPECT_DOUBLE_EQ(v, -179);
  for (const char* bad : {"N 90", "X 10", "N", "N 45 60", "N 45 30 60", "E 10", "N x"}) {
    EXPECT_EQ(ParseHemispherePosition(bad, true, v), nullptr) << bad;
  }
  EXPECT_EQ(ParseHemispherePosition("E 180", false, v), nullptr);
}

TEST(FormatCounts, ReplacesInOrderAndRepeatsTheFourth) {
  EXPECT_EQ(FormatCounts("Waypoint % of % received", 5, 120), "Waypoint 5 of 120 received");
  EXPECT_EQ(FormatCounts("% % % % %", 1, 2, 3, 4), "1 2 3 4 4");
  EXPECT_EQ(FormatCounts("none", 7), "none");
  EXPECT_EQ(FormatCounts("%", 0), "0");
}

TEST(TextBuffer, DoublesWhenALineReachesTheCapacity) {
  TextBuffer buffer;
  std::string line(TextBuffer::kInitialCapacity - 2, 'x');
  ASSERT_EQ(buffer.AppendLine(line), 0);  // length + line + 1 = capacity - 1: no growth
  EXPECT_EQ(buffer.Capacity(), TextBuffer::kInitialCapacity);
  ASSERT_EQ(buffer.AppendLine("y"), 0);   // reaches the capacity exactly: doubles first
  EXPECT_EQ(buffer.Capacity(), 2 * TextBuffer::kInitialCapacity);
  ASSERT_EQ(buffer.AppendFormat("%d;%s\r\n", 42, "ok"), 0);
  EXPECT_EQ(buffer.Text().substr(buffer.Length() - 8), "y42;ok\r\n");
  std::string longText(400, 'z');
  ASSERT_EQ(buffer.AppendFormat("%s", longText.c_str()), 0);
  EXPECT_EQ(buffer.Length(), line.size() + 1 + 7 + 400);
}

}  // namespace
}  // namespace tarnvik::core
