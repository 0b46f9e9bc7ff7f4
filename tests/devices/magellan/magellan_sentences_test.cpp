// The Magellan sentence collector, the field split with its ESC-hex escape, the track point and
// waypoint interpreters with their codes, and the upload sentence.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/magellan/magellan_sentences.h"

namespace tarnvik::devices::magellan {
namespace {

// Feeds a byte string; the first non-kMore result (or kMore when none came) and the body.
int Collect(const std::string& bytes, std::string* body = nullptr) {
  SentenceCollector c;
  for (char ch : bytes) {
    const int r = c.Feed(static_cast<uint8_t>(ch));
    if (r != SentenceCollector::kMore) {
      if (body) *body = c.body();
      return r;
    }
  }
  return SentenceCollector::kMore;
}

TEST(MagellanCollector, SentenceCodes) {
  struct Case {
    const char* name;
    std::string bytes;
    int expected;
  } cases[] = {
      {"upper-case hex", "$PMGNCMD,END*3D\r\n", SentenceCollector::kSentence},
      {"lower-case hex", "$PMGNCMD,END*3d\r\n", SentenceCollector::kSentence},
      {"noise before the dollar", "\xff\x07junk$PMGNCMD,END*3D\r\n", SentenceCollector::kSentence},
      {"bad hex digit", "$PMGNCMD,END*3G\r\n", 2},
      {"checksum mismatch", "$PMGNCMD,END*3E\r\n", 3},
      {"no CR", "$PMGNCMD,END*3D\n", 3},
      {"no LF", "$PMGNCMD,END*3D\r\r", 4},
      {"truncated, still waiting", "$PMGNCMD,EN", SentenceCollector::kMore},
  };
  for (const Case& c : cases) EXPECT_EQ(Collect(c.bytes), c.expected) << c.name;
}

TEST(MagellanCollector, LongBodyKeepsHundredCharactersButChecksAll) {
  const std::string body = "PMGNTXT," + std::string(150, 'X');
  std::string got;
  ASSERT_EQ(Collect(FrameSentence(body), &got), SentenceCollector::kSentence);
  EXPECT_EQ(got, body.substr(0, 100));
  std::string damaged = FrameSentence(body);
  damaged[130] = 'Y';  // beyond the kept part: only the checksum sees it
  EXPECT_EQ(Collect(damaged), 3);
}

TEST(MagellanFields, BlanksSkippedAndEscapedCommaDecodedPerField) {
  const std::vector<std::string> f = SplitFields("PMGNWPL,  4730.500,N,A\x1b" "2CB,\x1b" "2c,\x1bZZ,");
  ASSERT_EQ(f.size(), 7u);
  EXPECT_EQ(f[1], "4730.500");
  EXPECT_EQ(f[3], "A,B");
  EXPECT_EQ(f[4], ",");
  EXPECT_EQ(f[5], "\x1bZZ");  // not an escape: kept as it came
  EXPECT_EQ(f[6], "");
}

core::TrackPoint Track(const std::string& body, int& code) {
  core::TrackPoint p;
  code = ParseTrackPoint(SplitFields(body), p);
  return p;
}

TEST(MagellanTrack, CodesOfBrokenRecords) {
  struct Case {
    const char* body;
    int code;
  } cases[] = {
      {"PMGNTRK", 1},
      {"PMGNTRK,47x0.1,N,01315.250,E,1650,M,101500.00,A,T,150724", 2},
      {"PMGNTRK,9030.000,N,01315.250,E,1650,M,101500.00,A,T,150724", 3},
      {"PMGNTRK,4760.000,N,01315.250,E,1650,M,101500.00,A,T,150724", 3},
      {"PMGNTRK,4730.000", 4},
      {"PMGNTRK,4730.000,Q,01315.250,E,1650,M,101500.00,A,T,150724", 5},
      {"PMGNTRK,4730.000,N", 6},
      {"PMGNTRK,4730.000,N,-1315.250,E,1650,M,101500.00,A,T,150724", 7},
      {"PMGNTRK,4730.000,N,18015.250,E,1650,M,101500.00,A,T,150724", 8},
      {"PMGNTRK,4730.000,N,01315.250", 9},
      {"PMGNTRK,4730.000,N,01315.250,X,1650,M,101500.00,A,T,150724", 10},
      {"PMGNTRK,4730.000,N,01315.250,E,16x0,M,101500.00,A,T,150724", 12},
      {"PMGNTRK,4730.000,N,01315.250,E,1650", 13},
      {"PMGNTRK,4730.000,N,01315.250,E,1650,K,101500.00,A,T,150724", 14},
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M", 15},
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M,106000,A,T,150724", 16},
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M,1015,A,T,150724", 16},
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M,101500.00", 17},
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M,101500.00,V", kSkipped},
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M,101500.00,A", 18},
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M,101500.00,A,T", 19},
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M,101500.00,A,T,15O724", 20},
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M,101500.00,A,T,151324", 20},  // month 13
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M,101500.00,A,T,000724", 20},  // day 0
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M,101500.00,A,T,320724", 20},  // day 32
      {"PMGNTRK,4730.000,N,01315.250,E,1650,M,101500.00,A,T,1150724", 21},
  };
  for (const auto& c : cases) {
    int code = 0;
    Track(c.body, code);
    EXPECT_EQ(code, c.code) << c.body;
  }
}

TEST(MagellanTrack, HeightsTimesAndTwoDigitYears) {
  int code = 0;
  core::TrackPoint p = Track("PMGNTRK,4730.000,S,01315.000,W,01000,F,101500.49,A,T,150724", code);
  ASSERT_EQ(code, 0);
  EXPECT_EQ(p.height, 3048);  // 1000 ft
  EXPECT_EQ(p.time, *core::CalendarToTime({2024, 7, 0, 15, 10, 15, 0, 0}));
  EXPECT_EQ(p.latitude, *core::LatitudeFromDegrees(-47.5));
  EXPECT_EQ(p.longitude, *core::LongitudeFromDegrees(-13.25));

  p = Track("PMGNTRK,4730.000,N,01315.000,E,0001650,M,101500.5,A,T,150724", code);
  ASSERT_EQ(code, 0);
  EXPECT_EQ(p.height, 16500);
  EXPECT_EQ(p.time, *core::CalendarToTime({2024, 7, 0, 15, 10, 15, 1, 0}));

  // Half a second before midnight rounds into the next day.
  p = Track("PMGNTRK,4730.000,N,01315.000,E,1650,M,235959.75,A,T,311299", code);
  ASSERT_EQ(code, 0);
  EXPECT_EQ(p.time, *core::CalendarToTime({2000, 1, 0, 1, 0, 0, 0, 0}));  // 1999 from "99"

  p = Track("PMGNTRK,4730.000,N,01315.000,E,1650,M,120000,A,T,010189", code);
  ASSERT_EQ(code, 0);
  EXPECT_EQ(p.time, *core::CalendarToTime({2089, 1, 0, 1, 12, 0, 0, 0}));
}

TEST(MagellanWaypoint, IconFieldLenientNamesFeetAndEscapedComment) {
  core::Waypoint w;
  ASSERT_EQ(ParseWaypoint(SplitFields("PMGNWPL,4641.718,N,01354.732,E,01000,F,gerlitz!,Start\x1b" "2C west,a,x"), w), 0);
  EXPECT_STREQ(w.id, "GERLIT");
  EXPECT_STREQ(w.comment, "START- WEST");  // the comment rule makes the decoded comma a '-' 
  EXPECT_EQ(w.altitude, 305);  // 1000 ft

  struct Case {
    const char* body;
    int code;
  } cases[] = {
      {"PMGNWPL,4641.718,N,01354.732,E", 12},
      {"PMGNWPL,4641.718,N,01354.732,E,1x0,M,A,B", 13},
      {"PMGNWPL,4641.718,N,01354.732,E,100", 14},
      {"PMGNWPL,4641.718,N,01354.732,E,100,Y,A,B", 15},
      {"PMGNWPL,4641.718,N,01354.732,E,100,M,,B", 16},
      {"PMGNWPL,4641.718,N,01354.732,E,100,M", 16},
      {"PMGNWPL,4641.718,N,01354.732,E,100,M,A.B/C-D", 0},  // punctuation: no refusal, no comment
  };
  for (const auto& c : cases) EXPECT_EQ(ParseWaypoint(SplitFields(c.body), w), c.code) << c.body;
}

TEST(MagellanUpload, SentenceOfAHandComputedWaypoint) {
  core::Waypoint w;
  w.latitude = *core::LatitudeFromDegrees(47 + 30.5 / 60);
  w.longitude = *core::LongitudeFromDegrees(13 + 15.25 / 60);
  w.altitude = 1909;
  std::snprintf(w.id, sizeof w.id, "GERLIT");
  std::snprintf(w.comment, sizeof w.comment, "START, WEST SLOPE");
  EXPECT_EQ(BuildWaypointSentence(w),
            "$PMGNWPL,4730.500,N,01315.250,E,1909,M,GERLIT,START\x1b" "2C WEST SLOPE*57\r\n");

  w.latitude = *core::LatitudeFromDegrees(-(33 + 57.768 / 60));
  w.longitude = *core::LongitudeFromDegrees(-(18 + 24.234 / 60));
  w.altitude = -12;
  std::snprintf(w.id, sizeof w.id, "S-PEAK");
  std::snprintf(w.comment, sizeof w.comment, "A*B$C");
  EXPECT_EQ(BuildWaypointSentence(w), "$PMGNWPL,3357.768,S,01824.234,W,0000,M,S-PEAK,A B C*06\r\n");
}

TEST(MagellanUpload, SentBackThroughTheInterpreterGivesTheWaypoint) {
  core::Waypoint w;
  w.latitude = *core::LatitudeFromDegrees(46.6953);
  w.longitude = *core::LongitudeFromDegrees(13.9122);
  w.altitude = 1909;
  std::snprintf(w.id, sizeof w.id, "GER,IT");
  std::snprintf(w.comment, sizeof w.comment, "A,B,C");
  const std::string sentence = BuildWaypointSentence(w);
  std::string body;
  ASSERT_EQ(Collect(sentence, &body), SentenceCollector::kSentence);
  const std::vector<std::string> fields = SplitFields(body);
  ASSERT_EQ(fields.size(), 9u);
  EXPECT_EQ(fields[7], "GER,IT");
  EXPECT_EQ(fields[8], "A,B,C");
  core::Waypoint back;
  ASSERT_EQ(ParseWaypoint(fields, back), 0);
  EXPECT_STREQ(back.id, "GER-IT");  // the lenient rule turns the comma into '-'
  EXPECT_NEAR(back.latitude, w.latitude, 100);
  EXPECT_NEAR(back.longitude, w.longitude, 100);
}

}  // namespace
}  // namespace tarnvik::devices::magellan
