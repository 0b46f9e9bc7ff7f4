// The device side of the Garmin serial protocol: a receiver that identifies itself (product
// data and, unless configured otherwise, its protocol capability array), delivers its track
// log and waypoints, takes waypoint and track uploads, answers time and position requests,
// and acknowledges every packet from the host. Its own packets go out one at a time: the next
// one only after the host acknowledged the last (a NAK repeats it).
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
#include "devices/garmin/garmin_link.h"
#include "sim/simulator.h"

namespace tarnvik::sim::garmin {

// One record of the unit's track log: a point, or (A301/A302) a track header.
struct SimTrackRecord {
  bool header = false;
  std::string name;          // header: the track's name
  core::TrackPoint point;    // point: time, position, flags (1 = new segment)
  float altitudeM = 0;       // point: altitude; 1.0e25 when the unit has none
};

struct GarminDeviceConfig {
  uint16_t productId = 0x0124;  // 292
  uint16_t softwareVersion = 350;
  std::string description = "Tarnvik Sim GPS Software Version 3.50";
  // The capability array as (tag, number) entries; empty with sendCapabilities = false.
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
  uint16_t trackPointType = 0;

  core::SystemTime clock{2024, 7, 0, 14, 12, 30, 0, 0};  // what a time request returns (UTC)
};

// The array of a typical unit with the given waypoint type, track transfer protocol and track
// point type, with time, position and PVT protocols as real units report them.
std::vector<std::pair<char, uint16_t>> StandardCapabilities(uint16_t waypointType = 108, uint16_t trackTransfer = 301,
                                                          uint16_t trackPointType = 301);

// What the host uploaded.
struct GarminUploads {
  std::vector<core::Waypoint> waypoints;                // every waypoint packet, in order
  std::vector<core::Waypoint> trackPoints;              // positions of every track point packet
  std::vector<std::string> trackHeaders;                // names of every track header packet
  std::vector<int> announcedCounts;                     // the records packets of the host
  int completedTransfers = 0;                           // transfer complete packets from the host
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
  // Every packet received from the host except acknowledgements, in order.
  const std::vector<devices::garmin::GarminPacket>& hostPackets() const { return hostPackets_; }
  int sentPackets() const { return sentPackets_; }
  const GarminDeviceConfig& config() const { return config_; }

 private:
  struct OutPacket {
    uint8_t id = 0;
    std::vector<uint8_t> data;
  };
  void HandlePacket(const devices::garmin::GarminPacket& packet, std::vector<uint8_t>& out);
  void HandleCommand(uint16_t command);
  // Frames and appends a packet, with the configured faults. False when the packet was dropped.
  bool Emit(uint8_t id, const std::vector<uint8_t>& data, std::vector<uint8_t>& out);
  void SendNext(std::vector<uint8_t>& out);
  void Queue(uint8_t id, std::vector<uint8_t> data) { queue_.push_back({id, std::move(data)}); }
  void QueueTrack();
  void QueueWaypoints();

  GarminDeviceConfig config_;
  devices::garmin::GarminParser parser_;
  devices::garmin::GarminPacket packet_;
  std::deque<OutPacket> queue_;    // packets waiting to go out
  OutPacket last_;                  // the packet waiting for the host's acknowledgement
  bool awaitingAck_ = false;
  int sentPackets_ = 0;
  int hostPacketCount_ = 0;
  GarminUploads uploads_;
  std::vector<uint16_t> commands_;
  std::vector<devices::garmin::GarminPacket> hostPackets_;
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
