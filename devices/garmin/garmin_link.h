// The Garmin serial link: framed packets with DLE stuffing and a checksum, the byte parser that
// turns incoming bytes back into packets, and the per-job state that every Garmin routine
// works on (received and transmit packet, parser, capabilities, product description).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "access/link.h"

namespace tarnvik::devices::garmin {

constexpr uint8_t kDle = 16;
constexpr uint8_t kEtx = 3;

// Packet ids.
constexpr uint8_t kPidAck = 6;               // data: the id acknowledged, then 0
constexpr uint8_t kPidCommand = 10;          // data: 16-bit command number
constexpr uint8_t kPidTransferComplete = 12;
constexpr uint8_t kPidRecords = 27;          // data: 16-bit record count
constexpr uint8_t kPidTrackPoint = 34;
constexpr uint8_t kPidWaypoint = 35;
constexpr uint8_t kPidTrackHeader = 99;
constexpr uint8_t kPidProtocolArray = 253;
constexpr uint8_t kPidProductRequest = 254;
constexpr uint8_t kPidProductData = 255;

// Command numbers carried by packet 10.
constexpr uint16_t kCommandAbortTransfer = 0;
constexpr uint16_t kCommandTransferTrack = 6;
constexpr uint16_t kCommandTransferWaypoints = 7;

// How long a receive waits for a complete packet, counted from the call.
constexpr int64_t kPacketTimeoutMs = 5000;

constexpr size_t kMaxPacketData = 255;
// DLE, id, size and checksum each doubled, every data byte doubled, DLE ETX.
constexpr size_t kMaxFramedPacket = 2 + 2 + 2 * kMaxPacketData + 2 + 2;

// A received packet. The data area is zeroed before every packet, so a short packet reads as
// zeros beyond its size.
struct GarminPacket {
  uint8_t id = 0;
  uint8_t size = 0;
  std::array<uint8_t, kMaxPacketData> data{};
};

// The packet being sent.
struct GarminTxPacket {
  uint32_t id = 0;
  uint32_t size = 0;
  std::array<uint8_t, kMaxPacketData> data{};
};

// Frames a packet into out (at least kMaxFramedPacket bytes): DLE, id, size, data, checksum,
// DLE, ETX, with every DLE in size, data and checksum doubled (the id is never doubled).
// Returns the number of bytes.
size_t FrameGarminPacket(uint8_t id, const uint8_t* data, size_t size, uint8_t* out);
std::vector<uint8_t> FrameGarminPacket(uint8_t id, const uint8_t* data, size_t size);

// The byte parser. States: 0 waiting for DLE, 1 id, 2 size, 3 data, 4 checksum, 5 closing DLE,
// 6 ETX. A packet with broken stuffing, a bad checksum or a bad ending is dropped silently.
struct GarminParser {
  int state = 0;
  bool dleSeen = false;
  size_t index = 0;
  uint8_t checksum = 0;

  void Reset() { *this = GarminParser{}; }
  // Takes one byte; true when it completed a packet in `packet`.
  bool Feed(uint8_t byte, GarminPacket& packet);
};

// The capabilities of the connected unit: what it reports in its protocol capability array,
// or the row of the built-in product table for units that send none.
struct GarminCapabilities {
  uint16_t productId = 0;
  uint16_t softwareVersion = 0;      // version x 100
  uint16_t softwareVersionHigh = 0;  // = softwareVersion from the unit; a table row's upper bound
  uint16_t physical = 0;
  uint16_t link = 0;
  uint16_t deviceCommand = 0;
  uint16_t transmission = 0;
  uint16_t waypointTransfer = 0;
  uint16_t waypointType = 0;
  uint16_t routeTransfer = 0;
  uint16_t routeHeaderType = 0;
  uint16_t routeWaypointType = 0;
  uint16_t routeLinkType = 0;
  uint16_t trackTransfer = 0;
  uint16_t trackHeaderType = 0;
  uint16_t trackPointType = 0;
  uint16_t proximityTransfer = 0;
  uint16_t proximityType = 0;
  uint16_t almanacTransfer = 0;
  uint16_t almanacType = 0;
  friend bool operator==(const GarminCapabilities&, const GarminCapabilities&) = default;
};
static_assert(sizeof(GarminCapabilities) == 40, "twenty 16-bit numbers");

constexpr size_t kMaxProductDescription = 80;

// The Garmin state of one transfer job. The parser and the link's receive buffer carry
// unconsumed bytes from one packet to the next within the job.
struct GarminSession {
  explicit GarminSession(access::Link& l) : link(l) {}
  access::Link& link;
  GarminParser parser;
  GarminPacket received;
  GarminTxPacket transmit;
  GarminCapabilities capabilities;
  std::string productDescription;  // up to 80 characters
};

// Frames session.transmit and writes it. 0, or -1 when the write failed.
int SendGarminPacket(GarminSession& session);
// Sets the transmit packet and sends it.
int SendGarminPacket(GarminSession& session, uint8_t id, const uint8_t* data, size_t size);
// Waits up to 5000 ms for the next complete packet: 0 (in session.received), access::kReadTimeout
// (-1) or access::kReadPortError (-2).
int ReceiveGarminPacket(GarminSession& session);
// Packet 6 acknowledging id: data (id, 0).
int SendAck(GarminSession& session, uint8_t id);
// Packet 10 with a 16-bit command number.
int SendCommand(GarminSession& session, uint16_t command);
// Packet 10 with command 0: tells the unit to stop the transfer in progress.
int SendAbortTransfer(GarminSession& session);

// The message for a send that failed: "E<code> COM port write error", followed by ": " and the
// port's own text of the failure when it gives one.
std::string GarminWriteErrorText(GarminSession& session, int code);

// Reads and drops whatever the unit still sends (its acknowledgement of an abort-transfer
// command, the rest of a broken transfer) until quietMs pass without a packet or the port fails.
void DrainGarminPackets(GarminSession& session, int64_t quietMs);

// True when the received packet is an acknowledgement of id: packet 6 with data (id, 0). A unit
// that sends a one-byte acknowledgement passes too (the data area reads as zero beyond size).
bool IsAckOf(const GarminPacket& packet, uint8_t id);

}  // namespace tarnvik::devices::garmin
