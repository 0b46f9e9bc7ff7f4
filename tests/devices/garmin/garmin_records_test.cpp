#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "devices/common/byte_order.h"
#include "devices/garmin/garmin_records.h"
#include "tests/devices/garmin/garmin_test_support.h"

namespace tarnvik::devices::garmin {
namespace {

using testing::garmin::MakeWaypoint;

TEST(GarminTrackPoint, HeightFromAltitude) {
  struct Case {
    float metres;
    int32_t decimetres;
  } cases[] = {
      {1000.25f, 10003},  // 10002.5 + 0.5 truncated
      {0.0f, 0},
      {-5.3f, -52},       // -53 + 0.5 truncated toward zero
      {20000.0f, 200000},
      {-20000.0f, -199999},  // -200000 + 0.5 truncated toward zero
      {20000.5f, 0},      // outside +-20000 m: no height
      {-20001.0f, 0},
      {1.0e25f, 0},       // the units' "no altitude"
      {std::numeric_limits<float>::quiet_NaN(), 0},
      {std::numeric_limits<float>::infinity(), 0},
  };
  for (auto c : cases) EXPECT_EQ(TrackHeightFromGarminAltitude(c.metres), c.decimetres) << c.metres;
}

std::vector<uint8_t> PointBytes(size_t size, int32_t lat, int32_t lon, uint32_t time, float alt, int flagOffset) {
  std::vector<uint8_t> d(size, 0);
  WriteI32Le(&d[0], lat);
  WriteI32Le(&d[4], lon);
  WriteU32Le(&d[8], time);
  if (size >= 16 && flagOffset != 12) WriteF32Le(&d[12], alt);
  if (flagOffset >= 0) d[flagOffset] = 1;
  return d;
}

TEST(GarminTrackPoint, DecodesEveryTypeAndRefusesShortPackets) {
  struct Case {
    uint16_t type;
    size_t size;
    int flagOffset;
    int32_t height;
    uint32_t flags;
  } cases[] = {
      {300, 13, 12, 0, 1}, {301, 21, 20, 4567, 1}, {302, 25, 24, 4567, 1}, {303, 17, -1, 4567, 0}, {304, 23, -1, 4567, 0},
  };
  for (auto c : cases) {
    auto d = PointBytes(c.size, -123456789, 987654321, 1000000123u, 456.7f, c.flagOffset);
    core::TrackPoint p;
    ASSERT_EQ(DecodeTrackPoint(c.type, d.data(), d.size(), p), 0) << c.type;
    EXPECT_EQ(p.latitude, -123456789);
    EXPECT_EQ(p.longitude, 987654321);
    EXPECT_EQ(p.time, 1000000123u);
    EXPECT_EQ(p.height, c.height) << c.type;
    EXPECT_EQ(p.flags, c.flags) << c.type;
    EXPECT_EQ(DecodeTrackPoint(c.type, d.data(), d.size() - 1, p), -1) << c.type;
  }
  core::TrackPoint p;
  uint8_t big[30] = {};
  EXPECT_EQ(DecodeTrackPoint(305, big, sizeof big, p), -1);
}

// A D109 packet as a unit sends it: marker bytes, position, altitude, then ID and comment.
std::vector<uint8_t> D109(const char* id, const char* comment, float alt, uint8_t type = 1, uint8_t attr = 0x70) {
  constexpr size_t kFixedBytes = 52;
  const size_t idBytes = std::strlen(id) + 1;  // with the NUL
  const size_t commentBytes = std::strlen(comment) + 1;
  std::vector<uint8_t> d(kFixedBytes + idBytes + commentBytes, 0);
  d[0] = type;
  d[3] = attr;
  WriteI32Le(&d[24], 500000000);
  WriteI32Le(&d[28], -200000000);
  WriteF32Le(&d[32], alt);
  std::memcpy(&d[kFixedBytes], id, idBytes);
  std::memcpy(&d[kFixedBytes + idBytes], comment, commentBytes);
  return d;
}

TEST(GarminWaypoint, VariableTypesKeepTextsInsideThePacket) {
  core::Waypoint w;
  auto d = D109("ab", "hello, world", 1.0e25f);
  ASSERT_EQ(DecodeWaypoint(109, d.data(), d.size(), w), 0);
  EXPECT_STREQ(w.id, "AB");
  EXPECT_STREQ(w.comment, "HELLO, WORLD");  // received text is only upper-cased
  EXPECT_EQ(w.altitude, 0);
  EXPECT_EQ(w.latitude, 500000000);
  EXPECT_EQ(w.longitude, -200000000);

  auto withAlt = D109("LONGNAME12", "c  ", 1234.5f);
  ASSERT_EQ(DecodeWaypoint(109, withAlt.data(), withAlt.size(), w), 0);
  EXPECT_STREQ(w.id, "LONGNA");
  EXPECT_STREQ(w.comment, "C");
  EXPECT_EQ(w.altitude, 1235);

  // The packet ends inside the ID: what follows in memory is not read.
  std::vector<uint8_t> cut(D109("ABCDEF", "", 0));
  cut.resize(52 + 3);  // "ABC", no NUL
  std::vector<uint8_t> buffer = cut;
  buffer.insert(buffer.end(), {'X', 'Y', 0, 'Z', 'Z', 0});
  ASSERT_EQ(DecodeWaypoint(109, buffer.data(), cut.size(), w), 0);
  EXPECT_STREQ(w.id, "ABC");
  EXPECT_STREQ(w.comment, "");
  // The packet ends right after the ID's NUL, inside where the comment would be.
  std::vector<uint8_t> idOnly = D109("AB", "COMMENT", 0);
  ASSERT_EQ(DecodeWaypoint(109, idOnly.data(), 52 + 3 + 2, w), 0);
  EXPECT_STREQ(w.comment, "CO");

  auto badType = D109("A", "", 0, 0);
  auto badAttr = D109("A", "", 0, 1, 0x80);
  EXPECT_EQ(DecodeWaypoint(109, badType.data(), badType.size(), w), kWaypointBadMarker);
  EXPECT_EQ(DecodeWaypoint(109, badAttr.data(), badAttr.size(), w), kWaypointBadMarker);
  EXPECT_EQ(DecodeWaypoint(110, d.data(), d.size(), w), kWaypointBadMarker);  // D109's marker
  EXPECT_EQ(DecodeWaypoint(110, badAttr.data(), 62, w), 0);
  EXPECT_EQ(DecodeWaypoint(109, d.data(), 51, w), kWaypointTooShort);
}

TEST(GarminWaypoint, FixedTypesReadTheirFields) {
  core::Waypoint w;
  std::vector<uint8_t> d100(58, ' ');
  std::memcpy(&d100[0], "wp 1  ", 6);
  WriteI32Le(&d100[6], 11);
  WriteI32Le(&d100[10], 22);
  std::memset(&d100[14], 0, 4);
  std::memcpy(&d100[18], "near the ridge", 14);
  ASSERT_EQ(DecodeWaypoint(100, d100.data(), d100.size(), w), 0);
  EXPECT_STREQ(w.id, "WP 1");
  EXPECT_STREQ(w.comment, "NEAR THE RIDGE");
  EXPECT_EQ(w.latitude, 11);
  EXPECT_EQ(w.altitude, 0);
  EXPECT_EQ(DecodeWaypoint(100, d100.data(), 57, w), kWaypointTooShort);

  std::vector<uint8_t> d150(115, 0);
  std::memcpy(&d150[0], "AIRFLD", 6);
  WriteI32Le(&d150[9], 33);
  WriteI32Le(&d150[13], 44);
  WriteI16Le(&d150[17], -12);
  std::memcpy(&d150[75], "tower", 5);
  ASSERT_EQ(DecodeWaypoint(150, d150.data(), d150.size(), w), 0);
  EXPECT_EQ(w.latitude, 33);
  EXPECT_EQ(w.longitude, 44);
  EXPECT_EQ(w.altitude, -12);
  EXPECT_STREQ(w.comment, "TOWER");

  std::vector<uint8_t> d154(126, 0);
  std::memcpy(&d154[0], "X", 1);
  WriteI16Le(&d154[118], 2962);
  ASSERT_EQ(DecodeWaypoint(154, d154.data(), d154.size(), w), 0);
  EXPECT_EQ(w.altitude, 2962);
  EXPECT_EQ(DecodeWaypoint(155, d154.data(), d154.size(), w), kWaypointTooShort);
  EXPECT_EQ(DecodeWaypoint(105, d154.data(), d154.size(), w), kWaypointTooShort);
}

TEST(GarminWaypoint, SentPacketsFollowTheLayoutOfEachType) {
  uint8_t out[255];
  core::Waypoint w = MakeWaypoint("a_b", "", 100, 200, 321);
  // D108: ID 'a_b' becomes 'A B', the empty comment a single NUL.
  ASSERT_EQ(EncodeWaypoint(108, w, out), 48u + 3 + 0 + 2);
  EXPECT_EQ(out[1], 0xFF);
  EXPECT_EQ(out[3], 0x60);
  EXPECT_EQ(ReadU16Le(out + 4), 18);
  EXPECT_EQ(ReadI32Le(out + 24), 100);
  EXPECT_EQ(ReadF32Le(out + 32), 321.0f);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 48), 4), std::string("A B\0", 4));
  EXPECT_EQ(out[52], 0);

  core::Waypoint v = MakeWaypoint("tp1", "peak; 2,5km", 5, 6, 1500);
  ASSERT_EQ(EncodeWaypoint(110, v, out), 62u + 3 + 11 + 2);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[2], 0x1F);
  EXPECT_EQ(out[3], 0x80);
  EXPECT_STREQ(reinterpret_cast<char*>(out + 62), "TP1");
  EXPECT_STREQ(reinterpret_cast<char*>(out + 66), "PEAK  2 5KM");  // blanks in D108-D110 comments
  ASSERT_EQ(EncodeWaypoint(109, v, out), 52u + 3 + 11 + 2);
  EXPECT_EQ(out[3], 0x70);

  ASSERT_EQ(EncodeWaypoint(100, v, out), 58u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), "TP1   ");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 18), 40), "PEAK- 2-5KM" + std::string(29, ' '));
  EXPECT_EQ(ReadI32Le(out + 6), 5);
  EXPECT_EQ(ReadI32Le(out + 10), 6);

  struct Size {
    uint16_t type;
    size_t size;
    int symbolAt;  // -1: no symbol
    int altitudeAt;
  } sizes[] = {{101, 63, -1, -1}, {102, 64, 62, -1}, {103, 60, -1, -1}, {104, 65, 62, -1}, {107, 65, -1, -1},
               {150, 115, -1, 17}, {151, 124, -1, 118}, {152, 124, -1, 118}, {154, 126, 124, 118}, {155, 127, 124, 118}};
  for (auto s : sizes) {
    ASSERT_EQ(EncodeWaypoint(s.type, v, out), s.size) << s.type;
    if (s.symbolAt >= 0) {
      EXPECT_EQ(ReadU16Le(out + s.symbolAt), 18) << s.type;
    }
    if (s.altitudeAt >= 0) {
      EXPECT_EQ(ReadI16Le(out + s.altitudeAt), 1500) << s.type;
    }
    // What we send reads back as sent.
    core::Waypoint back;
    ASSERT_EQ(DecodeWaypoint(s.type, out, s.size, back), 0) << s.type;
    EXPECT_STREQ(back.id, "TP1");
    EXPECT_STREQ(back.comment, "PEAK- 2-5KM");
    EXPECT_EQ(back.latitude, 5);
  }
  EXPECT_EQ(EncodeWaypoint(105, v, out), 0u);
}

