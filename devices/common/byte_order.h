// Little-endian field access for instrument packets. Every protocol reads and writes its
// multi-byte numbers through these, never through pointer casts, so alignment and host byte
// order never matter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarnvik::devices {

inline uint16_t ReadU16Le(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline int16_t ReadI16Le(const uint8_t* p) { return static_cast<int16_t>(ReadU16Le(p)); }
inline uint32_t ReadU32Le(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t ReadI32Le(const uint8_t* p) { return static_cast<int32_t>(ReadU32Le(p)); }
// IEEE 754 single precision, as instruments send altitudes.
inline float ReadF32Le(const uint8_t* p) {
  uint32_t bits = ReadU32Le(p);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void WriteU16Le(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}
inline void WriteI16Le(uint8_t* p, int16_t value) { WriteU16Le(p, static_cast<uint16_t>(value)); }
inline void WriteU32Le(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}
inline void WriteI32Le(uint8_t* p, int32_t value) { WriteU32Le(p, static_cast<uint32_t>(value)); }
inline void WriteF32Le(uint8_t* p, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  WriteU32Le(p, bits);
}

}  // namespace tarnvik::devices
