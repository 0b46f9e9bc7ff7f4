// The sentence parsers byte by byte: every format code, the hexadecimal digit rules of each
// reply, the track list entry layout and the IGC line rules.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/competition_id.h"
#include "devices/flytec/flytec_sentences.h"
#include "devices/flytec/flytec_transfers.h"
#include "tests/fakes/semicircles.h"

namespace tarnvik::devices::flytec {
namespace {

// "$" body "*" checksum CR LF with the checksum computed here, in the given digit case.
std::string Framed(const std::string& body, bool lower = false) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, lower ? "*%02x\r\n" : "*%02X\r\n", sum);
  return "$" + body + tail;
}

template <class Parser>
int FeedAll(Parser& parser, const std::string& bytes) {
  for (char c : bytes) {
    const int r = parser.Feed(static_cast<uint8_t>(c));
    if (r != kParseContinue) return r;
  }
  return kParseContinue;
}

TEST(FlytecRequests, FixedBytesAndTrackRequests) {
  EXPECT_EQ(FrameSentence("PBRSNP,"), "$PBRSNP,*21\r\n");
  EXPECT_EQ(FrameSentence("PBRTL,"), "$PBRTL,*74\r\n");
  EXPECT_EQ(FrameSentence("PBRIGC,"), "$PBRIGC,*21\r\n");
  EXPECT_EQ(FrameSentence("PBRWPS,"), "$PBRWPS,*38\r\n");
  EXPECT_EQ(TrackRequest(7), "\x11" + Framed("PBRTR,07"));
  EXPECT_EQ(TrackRequest(99), "\x11" + Framed("PBRTR,99"));
  EXPECT_EQ(TrackRequest(-1), std::string(kNewestTrackRequest));
}

TEST(FlytecProductParser, FieldsAndDescription) {
  ProductParser p;
  // Noise and a false start before the sentence; lower-case checksum digits are accepted here.
  ASSERT_EQ(FeedAll(p, "xx$PBR$" + Framed("PBRSNP,compeo,  Anna   Berg  ,12345,2.2", true).substr(1)), kParseComplete);
  EXPECT_EQ(p.product().name, "COMPEO");
  EXPECT_EQ(p.product().pilot, "Anna Berg");
  EXPECT_EQ(p.product().serial, "12345");
  EXPECT_EQ(p.product().version, "2.2");
  EXPECT_EQ(p.product().description, "COMPEO, SN12345, SW2.2");
}

TEST(FlytecProductParser, EveryCode) {
  const std::string forty(40, 'p');
  struct Case {
    std::string bytes;
    int result;
  } cases[] = {
      {Framed("PBRSNP,5020,                 ,1,1.22"), kParseComplete},  // blank pilot accepted
      {Framed("PBRSNP,5020," + forty + "   ,1,1.22"), kParseComplete},   // 40 and trailing blanks
      {"$PBRSNP,50\r", -1},
      {"$PBRSNP, 5020,", -2},
      {"$PBRSNP,ABCDEFGHIJKLMNOPQ", -2},
      {"$PBRSNP,5020,pilot\n", -3},
      {"$PBRSNP,5020," + forty + " x", -4},
      {"$PBRSNP,5020," + forty + "x", -4},
      {"$PBRSNP,5020,p,12\r", -5},
      {"$PBRSNP,5020,p, 1", -7},
      {"$PBRSNP,5020,p,12345678", -7},
      {"$PBRSNP,5020,p,1,1.2\n", -8},
      {"$PBRSNP,5020,p,1, 1", -9},
      {"$PBRSNP,5020,p,1,1234567", -9},
      {"$PBRSNP,5020,p,1,1.2*4\r", -10},
      {"$PBRSNP,5020,p,1,1.2*4G", -11},
      {"$PBRSNP,5020,p,1,1.2*00\n", -12},
      {"$PBRSNP,5020,p,1,1.2*00\r\n", -13},
  };
  for (const Case& c : cases) {
    ProductParser p;
    EXPECT_EQ(FeedAll(p, c.bytes), c.result) << c.bytes;
  }
}

