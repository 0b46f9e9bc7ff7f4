#include "airspace/openair.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <fstream>
#include <sstream>

#include "tests/fakes/recording_ui.h"
#include "geo/geodesy.h"

namespace tarnvik::airspace {
namespace {

using testing::RecordingUi;

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(TARNVIK_TEST_DATA) + "/openair/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Parsed {
  int result = 0;
  core::CtrList zones;
  std::vector<std::string> warnings;
  RecordingUi ui;
};

// Parses with a notifier that never asks to skip (every warning is recorded).
void Parse(std::string_view text, Parsed& p, bool skipAfterFirst = false) {
  p.result = ParseOpenAir(p.ui, text, p.zones, [&](const std::string& w) {
    p.warnings.push_back(w);
    return skipAfterFirst;
  });
}

TEST(OpenAirReader, ErrorsStopReadingWithTheLineAndKeepNothing) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"AN A\nV Q=1\n", "Bad variable assignment format on line 2"},
      {"AN A\nV X=\n", "Bad variable assignment format on line 2"},
      {"AN A\nV D=-5\n", "Bad direction format on line 2"},
      {"AN A\nV X=91:00:00 N 001:00:00 E\n", "Bad position format on line 2"},
      {"AN A\nV X=1:00:00 N 1:00:00 E\nV X=1:00:00 N 1:00:00 E\n", "Multiple V record types"},
      {"AN A\nV X=1:00 N 1:00 E\nDB 1:00 N 1:10 E 1:10 N 1:00 E\n", "Bad arc position format on line 3"},
      {"AN A\nDB 1:00 N 1:10 E, 1:10 N 1:00 E\n", "Missing centre for DB record (line 2)"},
      {"AN   \nDP 1:00 N 1:00 E\n", "Missing airspace name"},
      {"AN A\nDC 5\n", "Missing centre for DC record (line 2)"},
      {"AN A\nV X=1:00 N 1:00 E\nDP 1:00 N 1:00 E\n", "Expected a DB or DC record (line 3)"},
      {"AN A\nV X=1:00 N 1:00 E\nDC 0\n", "Bad radius format on line 3"},
      {"AN A\nV X=1:00 N 1:00 E\nDC 10000.5\n", "Bad radius format on line 3"},
      {"AN A\nDP 90:00:00 N 010:00:00 E\n", "Bad position format on line 2"},
      {"AN A\nDP 45:00:00 N 180:00:00 E\n", "Bad position format on line 2"},
      {"AN A\nDP 89:59:60 N 010:00:00 E\n", "Bad position format on line 2"},
      {"AN A\nDP 45:00:60.1 N 010:00:00 E\n", "Bad position format on line 2"},
      {"AN A\nDP 45 N 10 E\n", "Bad position format on line 2"},
      {"AN A\nDP 1:00 N 1:00 E\nan B\n", "Unknown record type on line 3"},
      {"AN A\nDP 1:00 N 1:00 E\nXX B\n", "Unknown record type on line 3"},
      {"AN A\r\nAN B\r\nDP 1:00 N 1:00 E\r\n", "No segments in airspace (line 2)"},
      {"AN A\nAL x\n", "No segments in airspace (line 2)"},
      {"AN A\nV X=1:00 N 1:00 E\n", "Missing DB or DC segment (line 2)"},
      // A second DB leaves the centre pending again.
      {"AN A\nV X=1:00 N 1:00 E\nDB 1:00 N 1:10 E, 1:10 N 1:00 E\nDB 1:00 N 1:10 E, 1:10 N 1:00 E\n"
       "DP 1:00 N 1:00 E\n",
       "Expected a DB or DC record (line 5)"},
      {"AN A\nV X=1:00 N 1:00 E\nDB 1:00 N 1:10 E, 1:10 N 1:00 E\nDB 1:00 N 1:10 E, 1:10 N 1:00 E\n",
       "Missing DB or DC segment (line 4)"},
      // Lines are counted by their LFs: a lone CR splits but does not count.
      {"AN A\rDP 1:00 N 1:00 E\n\nXX\n", "Unknown record type on line 3"},
      // A class record with a centre pending would lose the centre.
      {"AN A\nDP 1:00 N 1:00 E\nV X=1:00 N 1:00 E\nAC R\n", "Missing DB or DC segment (line 4)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Parsed p;
    p.zones.emplace_back();  // the list given is left as it was
    Parse(c.text, p);
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.zones.size(), 1u);
    p.ui.ExpectOnly("Parsing CTR buffer", c.message);
  }
}

