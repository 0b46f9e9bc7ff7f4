#include "formats/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace tarnvik::formats {
namespace {

// zlib's crc32 inverts the register before and after; ours does neither. A register started at
// 0xFFFFFFFF over some bytes is therefore the inverse of zlib's value, and zlib continues from
// a register r when handed ~r.
TEST(Crc32, RegisterIsTheInverseOfZlibsCrc) {
  const std::string texts[] = {"", "123456789", "AXTVABC \r\nHFDTE160701\r\n",
                               std::string("\0\xff\x80 binary", 11)};
  for (const auto& t : texts) {
    const auto* bytes = reinterpret_cast<const Bytef*>(t.data());
    const uLong zlib = crc32(0L, bytes, static_cast<uInt>(t.size()));
    EXPECT_EQ(Crc32Update(kCrc32Start, t.data(), t.size()), ~static_cast<uint32_t>(zlib)) << t;
  }
  EXPECT_EQ(~Crc32Update(kCrc32Start, "123456789", 9), 0xCBF43926u);  // the check value

  // Byte by byte, continued from a register in the middle, as the signature feeds lines.
  std::string text;
  for (int i = 0; i < 1000; ++i) text += static_cast<char>(i * 7 + 3);
  uint32_t reg = kCrc32Start;
  for (char c : text) reg = Crc32Step(reg, static_cast<uint8_t>(c));
  const uint32_t half = Crc32Update(kCrc32Start, text.data(), 500);
  const uLong zlibRest = crc32(~half & 0xFFFFFFFFu, reinterpret_cast<const Bytef*>(text.data() + 500), 500);
  EXPECT_EQ(reg, ~static_cast<uint32_t>(zlibRest));
}

}  // namespace
}  // namespace tarnvik::formats
