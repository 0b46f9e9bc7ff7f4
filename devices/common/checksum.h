// Checksums shared by the instrument protocols.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarnvik::devices {

// Low byte of the sum of the bytes.
uint8_t ByteSum(const uint8_t* bytes, size_t count, uint8_t start = 0);
// Two's complement of the low byte of the sum: the value that makes the sum of all bytes,
// checksum included, 0 modulo 256 (Garmin packets).
uint8_t TwosComplementChecksum(const uint8_t* bytes, size_t count);
// Exclusive or of the bytes (NMEA-style sentences).
uint8_t XorChecksum(std::string_view text);

// Upper-case hex digit of the low four bits; value of a hex digit character or -1.
char HexDigit(unsigned value);
int HexValue(char c);

}  // namespace tarnvik::devices
