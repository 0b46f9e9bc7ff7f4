#include "formats/igc_signature.h"

#include "formats/crc32.h"

namespace tarnvik::formats {

std::string IgcSignature(uint32_t reg) {
  const uint32_t s1 = Crc32Step(reg, kIgcSignatureSalt);
  uint32_t s2 = kCrc32Start;
  for (int shift = 24; shift >= 0; shift -= 8) s2 = Crc32Step(s2, static_cast<uint8_t>(s1 >> shift));
  for (int i = 0; i < 4; ++i) s2 = Crc32Step(s2, kIgcSignatureSalt);

  uint8_t value[8];
  for (int i = 0; i < 4; ++i) {
    value[i] = static_cast<uint8_t>(s1 >> (8 * i));
    value[4 + i] = static_cast<uint8_t>(s2 >> (8 * i));
  }
  uint8_t permuted[8] = {};
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) {
      const uint8_t from = kIgcSignaturePermutation[static_cast<size_t>(8 * i + j)];
      const int bit = (value[from / 8] >> (from % 8)) & 1;
      permuted[i] = static_cast<uint8_t>(permuted[i] | (bit << j));
    }
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(16);
  for (int i = 7; i >= 0; --i) {
    text += kHex[permuted[i] >> 4];
    text += kHex[permuted[i] & 0xF];
  }
  return text;
}

}  // namespace tarnvik::formats
