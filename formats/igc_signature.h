// The G security record of the IGC files this program writes and verifies: a CRC-32 register
// run over the hashed lines (A, B, HF and LX lines, line ends included, in file order), salted,
// folded into 64 bits, bit-permuted and written as 16 upper-case hexadecimal digits.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tarnvik::formats {

// The salt byte, fed into the signature five times. Writer and verifier both take it from here;
// changing it invalidates every signed file ever written.
constexpr uint8_t kIgcSignatureSalt = 'T';

// Bit permutation of the 64-bit value: bit j of output byte i is bit (P[8i + j] mod 8) of input
// byte (P[8i + j] div 8).
constexpr std::array<uint8_t, 64> kIgcSignaturePermutation = {
    0x0A, 0x02, 0x1A, 0x37, 0x30, 0x07, 0x0B, 0x3D, 0x2B, 0x16, 0x2E, 0x1D, 0x10,
    0x2A, 0x12, 0x3E, 0x11, 0x03, 0x33, 0x20, 0x31, 0x2D, 0x35, 0x1C, 0x17, 0x1F,
    0x04, 0x27, 0x24, 0x21, 0x2F, 0x1E, 0x18, 0x0F, 0x23, 0x0D, 0x08, 0x1B, 0x19,
    0x0C, 0x00, 0x0E, 0x28, 0x3C, 0x22, 0x39, 0x38, 0x14, 0x25, 0x26, 0x34, 0x01,
    0x05, 0x36, 0x3F, 0x15, 0x29, 0x3A, 0x09, 0x2C, 0x3B, 0x06, 0x32, 0x13};

// The 16 hexadecimal digits (upper case, no "G", no line end) for a register that started at
// 0xFFFFFFFF and ran over the hashed bytes.
std::string IgcSignature(uint32_t reg);

}  // namespace tarnvik::formats
