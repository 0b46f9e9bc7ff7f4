// The device side of the Garmin serial protocol: a receiver that identifies itself (product
// data and, unless configured otherwise, its protocol capability array), delivers its track
// log and waypoints, takes waypoint and track uploads, answers time and position requests.
//
// It speaks as a unit does, with its own framing and records (unit_wire.h, unit_records.h), and
// holds the host to the protocol: a frame with a bad checksum is answered with a NAK; every
// other packet is acknowledged; the unit's own packets go out one at a time, the next only
// after the host acknowledged the last with a whole, correct acknowledgement (packet 6, two
// bytes: the id, then 0); a NAK from the host has the packet sent again. Everything the host
// did against the protocol (a wrong acknowledgement, an upload record that does not fit the
// declared type, a broken frame) is noted in protocolErrors().
//
// Faults for tests: a bad checksum in the device's Nth packet, the Nth packet dropped, silence
// after N packets, no acknowledgement of the host's Nth packet.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "core/records.h"
#include "sim/garmin/unit_records.h"
#include "sim/garmin/unit_wire.h"
#include "sim/simulator.h"

namespace tarnvik::sim::garmin {

struct GarminDeviceConfig {
  uint16_t productId = 0x0124;  // 292
  uint16_t softwareVersion = 350;
  std::string description = "Tarnvik Sim GPS Software Version 3.50";
  // The unit's protocols as (tag, number) entries: its capability array. Its waypoint, track
  // header and track point types are read from it (unless set below), also when the unit does
  // not send it (sendCapabilities = false: an older unit the host must look up by product ID).
  bool sendCapabilities = true;
  std::vector<std::pair<char, uint16_t>> capabilities;
  // Answer the product request with the product data alone (no acknowledgement first).
  bool answerProductRequestDirectly = false;
  // Product data packets sent again between the product data and the capability array.
  int extraProductPackets = 0;

  // Faults; 0 = none. Device packets are counted from 1, acknowledgements included; host
  // packets are counted from 1 without the host's acknowledgements.
  int badChecksumAtPacket = 0;
  int dropPacket = 0;
  int silentAfterPackets = 0;
  int noAckForHostPacket = 0;

  // The types the device sends and expects, taken from the capabilities when left 0.
  uint16_t waypointType = 0;
  uint16_t trackTransfer = 0;
  uint16_t trackHeaderType = 0;
  uint16_t trackPointType = 0;

  core::SystemTime clock{2024, 7, 0, 14, 12, 30, 0, 0};  // what a time request returns (UTC)
};

// The array of a typical unit with the given waypoint type, track transfer protocol and track
// point type (track header D310 for A301/A302), with time, position and PVT protocols as real
// units report them.
std::vector<std::pair<char, uint16_t>> StandardCapabilities(uint16_t waypointType = 108, uint16_t trackTransfer = 301,
                                                          uint16_t trackPointType = 301);

// What the host uploaded.
struct GarminUploads {
  std::vector<core::Waypoint> waypoints;    // every waypoint packet, in order
  std::vector<core::Waypoint> trackPoints;  // positions of every track point packet
  std::vector<std::string> trackHeaders;    // names of every track header packet (D311: index)
  std::vector<int> announcedCounts;         // the records packets of the host
  int completedTransfers = 0;               // transfer complete packets from the host
};

class GarminDevice : public Device {
 public:
  explicit GarminDevice(GarminDeviceConfig config = {});

  // What the unit holds.
  std::vector<SimTrackRecord> track;
  std::vector<core::Waypoint> waypoints;
  // Where completed uploads are appended as text lines (empty: kept in memory only).
  std::string recordFile;

  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override;
  void HostClosed() override;

  const GarminUploads& uploads() const { return uploads_; }
  // Commands (packet 10) received, in order, including abort-transfer (0).
  const std::vector<uint16_t>& commands() const { return commands_; }
  // Every packet received from the host except acknowledgements and NAKs, in order.
  const std::vector<UnitPacket>& hostPackets() const { return hostPackets_; }
  // What the host did against the protocol, in order.
  const std::vector<std::string>& protocolErrors() const { return protocolErrors_; }
  // Frames from the host answered with a NAK (bad checksum).
  int naksSent() const { return naksSent_; }
  int sentPackets() const { return sentPackets_; }
  const GarminDeviceConfig& config() const { return config_; }

 private:
  void HandlePacket(const UnitPacket& packet, std::vector<uint8_t>& out);
  void HandleAcknowledgement(const UnitPacket& packet, std::vector<uint8_t>& out);
  void HandleCommand(uint16_t command);
  void HandleUpload(const UnitPacket& packet);
  // Frames and appends a packet, with the configured faults. False when the packet was dropped.
  bool Emit(const UnitPacket& packet, std::vector<uint8_t>& out);
  void SendNext(std::vector<uint8_t>& out);
  void Queue(uint8_t id, std::vector<uint8_t> data) { queue_.push_back({id, std::move(data)}); }
  void Forget();
  void QueueTrack();
  void QueueWaypoints();
  void ProtocolError(std::string text) { protocolErrors_.push_back(std::move(text)); }

  GarminDeviceConfig config_;
  UnitFrameReader reader_;
  std::deque<UnitPacket> queue_;  // packets waiting to go out
  UnitPacket last_;               // the packet waiting for the host's acknowledgement
  bool awaitingAck_ = false;
  bool hostJustClosed_ = false;  // a stray acknowledgement may follow until the next packet
  int sentPackets_ = 0;
  int hostPacketCount_ = 0;
  int naksSent_ = 0;
  GarminUploads uploads_;
  std::vector<uint16_t> commands_;
  std::vector<UnitPacket> hostPackets_;
  std::vector<std::string> protocolErrors_;
  std::vector<std::string> pendingLines_;  // lines of the upload in progress
};

// Fills the device's track log from IGC text: a track header, then a point for every B record
// with a readable position, timed on the date of the HFDTE line (a day later after midnight),
// with its GPS altitude (the pressure altitude when the GPS altitude is 0); the turnpoints of a
// C-record task declaration become waypoints. Returns the number of points, or -1 with a text
// in error.
int LoadIgcIntoDevice(const std::string& igcText, GarminDevice& device, std::string& error);

// Registers "garmin" in the simulator table (tarnvik-sim garmin).
bool RegisterGarminSimulator();

}  // namespace tarnvik::sim::garmin
