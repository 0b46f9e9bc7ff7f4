// The reflected CRC-32 of IEEE 802.3 (polynomial 0xEDB88320) as a bare register step. Callers
// choose the start value and apply no final inversion: a register started at 0xFFFFFFFF over
// some bytes is the bitwise inverse of the usual CRC-32 of those bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarnvik::formats {

constexpr uint32_t kCrc32Start = 0xFFFFFFFFu;

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

inline constexpr std::array<uint32_t, 256> kCrc32Table = MakeCrc32Table();

constexpr uint32_t Crc32Step(uint32_t reg, uint8_t byte) {
  return kCrc32Table[(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

// Runs the register over size bytes.
uint32_t Crc32Update(uint32_t reg, const void* data, size_t size);

}  // namespace tarnvik::formats
