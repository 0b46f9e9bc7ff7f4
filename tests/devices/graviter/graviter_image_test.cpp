// The Graviter memory decoder: a hand-assembled image (its record bits laid out in a table),
// the answer checks, the ring, chains that cannot end, positions that are no positions, and the
// simulator's own encoder through the decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "devices/graviter/graviter_image.h"
#include "sim/graviter/graviter_device.h"

namespace tarnvik::devices::graviter {
namespace {

// Packs (value, width) pairs least significant bit first.
std::vector<uint8_t> PackBits(const std::vector<std::pair<uint32_t, int>>& fields) {
  std::vector<uint8_t> out;
  int bit = 0;
  for (const auto& [value, width] : fields) {
    for (int i = 0; i < width; ++i) {
      if (bit == 0) out.push_back(0);
      if (value >> i & 1u) out.back() |= static_cast<uint8_t>(1u << bit);
      bit = (bit + 1) % 8;
    }
  }
  return out;
}

uint32_t Bits(float f) {
  uint32_t v;
  std::memcpy(&v, &f, sizeof v);
  return v;
}

// Five records:
//  1 altitude 1000 m, time 36000 s, latitude 0.8 and longitude 0.25 rad, all absolute
//  2 altitude -5, time +2, latitude -100e-7 (deltas, sign bits 4 and 15)
//  3 no position (flag bit 9 clear): altitude +3, time +0
//  4 position, every delta 0: the same time and place as record 2, not stored again
//  5 time +1: stored, with the altitude record 3 left
const std::vector<std::pair<uint32_t, int>> kRecords = {
    {0x301, 10}, {0x0C, 8}, {1000, 16}, {0, 4}, {0, 3}, {0, 2}, {36000, 17}, {0, 3}, {Bits(0.8f), 32}, {Bits(0.25f), 32},
    {0x210, 10}, {0x20, 8}, {5, 3}, {0, 4}, {0, 3}, {0, 2}, {2, 3}, {0, 3}, {100, 7}, {0, 7},
    {0x000, 10}, {3, 3}, {0, 4}, {0, 3}, {0, 2}, {0, 3},
    {0x200, 10}, {0x00, 8}, {0, 3}, {0, 4}, {0, 3}, {0, 2}, {0, 3}, {0, 3}, {0, 7}, {0, 7},
    {0x200, 10}, {0x00, 8}, {0, 3}, {0, 4}, {0, 3}, {0, 2}, {1, 3}, {0, 3}, {0, 7}, {0, 7},
};

uint32_t RingNext(uint32_t a) { return a == kRingLast ? kRingFirst : a + 1; }

// An answer with one kind-3 block of kRecords at `start` and its empty successor.
std::vector<uint8_t> HandImage(uint32_t start, int count = 5, const std::vector<uint8_t>* bitsOverride = nullptr) {
  std::vector<uint8_t> memory(kRingLast + 1, 0);
  const std::vector<uint8_t> bits = bitsOverride ? *bitsOverride : PackBits(kRecords);
  uint32_t next = start;
  for (size_t i = 0; i < 13 + bits.size(); ++i) next = RingNext(next);
  std::vector<uint8_t> block = {static_cast<uint8_t>(next >> 16), static_cast<uint8_t>(next >> 8),
                                static_cast<uint8_t>(next), 15, 7, 24, 10, 5, 12, 30, 3, 0,
                                static_cast<uint8_t>(count)};
  block.insert(block.end(), bits.begin(), bits.end());
  uint32_t at = start;
  for (uint8_t b : block) {
    memory[at] = b;
    at = RingNext(at);
  }
  for (int i = 0; i < 3; ++i, at = RingNext(at)) memory[at] = 0xFF;
  memory[1697] = static_cast<uint8_t>(start >> 16);
  memory[1698] = static_cast<uint8_t>(start >> 8);
  memory[1699] = static_cast<uint8_t>(start);
  std::vector<uint8_t> answer = {'y'};
  uint8_t sum = 0;
  for (uint32_t a = 1697; a <= kRingLast; ++a) {
    answer.push_back(memory[a]);
    sum ^= memory[a];
  }
  answer.insert(answer.end(), {'*', sum, '\r', '\n'});
  return answer;
}

TEST(GraviterDecoder, HandAssembledImageAnywhereOnTheRing) {
  const uint32_t date = *core::CalendarToTime({2024, 7, 0, 15, 0, 0, 0, 0});
  const float lat2 = static_cast<float>(0.8f - 100 * 1e-7);
  for (uint32_t start : {kRingFirst, kRingLast, kRingLast - 20}) {
    const std::vector<uint8_t> answer = HandImage(start);
    ASSERT_EQ(answer.size(), kAnswerSize);
    int empty = 0;
    const DecodeResult r = DecodeAnswer(answer.data(), answer.size(), {}, [&](const TrackStart&) { ++empty; });
    ASSERT_EQ(r.code, 0) << start;
    EXPECT_EQ(empty, 0);
    ASSERT_EQ(r.points.size(), 3u) << start;
    EXPECT_EQ(r.points[0].flags, 1u);
    EXPECT_EQ(r.points[0].time, date + 36000);
    EXPECT_EQ(r.points[0].height, 10000);
    EXPECT_EQ(r.points[0].latitude, *core::LatitudeFromRadians(0.8f));
    EXPECT_EQ(r.points[0].longitude, *core::LongitudeFromRadians(0.25f));
    EXPECT_EQ(r.points[1].flags, 0u);
    EXPECT_EQ(r.points[1].time, date + 36002);
    EXPECT_EQ(r.points[1].height, 9950);
    EXPECT_EQ(r.points[1].latitude, *core::LatitudeFromRadians(lat2));
    EXPECT_EQ(r.points[2].time, date + 36003);
    EXPECT_EQ(r.points[2].height, 9980);  // record 3 moved the altitude without a point
    EXPECT_EQ(r.points[2].latitude, r.points[1].latitude);
  }
}

TEST(GraviterDecoder, AnswerAndChainCodes) {
  struct Case {
    const char* name;
    std::vector<uint8_t> answer;
    int code;
  };
  std::vector<Case> cases;
  std::vector<uint8_t> a = HandImage(kRingFirst);
  cases.push_back({"one byte short", std::vector<uint8_t>(a.begin(), a.end() - 1), 1});
  auto frame = a;
  frame[129376] = '+';
  cases.push_back({"no star", frame, 2});
  auto xorBad = a;
  xorBad[5000] ^= 1;
  cases.push_back({"XOR", xorBad, 3});
  auto off = a;
  off[1] = 0;
  off[2] = 0x01;
  off[3] = 0x00;
  off[129377] ^= static_cast<uint8_t>(0x00 ^ 0x01 ^ 0x00 ^ a[1] ^ a[2] ^ a[3]);
  cases.push_back({"first address off the ring", off, 4});
  // A record count beyond the bits: the reader reaches the next block.
  cases.push_back({"records run into the next block", HandImage(kRingFirst, 6), 20});
  // A cut bit stream: the last record's longitude is missing.
  std::vector<std::pair<uint32_t, int>> cut(kRecords.begin(), kRecords.end() - 1);
  const std::vector<uint8_t> cutBits = PackBits(cut);
  cases.push_back({"cut in a longitude delta", HandImage(kRingFirst, 5, &cutBits), 37});
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeAnswer(c.answer.data(), c.answer.size()).code, c.code) << c.name;
  }
}

