#include <gtest/gtest.h>

#include "access/debug_capture.h"
#include "access/link.h"
#include "devices/garmin/garmin_link.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"
#include "tests/fakes/scripted_transport.h"

namespace tarnvik::devices::garmin {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(GarminFrame, StuffsSizeDataAndChecksumButNeverTheId) {
  // id 16, size 16, data with a DLE: checksum = -(16 + 16 + 16 + 1*15) = -63 = 0xC1.
  Bytes data(16, 1);
  data[0] = 16;
  Bytes framed = FrameGarminPacket(16, data.data(), data.size());
  Bytes expected = {16, 16, 16, 16, 16, 16};  // DLE, id, size doubled, DLE data byte doubled
  expected.reserve(framed.size());
  expected.insert(expected.end(), 15, 1);
  uint8_t sum = static_cast<uint8_t>(16 + 16 + 16 + 15);
  expected.push_back(static_cast<uint8_t>(-sum));
  expected.push_back(16);
  expected.push_back(3);
  EXPECT_EQ(framed, expected);

  // A checksum that comes out as DLE is doubled too: id 1, size 1, data 238 sums to 240.
  const uint8_t one[] = {238};
  EXPECT_EQ(FrameGarminPacket(1, one, 1), (Bytes{16, 1, 1, 238, 16, 16, 16, 3}));
  // The product request: no data.
  EXPECT_EQ(FrameGarminPacket(254, nullptr, 0), (Bytes{16, 254, 0, 2, 16, 3}));
}

// Feeds bytes and collects the packets completed.
std::vector<GarminPacket> ParseAll(const Bytes& bytes) {
  GarminParser parser;
  GarminPacket packet;
  std::vector<GarminPacket> out;
  for (uint8_t b : bytes) {
    if (parser.Feed(b, packet)) out.push_back(packet);
  }
  return out;
}

Bytes Concat(std::initializer_list<Bytes> pieces) {
  Bytes out;
  for (const auto& p : pieces) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(GarminParser, RoundTripsEveryByteValueAndZeroFillsShortPackets) {
  Bytes all(255);
  for (int i = 0; i < 255; ++i) all[i] = static_cast<uint8_t>(i + 1);
  const uint8_t small[] = {7};
  auto packets = ParseAll(Concat({FrameGarminPacket(35, all.data(), all.size()), FrameGarminPacket(6, small, 1)}));
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].id, 35);
  EXPECT_EQ(packets[0].size, 255);
  EXPECT_TRUE(std::equal(all.begin(), all.end(), packets[0].data.begin()));
  EXPECT_EQ(packets[1].size, 1);
  EXPECT_EQ(packets[1].data[0], 7);
  EXPECT_EQ(packets[1].data[1], 0);  // cleared, not left from the 255-byte packet
  EXPECT_EQ(packets[1].data[254], 0);
}

TEST(GarminParser, DropsBadPacketsSilentlyAndDeliversTheNextGoodOne) {
  const uint8_t d[] = {10, 0};
  Bytes good = FrameGarminPacket(6, d, 2);
  ASSERT_EQ(good.size(), 8u);  // DLE, id, size, two data bytes, checksum, DLE, ETX
  Bytes badChecksum = good;
  badChecksum[5] ^= 1;
  Bytes brokenStuffing = {16, 35, 1, 16, 5, 0, 16, 3};  // DLE in data not doubled
  Bytes badEnd = good;
  badEnd.at(good.size() - 1) = 4;  // DLE then not ETX
  Bytes noClosingDle = good;
  noClosingDle[noClosingDle.size() - 2] = 0;
  struct Case {
    const char* name;
    Bytes bad;
  } cases[] = {{"checksum", badChecksum}, {"stuffing", brokenStuffing}, {"end", badEnd}, {"closing DLE", noClosingDle}};
  for (const auto& c : cases) {
    auto packets = ParseAll(Concat({c.bad, good}));
    ASSERT_EQ(packets.size(), 1u) << c.name;
    EXPECT_EQ(packets[0].id, 6) << c.name;
    EXPECT_EQ(packets[0].data[0], 10) << c.name;
  }
  // Noise before a packet and a DLE ETX pair in place of an id are skipped.
  EXPECT_EQ(ParseAll(Concat({{0, 3, 99, 16, 3, 16, 16}, good})).size(), 1u);
}

TEST(GarminLink, ReceiveKeepsUnconsumedBytesAndTimesOutAfterFiveSeconds) {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  testing::ScriptedTransport wire(&clock);
  const uint8_t a[] = {1, 0};
  const uint8_t b[] = {2, 0};
  // Two packets in one reply: the second comes from the receive buffer without a read.
  wire.Reply(Concat({FrameGarminPacket(6, a, 2), FrameGarminPacket(6, b, 2)}));
  access::Link link(wire, clock, operation, capture, 0);
  GarminSession session(link);
  ASSERT_EQ(ReceiveGarminPacket(session), 0);
  EXPECT_EQ(session.received.data[0], 1);
  ASSERT_EQ(ReceiveGarminPacket(session), 0);
  EXPECT_EQ(session.received.data[0], 2);
  const int64_t start = clock.NowMs();
  EXPECT_EQ(ReceiveGarminPacket(session), access::kReadTimeout);
  EXPECT_GE(clock.NowMs() - start, kPacketTimeoutMs);
  EXPECT_LT(clock.NowMs() - start, kPacketTimeoutMs + 100);
  EXPECT_EQ(capture.Length(), 2 * FrameGarminPacket(6, a, 2).size());
}

TEST(GarminLink, PortErrorAndTheSentPacketsAreFramed) {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  testing::ScriptedTransport wire(&clock);
  wire.ExpectWrite(FrameGarminPacket(6, Bytes{35, 0}.data(), 2));
  wire.ExpectWrite(FrameGarminPacket(10, Bytes{0, 0}.data(), 2));
  wire.Reply(Bytes{16, 6});
  wire.InjectReadFault(1, testing::ScriptedFault::Fail);
  access::Link link(wire, clock, operation, capture, 0);
  GarminSession session(link);
  EXPECT_EQ(SendAck(session, 35), 0);
  EXPECT_EQ(SendAbortTransfer(session), 0);
  EXPECT_EQ(ReceiveGarminPacket(session), access::kReadPortError);
  EXPECT_EQ(wire.mismatch(), "");
}

}  // namespace
}  // namespace tarnvik::devices::garmin
