// The Graviter track memory: the product line, the answer to "y" (the memory image) and its
// decoding into track points. All of it is a pure function of the bytes received, so it is
// tested and fuzzed without a link.
//
// The memory is a ring of addresses 1700 to 131071; memory byte a is byte a - 1696 of the
// answer. Bytes 1 to 3 of the answer hold the address of the first track block; every block
// starts with the address of the next one (where its own data end), a 10-byte header and the
// records as a bit stream read least significant bit first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"

namespace tarnvik::devices::graviter {

constexpr int kGraviterOrigin = 6;
constexpr uint32_t kRingFirst = 1700;
constexpr uint32_t kRingLast = 131071;
constexpr uint32_t kRingSize = kRingLast - kRingFirst + 1;
constexpr uint32_t kNoAddress = 0xFFFFFF;
constexpr size_t kMemoryBytes = 129375;
constexpr size_t kAnswerSize = 129380;  // "y", the memory, "*", XOR, CR, LF
constexpr uint32_t kAddressOffset = 1696;

// Codes beyond those of a damaged block.
constexpr int kDecodeAborted = -1;
constexpr int kDecodeNoMemory = -2;
// A block chain that comes back to a block already read, or whose blocks together are longer
// than the ring: the memory cannot hold such a chain.
constexpr int kCyclicChain = 19;

// The product answer: 20 characters, a space, 4, a space, 5, a space, 8, CR, LF.
class ProductLineParser {
 public:
  static constexpr size_t kLength = 42;
  static constexpr int kMore = 0;
  static constexpr int kDone = -1;
  // kMore, kDone (first() holds the first field), or a code 1-5.
  int Feed(uint8_t byte);
  std::string first() const { return text_.substr(0, 20); }

 private:
  std::string text_;
};

// Codes 1-3 of an answer (length, frame, XOR), 0 when it is sound.
int CheckAnswer(const uint8_t* answer, size_t size);

struct TrackStart {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
};

struct DecodeResult {
  int code = 0;  // 0; 1-4 (answer); 10-18 and 20-37 (block); 19 cyclic chain; or the negatives above
  std::vector<core::TrackPoint> points;
  int tracks = 0;  // blocks decoded
};

// Decodes a whole answer. aborted is polled once per block; emptyTrack is called for every
// track that gave no point. Either may be empty.
DecodeResult DecodeAnswer(const uint8_t* answer, size_t size, const std::function<bool()>& aborted = {},
                          const std::function<void(const TrackStart&)>& emptyTrack = {});

// "The track log starting at 2024-07-15  10:05 does not contain any valid GPS positions".
std::string NoPositionsText(const TrackStart& start);

// The memory write of one name byte: "W" + the address as 6 digits + the byte as 3 digits.
std::string WriteCommand(uint32_t address, uint8_t value);
// A name as 8 bytes: blanks normalised (leading and trailing dropped, runs made one), padded
// with blanks; characters outside Windows-1252 become '?'. Input is UTF-8.
std::string NameBytes(std::string_view utf8);

}  // namespace tarnvik::devices::graviter
