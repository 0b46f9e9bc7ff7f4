#include "formats/sha1.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tarnvik::formats {
namespace {

constexpr uint32_t RotateLeft(uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

}  // namespace

void Sha1::Reset() {
  state_ = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  length_ = 0;
  blockFill_ = 0;
}

void Sha1::ProcessBlock(const uint8_t* block) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) {
    w[t] = (uint32_t{block[4 * t]} << 24) | (uint32_t{block[4 * t + 1]} << 16) |
           (uint32_t{block[4 * t + 2]} << 8) | uint32_t{block[4 * t + 3]};
  }
  for (int t = 16; t < 80; ++t) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    uint32_t temp = RotateLeft(a, 5) + f + e + w[t] + k;
    e = d;
    d = c;
    c = RotateLeft(b, 30);
    b = a;
    a = temp;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
}

void Sha1::Update(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  length_ += size;
  if (blockFill_ > 0) {
    size_t take = std::min(size, block_.size() - blockFill_);
    std::memcpy(block_.data() + blockFill_, p, take);
    blockFill_ += take;
    p += take;
    size -= take;
    if (blockFill_ < block_.size()) return;
    ProcessBlock(block_.data());
    blockFill_ = 0;
  }
  while (size >= block_.size()) {
    ProcessBlock(p);
    p += block_.size();
    size -= block_.size();
  }
  if (size > 0) {
    std::memcpy(block_.data(), p, size);
    blockFill_ = size;
  }
}

void Sha1::Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }

Sha1::Digest Sha1::Finish() {
  uint64_t bitLength = length_ * 8;
  // Padding: one 1 bit, zeros up to 56 bytes into a block, then the 64-bit big-endian length.
  uint8_t padding[72] = {0x80};
  size_t padLength = (blockFill_ < 56) ? 56 - blockFill_ : 120 - blockFill_;
  uint8_t lengthBytes[8];
  for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<uint8_t>(bitLength >> (56 - 8 * i));
  Update(padding, padLength);
  Update(lengthBytes, sizeof lengthBytes);
  return state_;
}

Sha1::Digest Sha1::Of(std::string_view bytes) {
  Sha1 sha;
  sha.Update(bytes);
  return sha.Finish();
}

std::string FormatSha1Hex(const Sha1::Digest& digest) {
  char text[41];
  std::snprintf(text, sizeof text, "%08X%08X%08X%08X%08X", digest[0], digest[1], digest[2],
                digest[3], digest[4]);
  return std::string(text, 40);
}

std::array<uint8_t, 20> Sha1Bytes(const Sha1::Digest& digest) {
  std::array<uint8_t, 20> bytes{};
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 4; ++j) bytes[4 * i + j] = static_cast<uint8_t>(digest[i] >> (24 - 8 * j));
  }
  return bytes;
}

}  // namespace tarnvik::formats
