#include "formats/sha1.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <random>
#include <string>

namespace tarnvik::formats {
namespace {

std::array<uint8_t, 20> OpenSslSha1(std::string_view bytes) {
  std::array<uint8_t, 20> out{};
  SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data());
  return out;
}

TEST(Sha1Test, StandardVectors) {
  struct Case {
    std::string input;
    const char* hex;
  };
  const Case cases[] = {
      {"abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
      {std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
      {"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatSha1Hex(Sha1::Of(c.input)), c.hex) << c.input.substr(0, 20);
    EXPECT_EQ(Sha1Bytes(Sha1::Of(c.input)), OpenSslSha1(c.input));
  }
}

// Random lengths around the block and padding boundaries, fed in random pieces, must agree
// with OpenSSL.
TEST(Sha1Test, AgreesWithOpenSslOnRandomDataFedInPieces) {
  std::mt19937 random(20070601);
  for (int round = 0; round < 300; ++round) {
    size_t length = round < 130 ? static_cast<size_t>(round) : random() % 5000;
    std::string data(length, '\0');
    for (auto& c : data) c = static_cast<char>(random());
    Sha1 sha;
    size_t at = 0;
    while (at < length) {
      size_t piece = std::min<size_t>(length - at, random() % 80);
      sha.Update(std::string_view(data).substr(at, piece));
      at += piece;
    }
    ASSERT_EQ(Sha1Bytes(sha.Finish()), OpenSslSha1(data)) << "length " << length;
  }
}

TEST(Sha1Test, ResetStartsAFreshDigest) {
  Sha1 sha;
  sha.Update("something else");
  sha.Finish();
  sha.Reset();
  sha.Update("abc");
  EXPECT_EQ(FormatSha1Hex(sha.Finish()), "A9993E364706816ABA3E25717850C26C9CD0D89D");
}

}  // namespace
}  // namespace tarnvik::formats