TEST(FlytecTrackListParser, EntriesAndNumbers) {
  TrackListParser p;
  ASSERT_EQ(FeedAll(p, Framed("PBRTL,03,00,15.07.24,10:00:00,01:02:03")), kParseComplete);
  ASSERT_EQ(FeedAll(p, Framed("PBRTL,03,123,16.07.24,11:00:00,00:10:00", true)), kParseComplete);
  // A very long field is cut: separators only below 79 characters, characters below 81.
  ASSERT_EQ(FeedAll(p, Framed("PBRTL,03,5," + std::string(70, 'd') + ",t,u")), kParseComplete);
  EXPECT_EQ(p.entries()[0], "00   15.07.24   10:00:00   01:02:03");
  EXPECT_EQ(p.entries()[99], "99   16.07.24   11:00:00   00:10:00");
  EXPECT_EQ(p.entries()[5], "05   " + std::string(70, 'd') + "   tu");
  ASSERT_EQ(FeedAll(p, Framed("PBRTL,03,6," + std::string(76, 'd') + ",t,u")), kParseComplete);
  EXPECT_EQ(p.entries()[6], "06   " + std::string(76, 'd'));
  EXPECT_TRUE(p.entries()[1].empty());
  // Digits saturate: a number of any length stays 99.
  ASSERT_EQ(FeedAll(p, Framed("PBRTL,1,99999999999999999999,x,y,z")), kParseComplete);
  EXPECT_EQ(p.entries()[99].substr(0, 7), "99   x ");
}

TEST(FlytecTrackListParser, EveryCode) {
  struct Case {
    std::string bytes;
    int result;
  } cases[] = {
      {"$PBRTL,1\r", -1}, {"$PBRTL,x", -2},        {"$PBRTL,1,2\n", -3},         {"$PBRTL,1,a", -4},
      {"$PBRTL,1,2,d\r", -5}, {"$PBRTL,1,2,d,t\n", -6}, {"$PBRTL,1,2,d,t,u\r", -7}, {"$PBRTL,1,2,d,t,u*\r", -8},
      {"$PBRTL,1,2,d,t,u*0z", -9}, {"$PBRTL,1,2,d,t,u*00\n", -10}, {"$PBRTL,1,2,d,t,u*00\r\n", -11},
  };
  for (const Case& c : cases) {
    TrackListParser p;
    EXPECT_EQ(FeedAll(p, c.bytes), c.result) << c.bytes;
  }
}

// Degrees of a semicircle value.
using tarnvik::testing::Degrees;

TEST(FlytecIgcLineParser, FixesDatesAndMidnight) {
  std::vector<core::TrackPoint> points;
  IgcLineParser p(points);
  ASSERT_EQ(FeedAll(p, "\r\nAFLY04711\r\n"), kParseComplete);
  EXPECT_STREQ(p.manufacturer(), "FLY");
  EXPECT_STREQ(p.loggerId(), "047");
  ASSERT_EQ(FeedAll(p, "HFDTEDATE:311224,01\r\n"), kParseComplete);
  ASSERT_EQ(FeedAll(p, "B2359594730000S00815000WA0010000123\r\n"), kParseComplete);
  // The same time again (a repeated record) and slightly earlier: no new day.
  ASSERT_EQ(FeedAll(p, "B2359594730000S00815000WA0010000123\r\n"), kParseComplete);
  ASSERT_EQ(FeedAll(p, "B2359504730000S00815000WA0010000123\r\n"), kParseComplete);
  ASSERT_EQ(FeedAll(p, "B0000014730000S00815000WA00100-0012\r\n"), kParseComplete);
  ASSERT_EQ(points.size(), 4u);
  const uint32_t newYearsEve = *core::CalendarToTime({2024, 12, 0, 31, 0, 0, 0, 0});
  EXPECT_EQ(points[0].flags, 1u);
  EXPECT_EQ(points[0].time, newYearsEve + 86399);
  EXPECT_EQ(p.firstFixTime(), newYearsEve + 86399);
  EXPECT_EQ(points[1].time, newYearsEve + 86399);
  EXPECT_EQ(points[2].time, newYearsEve + 86390);
  EXPECT_EQ(points[3].flags, 0u);
  EXPECT_EQ(points[3].time, newYearsEve + 86400 + 1);
  EXPECT_NEAR(Degrees(points[0].latitude), -47.5, 1e-6);
  EXPECT_NEAR(Degrees(points[0].longitude), -8.25, 1e-6);
  EXPECT_EQ(points[0].height, 1230);
  EXPECT_EQ(points[3].height, -120);
  // A last line without LF.
  ASSERT_EQ(FeedAll(p, "G123\r"), kParseContinue);
  EXPECT_EQ(p.Finish(), kParseComplete);
  EXPECT_EQ(p.gRecords(), 1);
}

