#include "devices/graviter/graviter_image.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <unordered_set>

namespace tarnvik::devices::graviter {
namespace {

uint32_t NextAddress(uint32_t address) { return address == kRingLast ? kRingFirst : address + 1; }
bool InRing(uint32_t address) { return address >= kRingFirst && address <= kRingLast; }
// Bytes from one ring address forward to another (0 for the same address).
uint32_t RingDistance(uint32_t from, uint32_t to) { return (to + kRingSize - from) % kRingSize; }

// The memory of a checked answer.
class Memory {
 public:
  explicit Memory(const uint8_t* answer) : answer_(answer) {}
  uint8_t At(uint32_t address) const { return answer_[address - kAddressOffset]; }
  uint32_t Address24(uint32_t at) const {
    const uint32_t b0 = At(at);
    at = NextAddress(at);
    const uint32_t b1 = At(at);
    at = NextAddress(at);
    return b0 << 16 | b1 << 8 | At(at);
  }

 private:
  const uint8_t* answer_;
};

// Reads the records' bits, least significant first, from `length` bytes at `start`; reaching
// the end (the next block's address) fails the read.
class BitReader {
 public:
  BitReader(const Memory& memory, uint32_t start, uint32_t length)
      : memory_(memory), address_(start), left_(length) {}
  bool Read(int bits, uint32_t& value) {
    value = 0;
    for (int i = 0; i < bits; ++i) {
      if (bit_ == 0) {
        if (left_ == 0) return false;
        current_ = memory_.At(address_);
        address_ = NextAddress(address_);
        --left_;
      }
      value |= static_cast<uint32_t>((current_ >> bit_) & 1u) << i;
      bit_ = (bit_ + 1) % 8;
    }
    return true;
  }

