#include "devices/garmin/garmin_link.h"

#include <cstdio>

#include "devices/common/byte_order.h"
#include "devices/common/checksum.h"

namespace tarnvik::devices::garmin {
namespace {

size_t PutStuffed(uint8_t byte, uint8_t* out, size_t at) {
  out[at++] = byte;
  if (byte == kDle) out[at++] = kDle;
  return at;
}

}  // namespace

size_t FrameGarminPacket(uint8_t id, const uint8_t* data, size_t size, uint8_t* out) {
  if (size > kMaxPacketData) size = kMaxPacketData;
  size_t at = 0;
  out[at++] = kDle;
  out[at++] = id;
  at = PutStuffed(static_cast<uint8_t>(size), out, at);
  uint8_t sum = static_cast<uint8_t>(id + size);
  for (size_t i = 0; i < size; ++i) at = PutStuffed(data[i], out, at);
  sum = ByteSum(data, size, sum);
  at = PutStuffed(static_cast<uint8_t>(-static_cast<unsigned>(sum)), out, at);
  out[at++] = kDle;
  out[at++] = kEtx;
  return at;
}

std::vector<uint8_t> FrameGarminPacket(uint8_t id, const uint8_t* data, size_t size) {
  std::vector<uint8_t> out(kMaxFramedPacket);
  out.resize(FrameGarminPacket(id, data, size, out.data()));
  return out;
}

bool GarminParser::Feed(uint8_t byte, GarminPacket& packet) {
  switch (state) {
    case 0:
      if (byte == kDle) state = 1;
      return false;
    case 1:
      if (byte == kDle || byte == kEtx) {
        state = 0;
        return false;
      }
      packet.id = byte;
      checksum = byte;
      dleSeen = false;
      state = 2;
      return false;
    case 2:
    case 3:
    case 4:
      // Unstuffing: a DLE must be followed by a second DLE, which stands for one data byte.
      if (dleSeen) {
        dleSeen = false;
        if (byte != kDle) {
          state = 0;
          return false;
        }
      } else if (byte == kDle) {
        dleSeen = true;
        return false;
      }
      checksum = static_cast<uint8_t>(checksum + byte);
      if (state == 2) {
        packet.size = byte;
        packet.data.fill(0);
        index = 0;
        state = byte > 0 ? 3 : 4;
      } else if (state == 3) {
        packet.data[index++] = byte;
        if (index >= packet.size) state = 4;
      } else {
        state = checksum == 0 ? 5 : 0;
      }
      return false;
    case 5:
      state = byte == kDle ? 6 : 0;
      return false;
    case 6:
      state = 0;
      return byte == kEtx;
    default:
      state = 0;
      return false;
  }
}

int SendGarminPacket(GarminSession& session) {
  uint8_t framed[kMaxFramedPacket];
  size_t size = session.transmit.size > kMaxPacketData ? kMaxPacketData : session.transmit.size;
  size_t length = FrameGarminPacket(static_cast<uint8_t>(session.transmit.id), session.transmit.data.data(),
                                    size, framed);
  return session.link.WriteBytes(framed, length) == 0 ? 0 : -1;
}

int SendGarminPacket(GarminSession& session, uint8_t id, const uint8_t* data, size_t size) {
  if (size > kMaxPacketData) size = kMaxPacketData;
  session.transmit.id = id;
  session.transmit.size = static_cast<uint32_t>(size);
  session.transmit.data.fill(0);
  for (size_t i = 0; i < size; ++i) session.transmit.data[i] = data[i];
  return SendGarminPacket(session);
}

int ReceiveGarminPacket(GarminSession& session) {
  return session.link.ReadUnit(
      [&session](uint8_t byte) { return session.parser.Feed(byte, session.received); }, kPacketTimeoutMs);
}

int SendAck(GarminSession& session, uint8_t id) {
  const uint8_t data[2] = {id, 0};
  return SendGarminPacket(session, kPidAck, data, 2);
}

int SendCommand(GarminSession& session, uint16_t command) {
  uint8_t data[2];
  WriteU16Le(data, command);
  return SendGarminPacket(session, kPidCommand, data, 2);
}

int SendAbortTransfer(GarminSession& session) { return SendCommand(session, kCommandAbortTransfer); }

std::string GarminWriteErrorText(GarminSession& session, int code) {
  char text[48];
  std::snprintf(text, sizeof text, "E%03d COM port write error", code);
  const std::string why = session.link.transport().ErrorText();
  return why.empty() ? std::string(text) : std::string(text) + ": " + why;
}

void DrainGarminPackets(GarminSession& session, int64_t quietMs) {
  // Bounded: a unit that never stops talking cannot hold the job here.
  for (int i = 0; i < 300; ++i) {
    const int got = session.link.ReadUnit(
        [&session](uint8_t byte) { return session.parser.Feed(byte, session.received); }, quietMs);
    if (got != access::kReadComplete) break;
  }
  session.parser.Reset();
}

bool IsAckOf(const GarminPacket& packet, uint8_t id) {
  return packet.id == kPidAck && packet.size >= 1 && packet.data[0] == id && packet.data[1] == 0;
}

}  // namespace tarnvik::devices::garmin