TEST(OpenAirReader, AcceptedForms) {
  struct Case {
    const char* position;
    double latitude;
    double longitude;
  } cases[] = {
      {"45,5 N 6,25 E", 45.5, 6.25},
      {"89:59:59.9 N 179:59:59.9 W", 89 + 59 / 60.0 + 59.9 / 3600, -(179 + 59 / 60.0 + 59.9 / 3600)},
      {"12:30.5 s 033:59 e", -(12 + 30.5 / 60), 33 + 59 / 60.0},
      {"42:32:60.0N 001:25:60 E", 42 + 33 / 60.0, 1 + 26 / 60.0},
      {"50:24:32 N03:36:50 E", 50 + 24 / 60.0 + 32 / 3600.0, 3 + 36 / 60.0 + 50 / 3600.0},
      {"36:41:00 N 115:56:10 W    c29", 36 + 41 / 60.0, -(115 + 56 / 60.0 + 10 / 3600.0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    Parsed p;
    Parse(std::string("AN A\nDP ") + c.position + "\n", p);
    ASSERT_EQ(p.result, 1);
    const core::CtrSegment& s = p.zones.front().segments.at(0);
    EXPECT_NEAR(s.latitude, c.latitude, 1e-12);
    EXPECT_NEAR(s.longitude, c.longitude, 1e-12);
  }
}

TEST(OpenAirReader, ZonesDirectionsRadiiAndTexts) {
  Parsed p;
  Parse("\xEF\xBB\xBF* comment\n; another\nDP 1.0 N 2.0 E outside\nAC R\nAN   Zone   One  \nAL   SFC \n"
        "AH FL  95\nAY TMA\nAF 123.5\nV X=10:00 N 10:00 E\nDC 5\nV D=-\nV X=10:00 N 10:00 E\n"
        "DB 10:00 N 10:10 E, 10:10 N 10:00 E\nV X=10:00 N 10:00 E\nDB 10:00 N 10:10 E, 10:10 N 10:00 E\n"
        "DP 9:00 N 9:00 E\nV X=10:00 N 10:00 E\nDB 10:00 N 10:10 E, 10:10 N 10:00 E\nTC\nXX ignored\n"
        "AN Two\nV X=1:00 N 1:00 E\nDC 10000\n",
        p);
  ASSERT_EQ(p.result, 2);
  ASSERT_EQ(p.zones.size(), 2u);
  const core::CtrRecord& one = p.zones.front();
  EXPECT_STREQ(one.name, "Zone One");
  EXPECT_EQ(one.nameLength, 8);
  EXPECT_STREQ(one.floor, "SFC");
  EXPECT_STREQ(one.ceiling, "FL 95");
  EXPECT_EQ(one.sourceLine, 5);
  EXPECT_EQ(one.warningDistance, 200);
  ASSERT_EQ(one.segments.size(), 5u);
  EXPECT_EQ(one.segments[0].kind, 'C');
  EXPECT_EQ(one.segments[0].radius, 9260);  // 5 NM
  EXPECT_EQ(one.segments[1].direction, '-');
  EXPECT_EQ(one.segments[2].direction, '-');  // V D=- holds until a DP
  EXPECT_EQ(one.segments[3].kind, 'P');
  EXPECT_EQ(one.segments[4].direction, '+');
  EXPECT_DOUBLE_EQ(one.segments[4].endLatitude, 10 + 10 / 60.0);
  EXPECT_EQ(p.zones.back().segments.at(0).radius, 18520000);
  EXPECT_TRUE(p.ui.shown.empty());
}

TEST(OpenAirReader, TextWithoutZonesGivesNoneAndNoMessage) {
  for (const char* text : {"", "* only a comment\r\n", "DP 1:00 N 1:00 E\nXX\n"}) {
    Parsed p;
    Parse(text, p);
    EXPECT_EQ(p.result, 0);
    EXPECT_TRUE(p.zones.empty());
    EXPECT_TRUE(p.ui.shown.empty());
  }
}

TEST(OpenAirReader, DaAndDyDropTheirZoneWithAWarningUntilSkipped) {
  const char* text = "AN A\nDP 1:00 N 1:00 E\nAN B\nV X=1:00 N 1:00 E\nDA 1,2,3\nAN C\nDY 1:00 N 1:00 E\n"
                     "AN D\nDP 1:00 N 1:00 E\n";
  Parsed all;
  Parse(text, all);
  EXPECT_EQ(all.result, 2);
  EXPECT_EQ(all.warnings, (std::vector<std::string>{"CTR at line 3:  DA record (not implemented)",
                                                    "CTR at line 6:  DY record (not implemented)"}));
  EXPECT_STREQ(all.zones.back().name, "D");
  Parsed skipped;
  Parse(text, skipped, true);
  EXPECT_EQ(skipped.result, 2);
  EXPECT_EQ(skipped.warnings.size(), 1u);
}

TEST(OpenAirReader, ZonesKeepEverySegment) {
  std::string text = "AN Big\n";
  for (int i = 0; i < 250; ++i) text += "DP 45:" + std::to_string(i % 60) + " N 6:" + std::to_string(i / 60) + " E\n";
  Parsed p;
  Parse(text, p);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.zones.front().segments.size(), 250u);
  EXPECT_TRUE(p.warnings.empty());
  EXPECT_EQ(CtrOutlinePoints(p.zones.front()).size(), 251u);
}

TEST(OpenAirReader, TextsAreCutWithoutSplittingACharacter) {
  std::string name(49, 'x');
  name += "\xC3\xA9tail";  // the two-byte e acute would straddle byte 50
  Parsed p;
  Parse("AN " + name + "\nAL " + name + "\nDP 1:00 N 1:00 E\n", p);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(std::string(p.zones.front().name), std::string(49, 'x'));
  EXPECT_EQ(p.zones.front().nameLength, 49);
  EXPECT_EQ(std::string(p.zones.front().floor), std::string(49, 'x'));
  EXPECT_EQ(CutUtf8("ab\xE2\x82\xAC", 4), "ab");
  EXPECT_EQ(CutUtf8("ab\xE2\x82\xAC", 5), "ab\xE2\x82\xAC");
}

struct RealFile {
  const char* name;
  int zones;
  int warnings;
};

TEST(OpenAirReader, RealFiles) {
  const RealFile files[] = {
      {"xcsoar-openair.txt", 25, 1},
      {"aerofiles-sample.txt", 15, 9},
      {"openaip-airway.txt", 0, 1},
      {"MW-ASP-National-XCSoar.txt", 17, 0},
  };
  for (const RealFile& f : files) {
    SCOPED_TRACE(f.name);
    Parsed p;
    Parse(ReadData(f.name), p);
    EXPECT_EQ(p.result, f.zones);
    EXPECT_EQ(static_cast<int>(p.warnings.size()), f.warnings);
    EXPECT_TRUE(p.ui.shown.empty()) << (p.ui.shown.empty() ? "" : p.ui.shown[0].text);
  }
  Parsed xcsoar;
  Parse(ReadData("xcsoar-openair.txt"), xcsoar);
  ASSERT_EQ(xcsoar.warnings.size(), 1u);
  EXPECT_EQ(xcsoar.warnings[0], "CTR at line 30:  DA record (not implemented)");
}

// The zone without AN in the sample must not swallow its records into the zone before it.
TEST(OpenAirReader, ClassRecordAfterAnOutlineClosesTheZone) {
  Parsed p;
  Parse("AC D\nAN First\nAL SFC\nAH 1000\nDP 1:00 N 1:00 E\nDP 1:10 N 1:00 E\nAC R\nAL 500\nAH 900\n"
        "V X=1:00 N 1:00 E\nDC 2\nAN Third\nDP 2:00 N 2:00 E\n",
        p);
  ASSERT_EQ(p.result, 2);
  EXPECT_EQ(p.zones.front().segments.size(), 2u);
  EXPECT_STREQ(p.zones.front().ceiling, "1000");
  EXPECT_STREQ(p.zones.back().name, "Third");
}

void ExpectSameZones(const core::CtrList& a, const core::CtrList& b, double tolerance) {
  ASSERT_EQ(a.size(), b.size());
  auto ib = b.begin();
  for (const core::CtrRecord& za : a) {
    const core::CtrRecord& zb = *ib++;
    SCOPED_TRACE(za.name);
    EXPECT_STREQ(za.name, zb.name);
    EXPECT_STREQ(za.floor, zb.floor);
    EXPECT_STREQ(za.ceiling, zb.ceiling);
    ASSERT_EQ(za.segments.size(), zb.segments.size());
    for (size_t i = 0; i < za.segments.size(); ++i) {
      const core::CtrSegment& sa = za.segments[i];
      const core::CtrSegment& sb = zb.segments[i];
      EXPECT_EQ(sa.kind, sb.kind);
      EXPECT_EQ(sa.radius, sb.radius);
      if (sa.kind == 'A') {
        EXPECT_EQ(sa.direction, sb.direction);
      }
      for (auto field : {&core::CtrSegment::latitude, &core::CtrSegment::longitude,
                         &core::CtrSegment::startLatitude, &core::CtrSegment::startLongitude,
                         &core::CtrSegment::endLatitude, &core::CtrSegment::endLongitude}) {
        EXPECT_NEAR(sa.*field, sb.*field, tolerance);
      }
    }
  }
}

TEST(OpenAirWriter, RealFilesRoundTripAndRewriteByteForByte) {
  for (const char* name : {"xcsoar-openair.txt", "aerofiles-sample.txt", "MW-ASP-National-XCSoar.txt"}) {
    SCOPED_TRACE(name);
    Parsed first;
    Parse(ReadData(name), first);
    ASSERT_GT(first.result, 0);
    for (core::CtrRecord& z : first.zones) z.selected = 1;
    const std::string text = WriteOpenAir(first.zones);
    Parsed second;
    Parse(text, second);
    ASSERT_EQ(second.result, first.result);
    EXPECT_TRUE(second.warnings.empty());
    ExpectSameZones(first.zones, second.zones, 0.05 / 3600.0 + 1e-12);  // a tenth of an arc-second
    for (core::CtrRecord& z : second.zones) z.selected = 1;
    EXPECT_EQ(WriteOpenAir(second.zones), text);
  }
}

TEST(OpenAirWriter, LinesOfEachSegmentKindAndTheEditorForm) {
  Parsed p;
  Parse("AN Mixed\nAL SFC\nAH FL 95\nDP 45:30:00.04 N 6:15:00.05 W\nV X=1:05.5 S 0:05.5 E\nDC 5\n"
        "V D=-\nV X=10:00 N 10:00 E\nDB 10:00 N 10:10 E, 10:10 N 10:00 E\nAN Other\nDP 1.0 N 1.0 E\n",
        p);
  ASSERT_EQ(p.result, 2);
  p.zones.front().selected = 1;
  EXPECT_EQ(WriteOpenAir(p.zones),
            "AN Mixed\r\nAL SFC\r\nAH FL 95\r\n"
            "DP 45:30:00.0 N   6:15:00.1 W\r\n"
            "V X = 1:05:30.0 S   0:05:30.0 E\r\nDC 5.000\r\n"
            "V D = -\r\nV X = 10:00:00.0 N   10:00:00.0 E\r\n"
            "DB 10:00:00.0 N   10:10:00.0 E,   10:10:00.0 N   10:00:00.0 E\r\n");
  p.zones.back().selected = 1;
  EXPECT_EQ(WriteOpenAir(p.zones).find("\r\n\r\nAN Other\r\n") != std::string::npos, true);
  const std::string editor = WriteOpenAirEditorForm(p.zones.back());
  EXPECT_EQ(editor,
            "*Airspace name\r\nAN Other\r\n*Airspace floor (Remark)\r\nAL \r\n*Airspace ceiling\r\nAH \r\n"
            "*Use records V, DP, DB or DC\r\n*Pos. formats: DD.dd... or DD:MM.mm... or DD:MM:SS.s\r\n"
            "DP 1:00:00.0 N   1:00:00.0 E\r\n");
  Parsed back;
  Parse(editor, back);
  EXPECT_EQ(back.result, 1);
}

TEST(OpenAirWriter, RadiusRoundTripsThroughThousandthsOfAMile) {
  for (const char* dc : {"5", "0.5", "2.345", "12.3456", "10000", "0.001"}) {
    SCOPED_TRACE(dc);
    Parsed p;
    Parse(std::string("AN C\nV X=1:00 N 1:00 E\nDC ") + dc + "\n", p);
    ASSERT_EQ(p.result, 1);
    const int32_t metres = p.zones.front().segments[0].radius;
    EXPECT_EQ(metres, std::lround(std::stod(dc) * 1852));
    p.zones.front().selected = 1;
    const std::string once = WriteOpenAir(p.zones);
    Parsed again;
    Parse(once, again);
    ASSERT_EQ(again.result, 1);
    EXPECT_NEAR(again.zones.front().segments[0].radius, metres, 1);
    again.zones.front().selected = 1;
    EXPECT_EQ(WriteOpenAir(again.zones), once);
  }
}

TEST(OpenAirWriter, LargeZonesGrowTheText) {
  core::CtrList zones(1);
  core::CtrRecord& z = zones.front();
  z.selected = 1;
  std::strcpy(z.name, "ARCS");
  for (int i = 0; i < 300; ++i) {
    core::CtrSegment s;
    s.kind = 'A';
    s.direction = '-';
    s.latitude = -45.123456;
    s.longitude = -170.654321;
    s.startLatitude = s.endLatitude = -45.2;
    s.startLongitude = s.endLongitude = -170.7;
    z.segments.push_back(s);
  }
  const std::string text = WriteOpenAir(zones);
  EXPECT_GT(text.size(), 10000u);
  Parsed p;
  Parse(text, p);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.zones.front().segments.size(), 300u);
}