TEST(GarminUploadRecords, TrackPointSizeFollowsTheDeclaredTypeAndHeaderCarriesTheName) {
  uint8_t out[255];
  core::Waypoint w = MakeWaypoint("START", "", -7, 9, 1000);
  // Unit without a declared point type: sized by the transfer protocol.
  EXPECT_EQ(EncodeUploadTrackPoint(300, 0, w, out), 13u);
  EXPECT_EQ(EncodeUploadTrackPoint(301, 0, w, out), 21u);
  EXPECT_EQ(EncodeUploadTrackPoint(302, 0, w, out), 25u);
  // With a declared type, by that type (the Garmin interface's D300-D304 lengths).
  const std::pair<uint16_t, size_t> declared[] = {{300, 13}, {301, 21}, {302, 25}, {303, 17}, {304, 23}};
  for (auto [type, size] : declared) EXPECT_EQ(EncodeUploadTrackPoint(302, type, w, out), size) << type;
  EXPECT_EQ(ReadI32Le(out), -7);
  EXPECT_EQ(ReadI32Le(out + 4), 9);
  for (int i = 8; i < 25; ++i) EXPECT_EQ(out[i], 0) << i;
  for (uint16_t type : {0, 310, 312}) {
    std::memset(out, 0xAA, sizeof out);
    ASSERT_EQ(EncodeTrackHeader(type, "START", out), 2u + 5 + 1) << type;
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    EXPECT_STREQ(reinterpret_cast<char*>(out + 2), "START");
  }
  // D311: the track's 16-bit index only.
  std::memset(out, 0xAA, sizeof out);
  ASSERT_EQ(EncodeTrackHeader(311, "START", out), 2u);
  EXPECT_EQ(ReadU16Le(out), 0);
}

}  // namespace
}  // namespace tarnvik::devices::garmin
