#include <gtest/gtest.h>

#include "devices/common/byte_order.h"
#include "devices/common/checksum.h"

namespace tarnvik::devices {
namespace {

TEST(Checksums, SumsTwosComplementAndXor) {
  const uint8_t bytes[] = {0xFE, 0x00, 0x10, 0x05};
  EXPECT_EQ(ByteSum(bytes, 4), 0x13);
  EXPECT_EQ(ByteSum(bytes, 4, 0xF0), 0x03);
  const uint8_t checksum = TwosComplementChecksum(bytes, 4);
  EXPECT_EQ(static_cast<uint8_t>(ByteSum(bytes, 4) + checksum), 0);
  EXPECT_EQ(TwosComplementChecksum(bytes, 0), 0);
  // NMEA: $GPGLL,4916.45,N,12311.12,W,225444,A*31
  EXPECT_EQ(XorChecksum("GPGLL,4916.45,N,12311.12,W,225444,A"), 0x31);
  EXPECT_EQ(HexDigit(0x3A), 'A');
  EXPECT_EQ(HexValue('f'), 15);
  EXPECT_EQ(HexValue('G'), -1);
}

TEST(ByteOrder, LittleEndianFieldsWhateverTheAlignment) {
  uint8_t buffer[11] = {};
  WriteI32Le(buffer + 1, -2);
  WriteU16Le(buffer + 5, 0xBEEF);
  WriteF32Le(buffer + 7, 1.0e25f);
  EXPECT_EQ(buffer[1], 0xFE);
  EXPECT_EQ(buffer[4], 0xFF);
  EXPECT_EQ(buffer[5], 0xEF);
  EXPECT_EQ(buffer[6], 0xBE);
  EXPECT_EQ(ReadI32Le(buffer + 1), -2);
  EXPECT_EQ(ReadU32Le(buffer + 1), 0xFFFFFFFEu);
  EXPECT_EQ(ReadU16Le(buffer + 5), 0xBEEF);
  EXPECT_EQ(ReadI16Le(buffer + 5), static_cast<int16_t>(0xBEEF));
  EXPECT_EQ(ReadF32Le(buffer + 7), 1.0e25f);
  // IEEE single precision 1.0 is 00 00 80 3F on the wire.
  WriteF32Le(buffer, 1.0f);
  EXPECT_EQ(buffer[3], 0x3F);
  EXPECT_EQ(buffer[2], 0x80);
}

}  // namespace
}  // namespace tarnvik::devices