TEST(GraviterDecoder, EmptyLogCyclicChainAndBadPositions) {
  sim::graviter::GraviterDevice device;
  const std::vector<uint8_t> empty = device.Answer();  // no tracks: first address 0xFFFFFF
  ASSERT_EQ(empty[1], 0xFF);
  DecodeResult r = DecodeAnswer(empty.data(), empty.size());
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.points.empty());

  device.tracks = sim::graviter::SampleTracks(50);
  device.config().cyclic = true;
  int polls = 0;
  const std::vector<uint8_t> cyclic = device.Answer();
  r = DecodeAnswer(cyclic.data(), cyclic.size(), [&polls] { return ++polls > 100; });
  EXPECT_EQ(r.code, kCyclicChain);
  EXPECT_TRUE(r.points.empty());
  EXPECT_LE(polls, 5);

  device.config().cyclic = false;
  device.config().nanPosition = true;
  const std::vector<uint8_t> nan = device.Answer();
  r = DecodeAnswer(nan.data(), nan.size());
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.points.size(), device.Served().size() - 1);

  // Abort is polled per block.
  r = DecodeAnswer(nan.data(), nan.size(), [] { return true; });
  EXPECT_EQ(r.code, kDecodeAborted);
}

TEST(GraviterDecoder, SimulatorsEncoderThroughTheDecoder) {
  for (const char* fault : {"", "wrap"}) {
    sim::graviter::GraviterDevice device;
    device.tracks = sim::graviter::SampleTracks(300);
    std::string error;
    if (*fault) {
      ASSERT_TRUE(sim::graviter::ApplyGraviterFault(fault, device, error));
    }
    const std::vector<uint8_t> answer = device.Answer();
    std::vector<std::string> notices;
    const DecodeResult r = DecodeAnswer(answer.data(), answer.size(), {},
                                        [&](const TrackStart& s) { notices.push_back(NoPositionsText(s)); });
    ASSERT_EQ(r.code, 0) << fault;
    EXPECT_EQ(notices, std::vector<std::string>{
                           "The track log starting at 2024-07-16  10:00 does not contain any valid GPS positions"});
    const auto served = device.Served();
    ASSERT_EQ(r.points.size(), served.size()) << fault;
    for (size_t i = 0; i < served.size(); ++i) {
      EXPECT_EQ(r.points[i].time, served[i].time) << i;
      EXPECT_EQ(r.points[i].latitude, *core::LatitudeFromRadians(served[i].latitude)) << i;
      EXPECT_EQ(r.points[i].longitude, *core::LongitudeFromRadians(served[i].longitude)) << i;
      EXPECT_EQ(r.points[i].height, served[i].altitude * 10) << i;
      EXPECT_EQ(r.points[i].flags, served[i].first ? 1u : 0u) << i;
    }
  }
}