 private:
  const Memory& memory_;
  uint32_t address_;
  uint32_t left_;
  uint8_t current_ = 0;
  int bit_ = 0;
};

// The fields a record changes, kept from one record to the next.
struct Fields {
  int32_t altitude = 0;
  int32_t a = 0, b = 0, c = 0, d = 0;
  int32_t timeOfDay = 0;
  float latitude = 0;
  float longitude = 0;
};

// One integer field: absolute with `absBits` when flag bit `flagBit` is set, else a delta of
// `deltaBits`; sign bit `signBit` (< 0: none, the delta adds). 0 or the field's code.
int IntField(BitReader& in, uint32_t flags, int flagBit, int absBits, int deltaBits, int signBit, int code,
             int32_t& value) {
  const bool negative = signBit >= 0 && (flags >> signBit & 1u);
  uint32_t v = 0;
  if (flags >> flagBit & 1u) {
    if (!in.Read(absBits, v)) return code;
    value = negative ? -static_cast<int32_t>(v) : static_cast<int32_t>(v);
  } else {
    if (!in.Read(deltaBits, v)) return code + 1;
    value += negative ? -static_cast<int32_t>(v) : static_cast<int32_t>(v);
  }
  return 0;
}

int FloatField(BitReader& in, uint32_t flags, int flagBit, int signBit, int code, float& value) {
  const bool negative = flags >> signBit & 1u;
  uint32_t v = 0;
  if (flags >> flagBit & 1u) {
    if (!in.Read(32, v)) return code;
    float f;
    std::memcpy(&f, &v, sizeof f);
    value = negative ? -f : f;
  } else {
    if (!in.Read(7, v)) return code + 1;
    const double delta = v * 1e-7;
    value = static_cast<float>(negative ? value - delta : value + delta);
  }
  return 0;
}

// Decodes one record. hasPosition tells whether it carried one. 0 or a code 20-37.
int Record(BitReader& in, Fields& f, bool& hasPosition) {
  uint32_t flags = 0;
  if (!in.Read(10, flags)) return 20;
  if (flags & 0x200u) {
    uint32_t more = 0;
    if (!in.Read(8, more)) return 21;
    flags |= more << 10;
  }
  if (int c = IntField(in, flags, 0, 16, 3, 4, 22, f.altitude)) return c;
  if (int c = IntField(in, flags, 1, 8, 4, 5, 24, f.a)) return c;
  if (int c = IntField(in, flags, 2, 8, 3, 6, 26, f.b)) return c;
  if (int c = IntField(in, flags, 3, 6, 2, 7, 28, f.c)) return c;
  if (int c = IntField(in, flags, 8, 17, 3, -1, 30, f.timeOfDay)) return c;
  hasPosition = (flags & 0x200u) != 0;
  if (!hasPosition) return 0;
  if (int c = IntField(in, flags, 11, 8, 3, 14, 32, f.d)) return c;
  if (int c = FloatField(in, flags, 12, 15, 34, f.latitude)) return c;
  return FloatField(in, flags, 13, 16, 36, f.longitude);
}

}  // namespace

int ProductLineParser::Feed(uint8_t byte) {
  const size_t at = text_.size();
  text_.push_back(static_cast<char>(byte));
  if (at == 20 && byte != ' ') return 1;
  if (at == 25 && byte != ' ') return 2;
  if (at == 31 && byte != ' ') return 3;
  if (at == 40 && byte != '\r') return 4;
  if (at == 41) return byte == '\n' ? kDone : 5;
  return kMore;
}

int CheckAnswer(const uint8_t* answer, size_t size) {
  if (size < kAnswerSize) return 1;
  if (answer[0] != 'y' || answer[129376] != '*' || answer[129378] != '\r' || answer[129379] != '\n') return 2;
  uint8_t sum = 0;
  for (size_t i = 1; i <= kMemoryBytes; ++i) sum ^= answer[i];
  return sum == answer[129377] ? 0 : 3;
}

DecodeResult DecodeAnswer(const uint8_t* answer, size_t size, const std::function<bool()>& aborted,
                          const std::function<void(const TrackStart&)>& emptyTrack) {
  DecodeResult result;
  if ((result.code = CheckAnswer(answer, size)) != 0) return result;
  const uint32_t first = static_cast<uint32_t>(answer[1]) << 16 | static_cast<uint32_t>(answer[2]) << 8 | answer[3];
  if (first == kNoAddress) return result;
  if (!InRing(first)) {
    result.code = 4;
    return result;
  }
  const Memory memory(answer);
  std::unordered_set<uint32_t> seen;
  uint64_t total = 0;
  auto fail = [&result](int code) {
    result.code = code;
    result.points.clear();
    return result;
  };
  try {
    for (uint32_t block = first;;) {
      if (aborted && aborted()) return fail(kDecodeAborted);
      seen.insert(block);
      const uint32_t next = memory.Address24(block);
      if (next == kNoAddress) break;
      if (!InRing(next)) return fail(10);
      if (seen.count(next)) return fail(kCyclicChain);
      const uint32_t length = RingDistance(block, next);
      total += length;
      if (total > kRingSize) return fail(kCyclicChain);
      if (length < 13) return fail(11);
      uint8_t h[10];
      uint32_t at = block;
      for (int i = 0; i < 3; ++i) at = NextAddress(at);
      for (uint8_t& byte : h) {
        byte = memory.At(at);
        at = NextAddress(at);
      }
      TrackStart start{2000 + h[2], h[1], h[0], h[3], h[4]};
      if (h[0] < 1 || h[0] > 31) return fail(12);
      if (h[1] < 1 || h[1] > 12) return fail(13);
      if (h[3] > 23) return fail(14);
      if (h[4] > 59) return fail(15);
      if (h[5] > 23) return fail(16);
      if (h[6] > 59) return fail(17);
      if (h[7] != 2 && h[7] != 3) return fail(18);
      // The time encoding ends in 2099: a later year is no date this memory can hold.
      const std::optional<uint32_t> date =
          h[2] <= 99 ? core::CalendarToTime({static_cast<uint16_t>(start.year), h[1], 0, h[0], 0, 0, 0, 0})
                     : std::nullopt;
      if (!date) return fail(12);
      ++result.tracks;
      bool stored = false;
      if (h[7] == 3) {
        const int count = h[8] << 8 | h[9];
        BitReader in(memory, at, length - 13);
        Fields f;
        for (int i = 0; i < count; ++i) {
          bool hasPosition = false;
          if (const int code = Record(in, f, hasPosition)) return fail(code);
          if (!hasPosition) continue;
          const std::optional<int32_t> lat = core::LatitudeFromRadians(f.latitude);
          const std::optional<int32_t> lon = core::LongitudeFromRadians(f.longitude);
          if (!lat || !lon) continue;
          core::TrackPoint p;
          p.flags = stored ? 0 : 1;
          p.time = *date + static_cast<uint32_t>(f.timeOfDay);
          p.latitude = *lat;
          p.longitude = *lon;
          p.height = f.altitude * 10;
          if (!result.points.empty()) {
            const core::TrackPoint& q = result.points.back();
            if (q.flags == p.flags && q.time == p.time && q.latitude == p.latitude && q.longitude == p.longitude) {
              continue;
            }
          }
          result.points.push_back(p);
          stored = true;
        }
      }
      if (!stored && emptyTrack) emptyTrack(start);
      block = next;
    }
  } catch (const std::bad_alloc&) {
    return fail(kDecodeNoMemory);
  }
  return result;
}

std::string NoPositionsText(const TrackStart& s) {
  char text[160];
  std::snprintf(text, sizeof text,
                "The track log starting at %d-%02d-%02d  %02d:%02d does not contain any valid GPS positions", s.year,
                s.month, s.day, s.hour, s.minute);
  return text;
}

std::string WriteCommand(uint32_t address, uint8_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "W%06u%03u", static_cast<unsigned>(address % 1000000), static_cast<unsigned>(value));
  return text;
}

namespace {

// Windows-1252 of a code point, or '?'.
uint8_t Cp1252(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<uint8_t>(cp);
  static const struct {
    uint32_t cp;
    uint8_t byte;
  } table[] = {{0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86},
               {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C},
               {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95},
               {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B},
               {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F}};
  for (const auto& e : table) {
    if (e.cp == cp) return e.byte;
  }
  return '?';
}

}  // namespace

std::string NameBytes(std::string_view utf8) {
  std::string bytes;
  for (size_t i = 0; i < utf8.size();) {
    const uint8_t c = static_cast<uint8_t>(utf8[i]);
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    uint32_t cp = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
    bool good = extra >= 0 && i + extra < utf8.size();
    for (int k = 1; good && k <= extra; ++k) {
      const uint8_t n = static_cast<uint8_t>(utf8[i + k]);
      if ((n & 0xC0) != 0x80) good = false;
      cp = cp << 6 | (n & 0x3F);
    }
    if (!good) {
      bytes.push_back('?');
      ++i;
      continue;
    }
    bytes.push_back(static_cast<char>(Cp1252(cp)));
    i += extra + 1;
  }
  // Blanks normalised: leading and trailing dropped, runs made one.
  std::string name;
  for (char ch : bytes) {
    if (ch == ' ' && (name.empty() || name.back() == ' ')) continue;
    name.push_back(ch);
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  name.resize(8, ' ');
  return name;
}

}  // namespace tarnvik::devices::graviter