// ---- outline points ----------------------------------------------------------------------

double Deg(int32_t semicircles) { return semicircles / 11930464.71111; }

core::CtrRecord ZoneOf(const std::string& text) {
  Parsed p;
  Parse(text, p);
  EXPECT_EQ(p.result, 1) << text;
  return p.zones.empty() ? core::CtrRecord{} : p.zones.front();
}

TEST(CtrOutline, CircleHas33PointsOnTheEnclosingPolygon) {
  const core::CtrRecord zone = ZoneOf("AN C\nV X=15:40.365 S 34:54.992 E\nDC 20\n");
  const std::vector<core::Waypoint> points = CtrOutlinePoints(zone);
  ASSERT_EQ(points.size(), 33u);
  EXPECT_STREQ(points[0].id, "C0");
  EXPECT_STREQ(points[32].id, "C32");
  EXPECT_EQ(points[32].latitude, points[0].latitude);
  EXPECT_EQ(points[32].longitude, points[0].longitude);
  // Distance from the centre in the centre's grid: radius / cos(pi/32) (20 NM = 37040 m).
  const double radian = std::numbers::pi / 180.0;
  geo::UtmPoint centre;
  geo::UtmFromGeo({-(15 + 40.365 / 60) * radian, (34 + 54.992 / 60) * radian}, centre);
  for (const core::Waypoint& w : points) {
    geo::UtmPoint u;
    u.zone = centre.zone;
    geo::UtmFromGeo({Deg(w.latitude) * radian, Deg(w.longitude) * radian}, u);
    EXPECT_NEAR(std::hypot(u.easting - centre.easting, u.northing - centre.northing),
                37040 / std::cos(std::numbers::pi / 32), 0.05);
    EXPECT_EQ(w.altitude, 0);
    EXPECT_STREQ(w.comment, "");
  }
  EXPECT_GT(Deg(points[0].longitude), 34 + 54.992 / 60);  // k = 0 lies grid east
}

