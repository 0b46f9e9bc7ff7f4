// The XC Trainer and Top Navigator records: line assembly, MXP header and data lines, the TNC
// records and block rules (the vendor document's own example included), waypoint lines, the
// "@@WP" packet and the .tnc file reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "devices/xctrainer/xctrainer_records.h"
#include "tests/fakes/recording_ui.h"
#include "tests/fakes/semicircles.h"

namespace tarnvik::devices::xctrainer {
namespace {

using tarnvik::testing::Degrees;

uint32_t Time(int year, int month, int day, int h, int m, int s) {
  return *core::CalendarToTime({static_cast<uint16_t>(year), static_cast<uint16_t>(month), 0,
                                static_cast<uint16_t>(day), 0, 0, 0, 0}) +
         static_cast<uint32_t>(h * 3600 + m * 60 + s);
}

// An MXP line body with its XOR checksum in two hex digits appended.
std::string WithSum(const std::string& body) {
  unsigned x = 0;
  for (char c : body) x ^= static_cast<unsigned char>(c);
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", x);
  return body + hex;
}

// ---- lines ----------------------------------------------------------------------------------------

std::vector<std::string> Assemble(const std::string& bytes, int& tooLong) {
  LineAssembler a;
  std::vector<std::string> lines;
  tooLong = 0;
  for (char c : bytes) {
    const LineAssembler::Result r = a.Feed(static_cast<uint8_t>(c));
    if (r == LineAssembler::kLine) lines.push_back(a.line());
    if (r == LineAssembler::kTooLong) ++tooLong;
  }
  return lines;
}

TEST(LineAssembler, CrEndsTheTextAndCountsTowardTheHundredCharacters) {
  int tooLong = 0;
  // 99 characters and a CR fit; 100 and a CR are one too many.
  EXPECT_EQ(Assemble(std::string(99, 'A') + "\r\n", tooLong), std::vector<std::string>{std::string(99, 'A')});
  EXPECT_EQ(tooLong, 0);
  Assemble(std::string(100, 'A') + "\r\n", tooLong);
  EXPECT_EQ(tooLong, 1);
  // XON/XOFF never reach a line; text after the CR is not part of it, and bytes between CR and
  // LF mark the line damaged (a trailing CR no record accepts).
  EXPECT_EQ(Assemble("AB\x11" "C\r\r\n\x13" "D\n", tooLong), (std::vector<std::string>{"ABC", "D"}));
  EXPECT_EQ(Assemble("ABC\r\xF5" "DEF\r\n", tooLong), std::vector<std::string>{"ABC\r"});
}

// ---- MXP ------------------------------------------------------------------------------------------

const std::string kHeaderBody = "@xc12051267  240715103000010003" "01" "   ";

TEST(MxpHeader, ReadsProductStartAndCount) {
  MxpHeader h;
  ASSERT_EQ(ParseMxpHeader(WithSum(kHeaderBody), 10, h), 0);
  EXPECT_EQ(MxpProductText(h), "XC Trainer V1.2-05, S/N 4711");
  EXPECT_EQ(h.start, Time(2024, 7, 15, 10, 30, 0));
  EXPECT_EQ(h.count, 3);
  std::string tn = kHeaderBody;
  tn.replace(0, 3, "@tn");
  ASSERT_EQ(ParseMxpHeader(WithSum(tn), 9, h), 0);
  EXPECT_EQ(MxpProductText(h), "Top Navigator V1.205, S/N 4711");
}

TEST(MxpHeader, CodesInTheirOrder) {
  struct Case {
    size_t at;
    std::string text;
    int code;
  };
  const Case cases[] = {
      {0, "@tn", 5},  {7, "12G7", 17},  {13, "2407a5", 6}, {15, "13", 7}, {19, "25", 7},
      {25, "02", 8},  {27, "00G3", 9},  {31, "0Z", 10},
  };
  for (const Case& c : cases) {
    std::string body = kHeaderBody;
    body.replace(c.at, c.text.size(), c.text);
    MxpHeader h;
    EXPECT_EQ(ParseMxpHeader(WithSum(body), 10, h), c.code) << c.text;
  }
  MxpHeader h;
  EXPECT_EQ(ParseMxpHeader(WithSum(kHeaderBody).substr(0, 37), 10, h), 2);
  EXPECT_EQ(ParseMxpHeader(kHeaderBody + "G1", 10, h), 3);
  std::string wrong = WithSum(kHeaderBody);
  wrong[37] = wrong[37] == '0' ? '1' : '0';
  EXPECT_EQ(ParseMxpHeader(wrong, 10, h), 4);
  // Hour 24 is accepted, as the instrument writes it.
  std::string late = kHeaderBody;
  late.replace(19, 2, "24");
  EXPECT_EQ(ParseMxpHeader(WithSum(late), 10, h), 0);
}

// record 0, offset 0, 47.5 N, 8.25 E, 852 m.
const std::string kDataBody = "00000000" "00" "116520" "030570" "0354";

TEST(MxpData, FieldsAndCodes) {
  MxpFix f;
  ASSERT_EQ(ParseMxpData(WithSum(kDataBody), 0, f), 0);
  EXPECT_NEAR(Degrees(f.latitude), 47.5, 1e-7);
  EXPECT_NEAR(Degrees(f.longitude), 8.25, 1e-7);
  EXPECT_EQ(f.height, 852);
  struct Case {
    size_t at;
    std::string text;
    int code;
  };
  const Case cases[] = {
      {0, "00X0", 11},   {0, "0001", 12},  {4, "00Y0", 13},   {10, "11652G", 14}, {16, "03057.", 14},
      {22, "03G4", 15},  {10, "7FFFFF", 14},  // 349 degrees: beyond the pole
      {10, "20F670", 14},                     // 90.01 degrees
      {16, "41EC60", 14},                     // 180.01 degrees
  };
  for (const Case& c : cases) {
    std::string body = kDataBody;
    body.replace(c.at, c.text.size(), c.text);
    EXPECT_EQ(ParseMxpData(WithSum(body), 0, f), c.code) << c.text;
  }
  EXPECT_EQ(ParseMxpData(WithSum(kDataBody).substr(0, 27), 0, f), 2);
  EXPECT_EQ(ParseMxpData(kDataBody + "Q0", 0, f), 3);
  EXPECT_EQ(ParseMxpData(kDataBody + "00", 0, f), 4);
  // Negative heights and southern/western positions are two's complement; 180 E wraps to -2^31.
  std::string south = kDataBody;
  south.replace(10, 16, "EE9AE0" "41EB00" "FFEC");
  ASSERT_EQ(ParseMxpData(WithSum(south), 0, f), 0);
  EXPECT_NEAR(Degrees(f.latitude), -47.5, 1e-7);
  EXPECT_EQ(f.longitude, INT32_MIN);
  EXPECT_EQ(f.height, -20);
}

TEST(MxpLog, SixteenBitOffsetsWrapBy65536Seconds) {
  MxpHeader h;
  ASSERT_EQ(ParseMxpHeader(WithSum(kHeaderBody), 10, h), 0);
  MxpLog log(h);
  auto line = [](int record, int offset) {
    char body[32];
    std::snprintf(body, sizeof body, "%04X%04X00116520030570%04X", record, offset, 100 + record);
    return WithSum(body);
  };
  ASSERT_EQ(log.Add(line(0, 65000)), 0);
  ASSERT_EQ(log.Add(line(1, 100)), 0);
  EXPECT_EQ(log.Add(line(3, 200)), 12);
  ASSERT_EQ(log.points.size(), 2u);
  EXPECT_EQ(log.points[0].time, h.start + 65000);
  EXPECT_EQ(log.points[1].time - log.points[0].time, 636u);
  EXPECT_EQ(log.points[0].flags, 1u);
  EXPECT_EQ(log.points[1].flags, 0u);
  EXPECT_EQ(log.points[1].height, 1010);
}

// ---- TNC ------------------------------------------------------------------------------------------

const std::string kVendorStart =
    "@TN7xFFFF42xx1E9507291305162702EMBERGERALM024C058A01B8070303EF091c2F23xxB50022";

TEST(TncRecords, VendorDocumentExample) {
  TncStart s;
  ASSERT_TRUE(ParseTncStart(kVendorStart, s));
  EXPECT_EQ(s.offsetHours, 2);
  EXPECT_EQ(ParseTncTime("1305170BB35ACx"), 13 * 3600 + 5 * 60 + 17);
  TncLogParser p;
  for (const char* line : {kVendorStart.c_str(), "1305170BB35ACx", "04517F016BFC035400000000000xxx", "@EOF"}) {
    p.Feed(line);
  }
  ASSERT_EQ(p.points.size(), 1u);
  const core::TrackPoint& fix = p.points[0];
  EXPECT_NEAR(Degrees(fix.latitude), 47 + 10.07 / 60, 0.005 / 60);
  EXPECT_NEAR(Degrees(fix.longitude), 15 + 31.80 / 60, 0.005 / 60);
  EXPECT_EQ(fix.height, 8520);
  EXPECT_EQ(fix.time, Time(1995, 7, 29, 11, 5, 17));
  EXPECT_TRUE(p.utc());
}

// A start record with the given take-off name (11 characters), date and offset byte.
std::string Start(const std::string& takeoff = "EMBER  ALM ", const std::string& date = "240715",
                  const std::string& offset = "02") {
  std::string s = kVendorStart;
  s.replace(15, 6, date);
  s.replace(29, 2, offset);
  s.replace(31, 11, takeoff);
  return s;
}
std::string Position(int i) {
  char line[40];
  std::snprintf(line, sizeof line, "%06X%06X%04X00000000000xxx", 283000 + i, 93000 + i, 800 + i);
  return line;
}
std::string TimeRecord(int h, int m, int s) {
  char line[20];
  std::snprintf(line, sizeof line, "%02d%02d%02d0BB35ACx", h, m, s);
  return line;
}

struct TncRun {
  int code = 0;  // the first failing code, 0 when the log ended
  TncLogParser parser;
};
TncRun FeedLines(const std::vector<std::string>& lines) {
  TncRun run;
  for (const std::string& l : lines) {
    const int r = run.parser.Feed(l);
    if (r > 0) {
      run.code = r;
      break;
    }
    if (r == TncLogParser::kEnd) break;
  }
  return run;
}
std::vector<std::string> Block(int h, int m, int s, int n, int first = 0) {
  std::vector<std::string> lines = {TimeRecord(h, m, s)};
  for (int i = 0; i < n; ++i) lines.push_back(Position(first + i));
  return lines;
}
std::vector<std::string> Log(std::vector<std::vector<std::string>> blocks, const std::string& start = Start(),
                             bool eof = true) {
  std::vector<std::string> lines = {"", "XC Trainer", start};
  for (auto& b : blocks) lines.insert(lines.end(), b.begin(), b.end());
  if (eof) lines.push_back("@EOF");
  return lines;
}

TEST(TncLog, BlanksInsideTheStartRecordDoNotHideIt) {
  // Normalising first would shrink this record below 78 characters and never find it.
  TncRun run = FeedLines(Log({Block(12, 0, 0, 3)}, Start("MT  BLANC  ")));
  EXPECT_EQ(run.code, 0);
  ASSERT_EQ(run.parser.points.size(), 3u);
  // Blank runs in the other records are normalised away.
  run = FeedLines(Log({{"  12 0000 0BB35ACx", Position(0)}}));
  EXPECT_EQ(run.code, 1);
  run = FeedLines(Log({{"  120000 0BB35ACx", "  " + Position(0) + "  "}}));
  EXPECT_EQ(run.code, 1);  // a blank inside a record still breaks its form
  run = FeedLines(Log({{"   " + TimeRecord(12, 0, 0) + "  ", "  " + Position(0)}}));
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.parser.points.size(), 1u);
}

TEST(TncLog, BlockRules) {
  const uint32_t t = Time(2024, 7, 15, 10, 0, 0);  // 12:00 local at +2 h
  struct Case {
    const char* name;
    std::vector<std::vector<std::string>> blocks;
    int code;
    size_t points;
    uint32_t first, last;
    int erroneous;
  };
  std::vector<std::string> damaged = Block(12, 0, 0, 21);
  damaged[1] = "04517G016BFC035400000000000xxx";
  std::vector<std::string> badAfterGood = Block(12, 0, 0, 5);
  badAfterGood[3] = "short";
  std::vector<std::string> lostLine = Block(12, 0, 0, 5);
  lostLine[2] += "\r";  // its line end was damaged and took the next line with it
  lostLine.erase(lostLine.begin() + 3);
  const Case cases[] = {
      {"thirty", {Block(12, 0, 0, 30)}, 0, 30, t, t + 29, 0},
      {"thirty-first at a time record", {Block(12, 0, 0, 31), Block(12, 0, 40, 1)}, 23, 0, 0, 0, 0},
      {"thirty-first at the end", {Block(12, 0, 0, 31)}, 13, 0, 0, 0, 0},
      {"damaged first line", {damaged, Block(12, 0, 30, 2)}, 0, 22, t + 10, t + 31, 1},
      {"damaged first line at the end", {damaged}, 10, 0, 0, 0, 1},
      {"bad entry after good", {badAfterGood, Block(12, 0, 30, 1)}, 21, 0, 0, 0, 0},
      {"damaged line end", {lostLine, Block(12, 0, 30, 1)}, 21, 0, 0, 0, 0},
      {"time records 20 s apart", {Block(12, 0, 0, 20), Block(12, 0, 20, 1)}, 2, 0, 0, 0, 0},
      {"forty-first line", {Block(12, 0, 0, 41)}, 3, 0, 0, 0, 0},
      {"across midnight", {Block(23, 59, 50, 10), Block(0, 0, 20, 2)}, 0, 12, t + 11 * 3600 + 59 * 60 + 50,
       t + 12 * 3600 + 21, 0},
  };
  for (const Case& c : cases) {
    TncRun run = FeedLines(Log(c.blocks));
    EXPECT_EQ(run.code, c.code) << c.name;
    EXPECT_EQ(run.parser.erroneousBlocks(), c.erroneous) << c.name;
    if (c.code != 0) continue;
    ASSERT_EQ(run.parser.points.size(), c.points) << c.name;
    EXPECT_EQ(run.parser.points.front().time, c.first) << c.name;
    EXPECT_EQ(run.parser.points.back().time, c.last) << c.name;
    EXPECT_EQ(run.parser.points.front().flags, 1u);
    EXPECT_EQ(run.parser.points.back().flags, 0u);
  }
  // Without a time record after the start record.
  EXPECT_EQ(FeedLines({Start(), Position(0)}).code, 1);
}

TEST(TncLog, TimeZoneOffsetMakesUtcDateIncluded) {
  struct Case {
    const char* offset;
    uint32_t expected;
    bool utc;
  };
  const Case cases[] = {
      {"02", Time(2024, 7, 14, 23, 30, 0), true},   // 01:30 local at +2 h: the day before in UTC
      {"F3", Time(2024, 7, 15, 14, 30, 0), true},   // -13 h
      {"0E", Time(2024, 7, 14, 11, 30, 0), true},   // +14 h
      {"0F", Time(2024, 7, 15, 1, 30, 0), false},   // beyond 14 h: no zone
      {"80", Time(2024, 7, 15, 1, 30, 0), false},
  };
  for (const Case& c : cases) {
    TncRun run = FeedLines(Log({Block(1, 30, 0, 1)}, Start("EMBER  ALM ", "240715", c.offset)));
    ASSERT_EQ(run.code, 0) << c.offset;
    ASSERT_EQ(run.parser.points.size(), 1u);
    EXPECT_EQ(run.parser.points[0].time, c.expected) << c.offset;
    EXPECT_EQ(run.parser.utc(), c.utc) << c.offset;
  }
}

TEST(TncLog, TwoDigitYearsOfTheStartRecord) {
  // 90-99 are the 1990s, 00-89 the years 2000-2089.
  struct Case {
    const char* date;
    uint32_t expected;
  };
  const Case cases[] = {
      {"950729", Time(1995, 7, 29, 12, 0, 0)},
      {"900101", Time(1990, 1, 1, 12, 0, 0)},
      {"891231", Time(2089, 12, 31, 12, 0, 0)},
      {"000101", Time(2000, 1, 1, 12, 0, 0)},
  };
  for (const Case& c : cases) {
    TncRun run = FeedLines(Log({Block(12, 0, 0, 1)}, Start("EMBER  ALM ", c.date, "00")));
    ASSERT_EQ(run.code, 0) << c.date;
    ASSERT_EQ(run.parser.points.size(), 1u) << c.date;
    EXPECT_EQ(run.parser.points[0].time, c.expected) << c.date;
  }
}

// ---- .tnc files ---------------------------------------------------------------------------------------

std::string File(const std::vector<std::string>& lines, const char* end = "\r\n") {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += lines[i] + (i + 1 < lines.size() ? "\r\n" : end);
  return text;
}

TEST(ParseTncLogFile, ReadsAFileAndSaysWhatIsWrong) {
  testing::RecordingUi ui;
  // A last "@EOF" without its line end is read.
  formats::TrackParseResult r = ParseTncLogFile(ui, File(Log({Block(12, 0, 0, 30), Block(12, 0, 30, 5)}), ""));
  EXPECT_TRUE(ui.shown.empty());
  ASSERT_EQ(r.result, 35);
  EXPECT_EQ(r.fixes.size(), 35u);
  EXPECT_EQ(r.extra, 1);
  EXPECT_EQ(r.fixes.back().time, Time(2024, 7, 15, 10, 0, 34));

  struct Case {
    std::string bytes;
    const char* text;
  };
  const Case cases[] = {
      {File({"nothing", "here"}), "Missing start record"},
      {File(Log({Block(12, 0, 0, 3)}, Start(), false)), "Missing end-of-file record"},
      {File(Log({Block(12, 0, 0, 20), Block(12, 0, 20, 1)})), "Error 2 on line 25"},
      {File(Log({Block(12, 0, 0, 31), Block(12, 0, 40, 1)})), "Error 23 on block line 31"},
      {File({Start(), std::string(101, '1')}), "Error 1 on line 2"},
  };
  for (const Case& c : cases) {
    r = ParseTncLogFile(ui, c.bytes);
    EXPECT_LE(r.result, 0) << c.text;
    EXPECT_TRUE(r.fixes.empty());
    ui.ExpectOnly("Reading Top Navigator Log File", c.text);
  }
  // A log without fixes is no log, and nothing is said.
  r = ParseTncLogFile(ui, File(Log({{TimeRecord(12, 0, 0)}})));
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(ui.shown.empty());
}

// ---- waypoints --------------------------------------------------------------------------------------

TEST(TncWaypointLine, Fields) {
  struct Case {
    const char* line;
    int result;
    const char* id;
    double lat, lon;
    int altitude;
  };
  const Case cases[] = {
      {"ABC___ Name TPT N 47 10 04 E 15 31 48 852 m", 0, "ABC", 47 + 10 / 60.0 + 4 / 3600.0,
       15 + 31 / 60.0 + 48 / 3600.0, 852},
      {"AB_ x TPT S 12 00 00 W 100 30 00 -20 m", 0, "AB_", -12, -100.5, 0},
      {"  LONGNAME   x  TPT N 1 2 3 E 4 5 6 7 m  ", 0, "LONGNA", 1 + 2 / 60.0 + 3 / 3600.0,
       4 + 5 / 60.0 + 6 / 3600.0, 7},
      {"ABC x WPT N 47 10 04 E 15 31 48 852 m", -1, "", 0, 0, 0},
      {"; ABC x TPT N 47 10 04 E 15 31 48 852 m", -1, "", 0, 0, 0},
      {"ABC x TPT N 90 00 00 E 15 31 48 852 m", -1, "", 0, 0, 0},
      {"ABC x TPT N 47 60 00 E 15 31 48 852 m", -1, "", 0, 0, 0},
      {"ABC x TPT N 47 10 04 E 180 00 00 852 m", -1, "", 0, 0, 0},
      {"ABC x TPT X 47 10 04 E 15 31 48 852 m", -1, "", 0, 0, 0},
      {"ABC x TPT N 47 10 04 E 15 31 48 852 ft", -1, "", 0, 0, 0},
      {"ABC x TPT N 47 10 04 E 15 31 48 852 m extra", -1, "", 0, 0, 0},
      {"ABC x TPT N 47 10 04 E 15 31 48 85a m", -1, "", 0, 0, 0},
  };
  for (const Case& c : cases) {
    core::Waypoint w;
    EXPECT_EQ(ParseTncWaypointLine(c.line, w), c.result) << c.line;
    if (c.result != 0) continue;
    EXPECT_STREQ(w.id, c.id);
    EXPECT_NEAR(Degrees(w.latitude), c.lat, 1e-7) << c.line;
    EXPECT_NEAR(Degrees(w.longitude), c.lon, 1e-7) << c.line;
    EXPECT_EQ(w.altitude, c.altitude);
    EXPECT_STREQ(w.comment, "");
  }
}

TEST(WaypointPacket, HandComputedBytesWithFlowControlValues) {
  core::Waypoint w;
  std::snprintf(w.id, sizeof w.id, "XC1");
  w.latitude = *core::LatitudeFromDegrees(47.5);   // 285000 = 0x045948
  w.longitude = *core::LongitudeFromDegrees(8.25); // 49500 = 0x00C15C
  w.altitude = 0x1113;                             // 4371 m: the XON and XOFF byte values
  const WaypointPacket expected = {'@',  '@',  'W',  'P',  0x81, 0x11, 0x13, 'X',  'C',  '1',
                                   ' ',  ' ',  ' ',  ' ',  ' ',  ' ',  ' ',  ' ',  'N',  'O',
                                   0x06, 0x00, 0x48, 0x59, 0x04, 0x5C, 0xC1, 0x00, 0x21, '\r'};
  EXPECT_EQ(BuildWaypointPacket(w), expected);
  w.altitude = -20;
  w.latitude = *core::LatitudeFromDegrees(-0.5);  // -3000 = 0xFFF448
  const WaypointPacket south = BuildWaypointPacket(w);
  EXPECT_EQ(south[5], 0x00);
  EXPECT_EQ(south[6], 0x00);
  EXPECT_EQ(south[22], 0x48);
  EXPECT_EQ(south[23], 0xF4);
  EXPECT_EQ(south[24], 0xFF);
}

}  // namespace
}  // namespace tarnvik::devices::xctrainer
