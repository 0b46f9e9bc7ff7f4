#include "devices/common/checksum.h"

namespace tarnvik::devices {

uint8_t ByteSum(const uint8_t* bytes, size_t count, uint8_t start) {
  unsigned sum = start;
  for (size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<uint8_t>(sum);
}

uint8_t TwosComplementChecksum(const uint8_t* bytes, size_t count) {
  return static_cast<uint8_t>(-static_cast<unsigned>(ByteSum(bytes, count)));
}

uint8_t XorChecksum(std::string_view text) {
  uint8_t value = 0;
  for (char c : text) value ^= static_cast<uint8_t>(c);
  return value;
}

char HexDigit(unsigned value) { return "0123456789ABCDEF"[value & 15u]; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace tarnvik::devices
