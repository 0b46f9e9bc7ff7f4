#include "devices/logit/logit_protocol.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/records.h"
#include "tests/fakes/semicircles.h"

namespace tarnvik::devices::logit {
namespace {

std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return out;
}

using tarnvik::testing::Degrees;

uint32_t ProgramTime(int year, int month, int day, int hour, int minute, int second) {
  return *core::CalendarToTime({static_cast<uint16_t>(year), static_cast<uint16_t>(month), 0,
                                static_cast<uint16_t>(day), static_cast<uint16_t>(hour),
                                static_cast<uint16_t>(minute), static_cast<uint16_t>(second), 0});
}

TEST(LogItSentences, CommandsByteForByte) {
  const struct {
    std::string built;
    const char* expected;
  } cases[] = {
      {kLeaveMode, "$PMLR,06,00,02A9\r\n"},
      {kProductRequest, "$PMLR,26,01,01,0339\r\n"},
      {kCountRequest, "$PMLR,58,00,02B0\r\n"},
      {kEraseLog, "$PMLR,99,00,02B5\r\n"},
      {CommandSentence("$PMLR,06,00,"), "$PMLR,06,00,02A9\r\n"},
      {CommandSentence("$PMLR,26,01,01,"), "$PMLR,26,01,01,0339\r\n"},
      {CommandSentence("$PMLR,99,00,"), "$PMLR,99,00,02B5\r\n"},
      {SpeedSentence(19200), "$PMLR,24,02,0100,0398\r\n"},
      {SpeedSentence(38400), "$PMLR,24,02,0101,0399\r\n"},
      {SpeedSentence(57600), "$PMLR,24,02,0102,039A\r\n"},
      {SpeedSentence(115200), "$PMLR,24,02,0103,039B\r\n"},
      // Any other speed: the sum of its characters is 0x0399.
      {SpeedSentence(9600), "$PMLR,24,02,0110,0399\r\n"},
      {SpeedSentence(0), "$PMLR,24,02,0110,0399\r\n"},
      {kMlrTrackRequest, "$PMLR,24,02,0101,0399\r\n"},
      {kMlrWaypointRequest, "$PMLR,24,02,0301,039B\r\n"},
      {ResendSentence(1235), "$PMLR,59,1235,031C\r\n"},
      {NameSentence("ANNA     "), "$PMLR,IDGPS,01,ANNA     ,       *00\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.built, c.expected);
}

TEST(LogItSentences, NameFieldIsSafeNormalisedAndPadded) {
  const struct {
    const char* typed;
    const char* field;
  } cases[] = {
      {"Anna", "Anna     "},
      {"  a   b  ", "a b      "},
      {"a,b*c$d\r", "a b c d  "},
      {"abcdefghijkl", "abcdefghi"},
      {"abcdefgh ij", "abcdefgh "},
      {"   ", ""},
      {",*$", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(NameField(c.typed), c.field) << c.typed;
  EXPECT_EQ(NameSentence("a,b*$\r\nxyz"), "$PMLR,IDGPS,01,a b    xy,       *00\r\n");
}

std::string WithXor(const std::string& body) {
  uint8_t x = 0;
  for (char c : body) x ^= static_cast<uint8_t>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", x);
  return "$" + body + tail;
}

TEST(LogItReplies, ProductReplyCodes) {
  const std::string good = WithXor("PMLR,IDGPS,01,  TRACKLOGGER,ANNA   BERG,0042, 2.10");
  std::array<std::string, 4> f;
  ASSERT_EQ(ParseIdReply(good, kLogItFieldLimits, f), 0);
  EXPECT_EQ(f[0], "TRACKLOGGER");
  EXPECT_EQ(f[1], "ANNA   BERG");
  EXPECT_EQ(f[2], "0042");
  EXPECT_EQ(f[3], "2.10");

  std::string badSum = good;
  badSum[badSum.size() - 3] = badSum[badSum.size() - 3] == '0' ? '1' : '0';
  std::string noCr = good;
  noCr[noCr.size() - 2] = 'x';
  std::string badDigits = good;
  badDigits[badDigits.size() - 4] = 'G';
  const std::string twenty(20, 'M');
  const struct {
    std::string line;
    int code;
  } cases[] = {
      {"$PMLR,IDGPX,01,A,B,C,D*00\r\n", 1},
      {WithXor("PMLR,IDGPS,01,A\r"), 2},
      {WithXor("PMLR,IDGPS,01," + twenty + "M,B,C,D"), 3},
      {WithXor("PMLR,IDGPS,01," + twenty + ",B,C,D"), 0},
      {WithXor("PMLR,IDGPS,01,A,B\n"), 4},
      {WithXor("PMLR,IDGPS,01,A," + twenty + "M,C,D"), 5},
      {WithXor("PMLR,IDGPS,01,A,B,C"), 6},
      {WithXor("PMLR,IDGPS,01,A,B," + twenty + "M,D"), 7},
      {"$PMLR,IDGPS,01,A,B,C,D\r\n", 8},
      {WithXor("PMLR,IDGPS,01,A,B,C," + std::string(41, 'S')), 9},
      {WithXor("PMLR,IDGPS,01,A,B,C," + std::string(40, 'S')), 0},
      {badDigits, 10},
      {noCr, 11},
      {badSum, 12},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseIdReply(c.line, kLogItFieldLimits, f), c.code) << c.line;
  // An MLR allows 40 characters in every field.
  EXPECT_EQ(ParseIdReply(WithXor("PMLR,IDGPS,01," + std::string(40, 'M') + ",B,C,D"), kMlrFieldLimits, f), 0);
}

TEST(LogItReplies, CountReplyCodes) {
  int count = -1;
  ASSERT_EQ(ParseCountReply(WithXor("PMLR,NUMTRACKPOINTS,70000"), count), 0);
  EXPECT_EQ(count, 70000);
  std::string badSum = WithXor("PMLR,NUMTRACKPOINTS,12");
  badSum[badSum.size() - 3] = badSum[badSum.size() - 3] == '0' ? '1' : '0';
  const struct {
    std::string line;
    int code;
  } cases[] = {
      {WithXor("PMLR,NUMTRACKPOINT,12"), 1},
      {WithXor("PMLR,NUMTRACKPOINTS,"), 2},
      {WithXor("PMLR,NUMTRACKPOINTS,99999999999999999999"), 3},
      {WithXor("PMLR,NUMTRACKPOINTS,9999999"), 0},
      {WithXor("PMLR,NUMTRACKPOINTS,12,"), 4},
      {"$PMLR,NUMTRACKPOINTS,12*Q1\r\n", 5},
      {"$PMLR,NUMTRACKPOINTS,12*00", 6},
      {badSum, 7},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseCountReply(c.line, count), c.code) << c.line;
}

// The MLR document's own example: a begin packet, two points 5 s apart, the end packet.
TEST(LogItPackets, DecodesTheMlrDocumentExample) {
  const std::vector<uint8_t> bytes = Hex(
      "8B 01 54 01 44 45 42 55 54 02 55 0D 0A"
      "8B 02 54 01 00 02 00 01 26 7B 8C E0 21 6C 16 C1 FF 49 F4 9F 00 03 20 00 00 02 26 7B 8C E5 21 6C 1E 86 FF 49 "
      "EE 69 00 03 25 00 0D 60 0D 0A"
      "8B 03 54 01 46 49 4E 01 C0 0D 0A");
  PacketAssembler packets(kMlrTrack);
  std::vector<PacketType> types;
  std::vector<TrackRecord> records;
  for (uint8_t b : bytes) {
    const PacketAssembler::Result r = packets.Feed(b);
    ASSERT_NE(r, PacketAssembler::kError) << packets.code();
    if (r != PacketAssembler::kPacket) continue;
    types.push_back(packets.type());
    EXPECT_EQ(packets.sequence(), types.size());
    for (int i = 0; i < packets.records(); ++i) records.push_back(DecodeTrackRecord(packets.Record(i), false));
  }
  ASSERT_EQ(types, (std::vector<PacketType>{PacketType::Begin, PacketType::Data, PacketType::End}));
  ASSERT_EQ(records.size(), 2u);
  const uint32_t t0 = ProgramTime(2000, 6, 21, 14, 0, 0);
  EXPECT_EQ(records[0].number, 1);
  EXPECT_EQ(records[0].point.time, t0);
  EXPECT_NEAR(Degrees(records[0].point.latitude), 47.0, 1e-6);
  EXPECT_NEAR(Degrees(records[0].point.longitude), -1.0, 1e-6);
  EXPECT_EQ(records[0].point.height, 800);
  EXPECT_EQ(records[1].number, 2);
  EXPECT_EQ(records[1].point.time, t0 + 5);
  EXPECT_NEAR(Degrees(records[1].point.latitude), 47.0 + 0.010 / 60, 1e-6);
  EXPECT_NEAR(Degrees(records[1].point.longitude), -(1.0 + 0.008 / 60), 1e-6);
  EXPECT_EQ(records[1].point.height, 805);
}

// Feeds bytes and returns the first non-zero code, 0 after a whole packet, or -1 for more.
int FeedAll(const PacketFamily& family, const std::vector<uint8_t>& bytes) {
  PacketAssembler packets(family);
  for (uint8_t b : bytes) {
    const PacketAssembler::Result r = packets.Feed(b);
    if (r == PacketAssembler::kError) return packets.code();
    if (r == PacketAssembler::kPacket) return 0;
  }
  return -1;
}

TEST(LogItPackets, CodesPerFamily) {
  for (const PacketFamily& family : {kLogItTrack, kMlrTrack, kMlrWaypoints}) {
    SCOPED_TRACE(std::string(1, family.letter) + std::to_string(family.maxRecords));
    const std::vector<uint8_t> record(family.recordSize, 0x11);
    auto records = [&](int n) {
      std::vector<uint8_t> v;
      for (int i = 0; i < n; ++i) v.insert(v.end(), record.begin(), record.end());
      return v;
    };
    const auto full = BuildPacket(family, 7, PacketType::Data, records(family.maxRecords), family.maxRecords);
    EXPECT_EQ(full.size(), family.MaxPacket());
    EXPECT_EQ(FeedAll(family, full), 0);
    auto begin = BuildPacket(family, 1, PacketType::Begin, {}, 0);
    auto end = BuildPacket(family, 1, PacketType::End, {}, 0);
    auto restart = BuildPacket(family, 1, PacketType::Restart, {}, 0);
    EXPECT_EQ(FeedAll(family, begin), 0);
    EXPECT_EQ(FeedAll(family, end), 0);
    EXPECT_EQ(FeedAll(family, restart), 0);
    auto set = [](std::vector<uint8_t> p, size_t at, uint8_t v) {
      p[at] = v;
      return p;
    };
    auto over = BuildPacket(family, 7, PacketType::Data, records(family.maxRecords + 1), family.maxRecords);
    over[5] = static_cast<uint8_t>(family.maxRecords + 1);
    const char other = family.letter == 'T' ? 'W' : 'T';
    const struct {
      std::vector<uint8_t> bytes;
      int code;
    } cases[] = {
        {set(full, 2, static_cast<uint8_t>(other)), kBadLetter},
        {set(full, 3, static_cast<uint8_t>(family.kind == 1 ? 2 : 1)), kBadKind},
        {set(full, 4, 'X'), kUnknownType},
        {set(begin, 6, 'X'), kBadBegin},
        {set(end, 6, 'X'), kBadEnd},
        {set(restart, 10, 'X'), kBadRestart},
        {set(full, 5, 0), kBadRecordCount},
        {over, kBadRecordCount},
        {set(full, 8, 0x12), kBadSum},
        {set(full, full.size() - 2, 'x'), kNoCrLf},
        {set(end, end.size() - 1, 'x'), kNoCrLf},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(FeedAll(family, cases[i].bytes), cases[i].code) << "case " << i;
  }
}

TEST(LogItPackets, NoiseBeforeAPacketIsSkipped) {
  std::vector<uint8_t> bytes{0x00, 0xFF, '\r', '\n'};
  const auto begin = BuildPacket(kLogItTrack, 9, PacketType::Begin, {}, 0);
  bytes.insert(bytes.end(), begin.begin(), begin.end());
  EXPECT_EQ(FeedAll(kLogItTrack, bytes), 0);
}

TEST(LogItRecords, HeightsAndTimesAtTheirLimits) {
  std::vector<uint8_t> r(18, 0);
  r[14] = 0xFF;
  r[15] = 0xFF;
  r[16] = 0x9C;  // -100
  r[17] = 0x21;  // low four bits 1: a new segment
  TrackRecord rec = DecodeTrackRecord(r.data(), false);
  EXPECT_EQ(rec.point.height, -100);
  EXPECT_EQ(rec.point.flags, 1u);
  EXPECT_EQ(rec.point.time, 0u);  // a logger without time sends 0
  r[17] = 0x02;
  r[2] = 0x10;  // a time before the program's epoch
  EXPECT_EQ(DecodeTrackRecord(r.data(), false).point.time, 0u);
  EXPECT_EQ(DecodeTrackRecord(r.data(), false).point.flags, 0u);
}

TEST(LogItRecords, GpsTimeLosesTheLeapSecondsOfItsDate) {
  const struct {
    uint32_t utc;
    int leap;
  } cases[] = {
      {ProgramTime(2000, 6, 21, 14, 0, 0), 13},  {ProgramTime(2005, 12, 31, 23, 59, 0), 13},
      {ProgramTime(2006, 1, 1, 0, 0, 1), 14},    {ProgramTime(2008, 12, 31, 12, 0, 0), 14},
      {ProgramTime(2009, 1, 1, 0, 0, 10), 15},   {ProgramTime(2012, 6, 30, 12, 0, 0), 15},
      {ProgramTime(2012, 7, 1, 12, 0, 0), 16},   {ProgramTime(2015, 6, 30, 12, 0, 0), 16},
      {ProgramTime(2015, 7, 2, 0, 0, 0), 17},    {ProgramTime(2016, 12, 31, 12, 0, 0), 17},
      {ProgramTime(2017, 1, 1, 0, 0, 0), 18},    {ProgramTime(2026, 12, 10, 15, 0, 0), 18},
  };
  for (const auto& c : cases) {
    const uint32_t device = c.utc + kGpsEpochOffset + static_cast<uint32_t>(c.leap);
    EXPECT_EQ(RecordTime(device, true), c.utc) << c.utc;
    EXPECT_EQ(RecordTime(device, false), c.utc + static_cast<uint32_t>(c.leap));
  }
  EXPECT_EQ(RecordTime(0, true), 0u);
}

TEST(MlrVersions, LeadingDigitsDecideGpsTime) {
  const struct {
    const char* field;
    int hundredths;
    bool gps;
  } cases[] = {
      {"2.71", 271, true},  {"2.72", 272, false}, {"9.90", 990, true},  {"9.89", 989, false},
      {"9.99", 999, true},  {"10.00", 1000, false}, {"2.80ENGLISH15/03/01", 280, false},
      {"2.8", 280, false},  {"2.7", 270, true},     {"ENGLISH", -1, false}, {"  2.50", 250, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VersionHundredths(c.field), c.hundredths) << c.field;
    EXPECT_EQ(ReportsGpsTime(VersionHundredths(c.field)), c.gps) << c.field;
  }
}

}  // namespace
}  // namespace tarnvik::devices::logit
