// SHA-1 (FIPS 180-1): the digest that signs the track data of a KML trip folder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnvik::formats {

class Sha1 {
 public:
  using Digest = std::array<uint32_t, 5>;

  Sha1() { Reset(); }
  void Reset();
  // Feeds bytes; may be called any number of times in a row.
  void Update(std::string_view bytes);
  void Update(const void* data, size_t size);
  // Finishes the computation and returns the five digest words (word 0 first). The object must
  // be reset before it is fed again.
  Digest Finish();

  // One-call digest of a byte string.
  static Digest Of(std::string_view bytes);

 private:
  void ProcessBlock(const uint8_t* block);

  std::array<uint32_t, 5> state_{};
  uint64_t length_ = 0;  // bytes fed so far
  std::array<uint8_t, 64> block_{};
  size_t blockFill_ = 0;
};

// The digest as 40 upper-case hexadecimal digits ("%08X" of each word, word 0 first).
std::string FormatSha1Hex(const Sha1::Digest& digest);

// The digest as the 20 bytes FIPS 180-1 defines (big-endian words), for comparison with other
// implementations.
std::array<uint8_t, 20> Sha1Bytes(const Sha1::Digest& digest);

}  // namespace tarnvik::formats