TEST(FlytecIgcLineParser, EveryCode) {
  const std::string b = "B1200004730000N00815000EA0010000123";
  auto with = [&](size_t at, const std::string& text) { return std::string(b).replace(at, text.size(), text); };
  struct Case {
    std::string line;
    int result;
  } cases[] = {
      {"HFDTE1507xx", -1}, {"HFDTE15xx24", -2}, {"HFDTE151324", -3}, {"HFDTE150024", -3},
      {"HFDTEx10724", -4}, {"HFDTE000724", -5}, {"HFDTE320724", -5},
      {b.substr(0, 34), -24}, {with(30, "x"), -7}, {with(20, "x"), -8}, {with(18, "x"), -9},
      {with(15, "x"), -10}, {with(15, "180"), -11}, {with(23, "X"), -12}, {with(11, "x"), -13},
      {with(9, "x"), -14}, {with(7, "x"), -15}, {with(7, "90"), -16}, {with(14, "X"), -17},
      {with(5, "x"), -18}, {with(5, "60"), -19}, {with(3, "x"), -20}, {with(3, "60"), -21},
      {with(1, "x"), -22}, {with(1, "24"), -23}, {with(9, "99"), kParseContinue},
      {"AFLY", -28}, {"AFL-123", -29},
  };
  for (const Case& c : cases) {
    std::vector<core::TrackPoint> points;
    IgcLineParser p(points);
    ASSERT_EQ(p.ParseLine("HFDTE150724"), kParseContinue);
    EXPECT_EQ(p.ParseLine(c.line), c.result) << c.line;
  }
  // Before any date line.
  std::vector<core::TrackPoint> points;
  IgcLineParser p(points);
  EXPECT_EQ(p.ParseLine(b), -25);
  // Line building: a record must start with an upper-case letter; 82 characters are too many.
  EXPECT_EQ(FeedAll(p, "\r\nb"), kBadRecordType);
  EXPECT_EQ(p.badByte(), 'b');
  IgcLineParser q(points);
  EXPECT_EQ(FeedAll(q, "L" + std::string(80, 'x')), kParseContinue);
  EXPECT_EQ(FeedAll(q, "x"), kTooLongLine);
}

TEST(FlytecWaypointParser, WaypointsAndEveryCode) {
  WaypointParser p;
  ASSERT_EQ(FeedAll(p, Framed("PBRWPS,4630.500,S,00815.250,W,,TAKE OFF,1234")), kParseComplete);
  core::Waypoint w = MakeWaypoint(p.waypoint());
  EXPECT_STREQ(w.id, "TAKE");
  EXPECT_STREQ(w.comment, "TAKE OFF");
  EXPECT_EQ(w.altitude, 1234);
  EXPECT_NEAR(Degrees(w.latitude), -(46 + 30.5 / 60), 1e-6);
  EXPECT_NEAR(Degrees(w.longitude), -(8 + 15.25 / 60), 1e-6);
  ASSERT_EQ(FeedAll(p, Framed("PBRWPS,4630,,00815,,lz 2,landing  field,-012")), kParseComplete);
  w = MakeWaypoint(p.waypoint());
  EXPECT_STREQ(w.id, "LZ");
  EXPECT_STREQ(w.comment, "LANDING FIELD");
  EXPECT_EQ(w.altitude, -12);
  ASSERT_EQ(FeedAll(p, Framed("PBRWPS,0000,N,00000,E,")), kParseComplete);
  EXPECT_STREQ(MakeWaypoint(p.waypoint()).id, "Z");
  // Control bytes count as spaces: an ID of NULs must not leave the record's ID empty.
  ASSERT_EQ(FeedAll(p, Framed(std::string("PBRWPS,0000,N,00000,E,\0\0\0,\tgoal\0 b,0001", 39))), kParseComplete);
  w = MakeWaypoint(p.waypoint());
  EXPECT_STREQ(w.id, "GOAL");
  EXPECT_STREQ(w.comment, "GOAL B");

  struct Case {
    std::string bytes;
    int result;
  } cases[] = {
      {"$PBRWPS,89600", -1}, {"$PBRWPS,12x", -2}, {"$PBRWPS,12.3x", -3}, {"$PBRWPS,12,X", -4},
      {"$PBRWPS,12,NX", -5}, {"$PBRWPS,1,N,179600", -6}, {"$PBRWPS,1,N,1x", -7}, {"$PBRWPS,1,N,1.x", -8},
      {"$PBRWPS,1,N,1,X", -9}, {"$PBRWPS,1,N,1,EX", -10}, {"$PBRWPS,1,N,1,E,ab\r", -11},
      {"$PBRWPS,1,N,1,E,abcdefg", -12}, {"$PBRWPS,1,N,1,E,a,b\n", -13},
      {"$PBRWPS,1,N,1,E,a,bbbbbbbbbbbbbbbbbb", -14}, {"$PBRWPS,1,N,1,E,a,b,123*", -15},
      {"$PBRWPS,1,N,1,E,a,b,12345", -16}, {"$PBRWPS,1,N,1,E,a,b,1234*a", -17},
      {"$PBRWPS,1,N,1,E,a,b,1234*0a", -18}, {"$PBRWPS,1,N,1,E,a,b,1234*00\n", -19},
      {"$PBRWPS,1,N,1,E,a,b,1234*00\r\r", -21}, {"$PBRWPS,1,N,1,E,a,b,1234*00\r\n", -20},
      {"$PBRWPS,8959.999,N,00000,E,a,b,0000*1a", -18},
  };
  for (const Case& c : cases) {
    WaypointParser q;
    EXPECT_EQ(FeedAll(q, c.bytes), c.result) << c.bytes;
  }
}

