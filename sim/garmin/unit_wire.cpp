#include "sim/garmin/unit_wire.h"

#include <cstring>

namespace tarnvik::sim::garmin {
namespace {

// Longest body a frame can carry: size, 255 data bytes, checksum.
constexpr size_t kMaxBody = 1 + 255 + 1;

void PutEscaped(std::vector<uint8_t>& out, uint8_t byte) {
  out.push_back(byte);
  if (byte == kUnitDle) out.push_back(kUnitDle);
}

}  // namespace

std::vector<uint8_t> FrameUnitPacket(const UnitPacket& packet, uint8_t checksumError) {
  const size_t size = packet.data.size() > 255 ? 255 : packet.data.size();
  std::vector<uint8_t> out;
  out.reserve(2 * size + 10);
  out.push_back(kUnitDle);
  out.push_back(packet.id);
  unsigned sum = packet.id + static_cast<unsigned>(size);
  PutEscaped(out, static_cast<uint8_t>(size));
  for (size_t i = 0; i < size; ++i) {
    PutEscaped(out, packet.data[i]);
    sum += packet.data[i];
  }
  // The checksum completes the sum to a multiple of 256.
  const uint8_t checksum = static_cast<uint8_t>((256 - (sum & 0xFF)) & 0xFF);
  PutEscaped(out, static_cast<uint8_t>(checksum + checksumError));
  out.push_back(kUnitDle);
  out.push_back(kUnitEtx);
  return out;
}

void UnitFrameReader::Reset() {
  state_ = State::Idle;
  body_.clear();
}

UnitFrameReader::Result UnitFrameReader::Feed(uint8_t byte) {
  switch (state_) {
    case State::Idle:
      if (byte == kUnitDle) state_ = State::Id;
      return Result::None;
    case State::Id:
      // DLE ETX closes something we did not see open; DLE DLE is no frame start either.
      if (byte == kUnitEtx || byte == kUnitDle) {
        state_ = byte == kUnitDle ? State::Id : State::Idle;
        return Result::None;
      }
      id_ = byte;
      body_.clear();
      state_ = State::Body;
      return Result::None;
    case State::Body:
      if (byte == kUnitDle) {
        state_ = State::BodyDle;
        return Result::None;
      }
      body_.push_back(byte);
      break;
    case State::BodyDle:
      if (byte == kUnitDle) {
        body_.push_back(kUnitDle);
        state_ = State::Body;
        break;
      }
      if (byte == kUnitEtx) {
        state_ = State::Idle;
        return Finish();
      }
      // A lone DLE: the frame is broken, and this DLE opened the next one.
      id_ = byte;
      body_.clear();
      state_ = State::Body;
      return Result::None;
  }
  if (body_.size() > kMaxBody) {
    // No frame is this long: wait for the next start.
    body_.clear();
    state_ = State::Idle;
  }
  return Result::None;
}

UnitFrameReader::Result UnitFrameReader::Finish() {
  packet_.id = id_;
  packet_.data.clear();
  if (body_.size() < 2 || body_[0] != body_.size() - 2) return Result::BadFrame;
  unsigned sum = id_;
  for (uint8_t b : body_) sum += b;
  if ((sum & 0xFF) != 0) return Result::BadChecksum;
  packet_.data.assign(body_.begin() + 1, body_.end() - 1);
  return Result::Packet;
}

void PutU16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

void PutFloat(std::vector<uint8_t>& out, size_t at, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutU32(out, at, bits);
}

void PutDouble(std::vector<uint8_t>& out, size_t at, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutU32(out, at, static_cast<uint32_t>(bits));
  PutU32(out, at + 4, static_cast<uint32_t>(bits >> 32));
}

uint16_t GetU16(const std::vector<uint8_t>& in, size_t at) {
  return static_cast<uint16_t>(in[at] | (in[at + 1] << 8));
}

uint32_t GetU32(const std::vector<uint8_t>& in, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | in[at + static_cast<size_t>(i)];
  return value;
}

float GetFloat(const std::vector<uint8_t>& in, size_t at) {
  const uint32_t bits = GetU32(in, at);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace tarnvik::sim::garmin