TEST(GraviterName, BytesAndWriteCommands) {
  EXPECT_EQ(WriteCommand(208, 65), "W000208065");
  EXPECT_EQ(WriteCommand(215, 232), "W000215232");  // never negative
  EXPECT_EQ(NameBytes("  Jo   Doe "), "Jo Doe  ");
  EXPECT_EQ(NameBytes("Müller\xe2\x82\xac"), "M\xfcller\x80 ");
  EXPECT_EQ(NameBytes("\xe4\xb8\xad" "x"), "?x      ");     // outside Windows-1252
  EXPECT_EQ(NameBytes("ABCDEFGHIJ"), "ABCDEFGH");
}

TEST(GraviterProductLine, FixedWidthCodes) {
  const std::string good = "GRAVITER GR-1        V2.1 12345 20240715\r\n";
  ASSERT_EQ(good.size(), 42u);
  for (auto [at, code] : std::vector<std::pair<size_t, int>>{{20, 1}, {25, 2}, {31, 3}, {40, 4}, {41, 5}}) {
    std::string bad = good;
    bad[at] = 'x';
    ProductLineParser p;
    int r = 0;
    for (char c : bad) {
      if ((r = p.Feed(static_cast<uint8_t>(c))) != 0) break;
    }
    EXPECT_EQ(r, code) << at;
  }
  ProductLineParser p;
  int r = 0;
  for (char c : good) r = p.Feed(static_cast<uint8_t>(c));
  EXPECT_EQ(r, ProductLineParser::kDone);
  EXPECT_EQ(p.first(), "GRAVITER GR-1       ");
}

}  // namespace
}  // namespace tarnvik::devices::graviter