core::Waypoint Wpt(const char* comment, double latitude, double longitude, int altitude) {
  core::Waypoint w;
  w.latitude = static_cast<int32_t>(std::lround(latitude / 180.0 * 2147483648.0));
  w.longitude = static_cast<int32_t>(std::lround(longitude / 180.0 * 2147483648.0));
  w.altitude = altitude;
  std::string(comment).copy(w.comment, sizeof w.comment - 1);
  return w;
}

TEST(FlytecUploadSentence, NamesAltitudesAndPositions) {
  EXPECT_EQ(UploadSentence(Wpt("ABC", 46.5, -8.25, -5)), Framed("PBRWPR,4630.000,N,00815.000,W,,ABC              ,0000"));
  EXPECT_EQ(UploadSentence(Wpt("TWENTY FIVE CHARACTERS AB", -0.5, 179.9999, 12000)),
            Framed("PBRWPR,0030.000,S,17959.994,E,,TWENTY FIVE CHARA,9999"));
  // Characters that would end or split the sentence become blanks.
  EXPECT_EQ(UploadName(Wpt("A,B*C$D\rE\nF", 0, 0, 0)), "A B C D E F      ");
}

TEST(FlytecCompetitionId, DecodesThePositionCode) {
  auto at = [](int lonDeg, int lonMin, int lonSec, int latDeg, int latMin, int latSec) {
    const double lat = latDeg + latMin / 60.0 + latSec / 3600.0;
    const double lon = lonDeg + lonMin / 60.0 + lonSec / 3600.0;
    return core::DecodeIdPosition(static_cast<int32_t>(std::lround(lat / 180.0 * 2147483648.0)),
                                  static_cast<int32_t>(std::lround(lon / 180.0 * 2147483648.0)));
  };
  EXPECT_EQ(at(0, 0, 5, 0, 0, 0), 5000);
  EXPECT_EQ(at(12, 3, 4, 5, 6, 7), 1234567);
  EXPECT_EQ(at(179, 9, 9, 9, 9, 9), 17999999);
  EXPECT_EQ(at(0, 10, 0, 0, 0, 0), -1);
  EXPECT_EQ(at(0, 0, 0, 10, 0, 0), -1);
  EXPECT_EQ(at(0, 0, 0, 0, 0, 10), -1);
  EXPECT_EQ(core::DecodeIdPosition(-100000, 0), -1);
}

TEST(FlytecTrackChoice, VersionRule) {
  struct Case {
    const char* name;
    const char* version;
    bool lists;
  } cases[] = {
      {"GALILEO", "2.19", false}, {"GALILEO", "2.2", true},    {"COMPEO", "2.19", false}, {"5030", "2.20", true},
      {"COMPETINO", "1.13", false}, {"COMPETINO", "1.2", true}, {"5020", "1.14", true},    {"5020", "1.1", false},
      {"6030", "", true},          {"COMPEO+", "0", true},      {"COMPETINO+", "", true},  {"IQ", "9.9", false},
  };
  for (const Case& c : cases) EXPECT_EQ(CanListTracks(c.name, c.version), c.lists) << c.name << " " << c.version;
}

}  // namespace
}  // namespace tarnvik::devices::flytec