TEST(CtrOutline, PolygonsArcsAndRefusals) {
  EXPECT_EQ(CtrOutlinePoints(core::CtrRecord{}).size(), 0u);
  EXPECT_EQ(CtrOutlinePoints(ZoneOf("AN Q\nDP 1.0 N 1.0 E\nDP 1.1 N 1.0 E\nDP 1.1 N 1.1 E\nDP 1.0 N 1.0 E\n")).size(), 4u);
  EXPECT_EQ(CtrOutlinePoints(ZoneOf("AN Q\nDP 1.0 N 1.0 E\nDP 1.1 N 1.0 E\nDP 1.1 N 1.1 E\nDP 1.0 N 1.1 E\n")).size(), 5u);
  EXPECT_EQ(CtrOutlinePoints(ZoneOf("AN Q\nDP 1.0 N 1.0 E\nDP 1.0004 N 1.0004 E\nDP 1.1 N 1.0 E\n")).size(), 3u);
  EXPECT_EQ(CtrOutlinePoints(ZoneOf("AN Q\nDP 1.0 N 1.0 E\nV X=1.0 N 1.0 E\nDC 2\n")).size(), 0u);
  // A quarter circle clockwise from north to east: start, 7 between, end, then the start again.
  const std::vector<core::Waypoint> arc =
      CtrOutlinePoints(ZoneOf("AN A\nV X=45.0 N 7.0 E\nDB 45.1 N 7.0 E, 45.0 N 7.14 E\n"));
  ASSERT_EQ(arc.size(), 10u);
  EXPECT_EQ(arc[9].latitude, arc[0].latitude);
  for (size_t i = 1; i < 8; ++i) {
    EXPECT_GT(Deg(arc[i].longitude), 7.0);
    EXPECT_GT(Deg(arc[i].latitude), 45.0);
    EXPECT_GT(Deg(arc[i + 1].longitude), Deg(arc[i].longitude));  // clockwise: east-going
  }
  // The same arc counter-clockwise runs the long way round: three quarters, n = 25.
  const std::vector<core::Waypoint> back =
      CtrOutlinePoints(ZoneOf("AN A\nV D=-\nV X=45.0 N 7.0 E\nDB 45.1 N 7.0 E, 45.0 N 7.14 E\n"));
  EXPECT_EQ(back.size(), 27u);  // start, 24 between, end, the start again
  EXPECT_LT(Deg(back[5].longitude), 7.0);
}

TEST(CtrOutline, ArcAcrossTheEquator) {
  const std::vector<core::Waypoint> arc =
      CtrOutlinePoints(ZoneOf("AN E\nV X=0.01 N 30.0 E\nDB 0.1 N 30.0 E, 0.08 S 30.0 E\n"));
  ASSERT_GT(arc.size(), 10u);
  const double radian = std::numbers::pi / 180.0;
  for (size_t i = 0; i + 1 < arc.size(); ++i) {  // every point 8 to 11 km from the centre
    double metres = 0;
    ASSERT_EQ(geo::GeoDistance({0.01 * radian, 30 * radian},
                               {Deg(arc[i].latitude) * radian, Deg(arc[i].longitude) * radian}, metres),
              0);
    EXPECT_NEAR(metres, 9950, 1200);
  }
  EXPECT_GT(Deg(arc[arc.size() / 2].longitude), 30.05);  // clockwise from north runs through the east
}

}  // namespace
}  // namespace tarnvik::airspace
