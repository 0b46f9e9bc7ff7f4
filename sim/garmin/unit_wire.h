// The simulated Garmin unit's side of the serial link, written from the unit's point of view and
// independent of the host's link code: how the unit frames what it sends, and how it cuts the
// host's byte stream into frames and checks them before it acknowledges anything.
//
// A frame on the wire: DLE, id, size, data, checksum, DLE, ETX. Inside a frame every DLE of the
// size, the data and the checksum is doubled; the id is never doubled. The checksum makes the
// low byte of the sum of id, size, data and checksum zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnvik::sim::garmin {

constexpr uint8_t kUnitDle = 0x10;
constexpr uint8_t kUnitEtx = 0x03;

// Packet ids the unit knows.
namespace pid {
constexpr uint8_t kAck = 6;
constexpr uint8_t kCommand = 10;
constexpr uint8_t kTransferComplete = 12;
constexpr uint8_t kDateTime = 14;
constexpr uint8_t kPosition = 17;
constexpr uint8_t kNak = 21;
constexpr uint8_t kRecords = 27;
constexpr uint8_t kTrackPoint = 34;
constexpr uint8_t kWaypoint = 35;
constexpr uint8_t kTrackHeader = 99;
constexpr uint8_t kProtocolArray = 253;
constexpr uint8_t kProductRequest = 254;
constexpr uint8_t kProductData = 255;
}  // namespace pid

// Command numbers (packet 10).
namespace command {
constexpr uint16_t kAbortTransfer = 0;
constexpr uint16_t kTransferPosition = 2;
constexpr uint16_t kTransferTime = 5;
constexpr uint16_t kTransferTrack = 6;
constexpr uint16_t kTransferWaypoints = 7;
}  // namespace command

// A packet as the unit sees it: id and data (the size is the data's length).
struct UnitPacket {
  uint8_t id = 0;
  std::vector<uint8_t> data;
  friend bool operator==(const UnitPacket&, const UnitPacket&) = default;
};

// The frame of a packet, ready for the wire. A nonzero checksumError is added to the correct
// checksum (a fault the unit can be told to make). At most 255 data bytes are framed.
std::vector<uint8_t> FrameUnitPacket(const UnitPacket& packet, uint8_t checksumError = 0);

// Cuts the host's bytes into frames. A frame runs from a DLE that is not part of a doubled pair
// to the next undoubled DLE ETX; only then is it checked: its size byte must match the bytes
// that came, and its checksum must add up. A lone DLE followed by anything but DLE or ETX ends
// the broken frame and starts a new one there, so the reader finds the next frame at once.
class UnitFrameReader {
 public:
  enum class Result {
    None,         // the byte did not end a frame
    Packet,       // a good frame: packet() holds it
    BadChecksum,  // a complete frame whose checksum does not add up: packet().id is its id
    BadFrame,     // a complete frame whose size does not match its length
  };
  Result Feed(uint8_t byte);
  const UnitPacket& packet() const { return packet_; }
  void Reset();

 private:
  enum class State { Idle, Id, Body, BodyDle };
  Result Finish();
  State state_ = State::Idle;
  uint8_t id_ = 0;
  std::vector<uint8_t> body_;  // size, data, checksum as unstuffed
  UnitPacket packet_;
};

// Little-endian fields as the unit writes and reads them.
void PutU16(std::vector<uint8_t>& out, size_t at, uint16_t value);
void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t value);
void PutFloat(std::vector<uint8_t>& out, size_t at, float value);
void PutDouble(std::vector<uint8_t>& out, size_t at, double value);
uint16_t GetU16(const std::vector<uint8_t>& in, size_t at);
uint32_t GetU32(const std::vector<uint8_t>& in, size_t at);
float GetFloat(const std::vector<uint8_t>& in, size_t at);

}  // namespace tarnvik::sim::garmin
