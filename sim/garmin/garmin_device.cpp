#include "sim/garmin/garmin_device.h"

#include <cmath>
#include <cstring>
#include <fstream>

#include "devices/common/byte_order.h"
#include "devices/garmin/garmin_product.h"
#include "devices/garmin/garmin_records.h"

namespace tarnvik::sim::garmin {

using namespace devices::garmin;
using devices::WriteF32Le;
using devices::WriteI32Le;
using devices::WriteU16Le;
using devices::WriteU32Le;

namespace {

constexpr uint8_t kPidNak = 21;
constexpr uint8_t kPidDateTime = 14;
constexpr uint8_t kPidPosition = 17;
constexpr uint16_t kCommandTransferPosition = 2;
constexpr uint16_t kCommandTransferTime = 5;
constexpr float kNoValue = 1.0e25f;

// Frames a packet; checksumDelta != 0 spoils the checksum.
std::vector<uint8_t> Frame(uint8_t id, const std::vector<uint8_t>& data, uint8_t checksumDelta) {
  std::vector<uint8_t> framed = FrameGarminPacket(id, data.data(), data.size());
  if (checksumDelta == 0) return framed;
  // Rebuild the tail: the checksum sits before DLE ETX, doubled when it is DLE.
  size_t end = framed.size() - 2;
  uint8_t checksum = framed[end - 1];
  end -= (checksum == kDle && end >= 2 && framed[end - 2] == kDle) ? 2 : 1;
  framed.resize(end);
  uint8_t spoiled = static_cast<uint8_t>(checksum + checksumDelta);
  framed.push_back(spoiled);
  if (spoiled == kDle) framed.push_back(kDle);
  framed.push_back(kDle);
  framed.push_back(kEtx);
  return framed;
}

std::vector<uint8_t> Word(uint16_t value) {
  std::vector<uint8_t> data(2);
  WriteU16Le(data.data(), value);
  return data;
}

void PutDouble(uint8_t* p, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  WriteU32Le(p, static_cast<uint32_t>(bits));
  WriteU32Le(p + 4, static_cast<uint32_t>(bits >> 32));
}

// A track point in the unit's own layout, with the fields a real unit fills.
std::vector<uint8_t> EncodeTrackRecord(uint16_t type, const SimTrackRecord& r) {
  std::vector<uint8_t> data(TrackPointMinimumSize(type));
  if (data.empty()) data.resize(13);
  WriteI32Le(&data[0], r.point.latitude);
  WriteI32Le(&data[4], r.point.longitude);
  WriteU32Le(&data[8], r.point.time);
  const uint8_t segment = r.point.flags ? 1 : 0;
  switch (type) {
    case 300:
      data[12] = segment;
      break;
    case 301:
      WriteF32Le(&data[12], r.altitudeM);
      WriteF32Le(&data[16], kNoValue);  // depth
      data[20] = segment;
      break;
    case 302:
      WriteF32Le(&data[12], r.altitudeM);
      WriteF32Le(&data[16], kNoValue);  // depth
      WriteF32Le(&data[20], kNoValue);  // temperature
      data[24] = segment;
      break;
    case 303:
      WriteF32Le(&data[12], r.altitudeM);
      data[16] = 0;  // heart rate: none
      break;
    case 304:
      WriteF32Le(&data[12], r.altitudeM);
      WriteF32Le(&data[16], kNoValue);  // distance
      data[20] = 0;
      data[21] = 0xFF;  // cadence: none
      data[22] = 0;
      break;
    default:
      break;
  }
  return data;
}

std::vector<uint8_t> EncodeHeaderRecord(uint16_t headerType, const SimTrackRecord& r, uint16_t index) {
  if (headerType == 311) return Word(index);
  std::vector<uint8_t> data(2 + r.name.size() + 1, 0);
  data[0] = 1;  // displayed
  data[1] = 0xFF;  // default colour
  std::memcpy(&data[2], r.name.data(), r.name.size());
  return data;
}

std::string Semicircles(const core::Waypoint& w) {
  return std::to_string(w.latitude) + "," + std::to_string(w.longitude);
}

}  // namespace

std::vector<std::pair<char, uint16_t>> StandardCapabilities(uint16_t waypointType, uint16_t trackTransfer,
                                                          uint16_t trackPointType) {
  std::vector<std::pair<char, uint16_t>> caps = {
      {'P', 0},   {'L', 1},   {'A', 10},  {'A', 100}, {'D', waypointType}, {'A', 201}, {'D', 202},
      {'D', waypointType},    {'D', 210}, {'A', trackTransfer}};
  if (trackTransfer != 300) caps.push_back({'D', 310});
  caps.push_back({'D', trackPointType});
  const std::pair<char, uint16_t> rest[] = {{'A', 400}, {'D', 403}, {'A', 500}, {'D', 501}, {'A', 600},
                                            {'D', 600}, {'A', 700}, {'D', 700}, {'A', 800}, {'D', 800}};
  caps.insert(caps.end(), std::begin(rest), std::end(rest));
  return caps;
}

GarminDevice::GarminDevice(GarminDeviceConfig config) : config_(std::move(config)) {
  if (config_.capabilities.empty()) config_.capabilities = StandardCapabilities();
  // The types the device works with follow its array, unless set.
  std::vector<uint8_t> entries;
  for (const auto& [tag, number] : config_.capabilities) {
    entries.push_back(static_cast<uint8_t>(tag));
    entries.push_back(static_cast<uint8_t>(number));
    entries.push_back(static_cast<uint8_t>(number >> 8));
  }
  GarminCapabilities caps;
  ParseCapabilities(entries.data(), entries.size() / 3, caps);
  if (!config_.sendCapabilities) {
    if (const GarminCapabilities* row = FindProductTableRow(config_.productId, config_.softwareVersion)) caps = *row;
  }
  if (config_.waypointType == 0) config_.waypointType = caps.waypointType ? caps.waypointType : 108;
  if (config_.trackTransfer == 0) config_.trackTransfer = caps.trackTransfer ? caps.trackTransfer : 301;
  if (config_.trackPointType == 0) config_.trackPointType = caps.trackPointType ? caps.trackPointType : 301;
}

void GarminDevice::Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < count; ++i) {
    if (parser_.Feed(bytes[i], packet_)) HandlePacket(packet_, out);
  }
}

void GarminDevice::HostClosed() {
  parser_.Reset();
  queue_.clear();
  awaitingAck_ = false;
}

bool GarminDevice::Emit(uint8_t id, const std::vector<uint8_t>& data, std::vector<uint8_t>& out) {
  ++sentPackets_;
  if (config_.silentAfterPackets > 0 && sentPackets_ > config_.silentAfterPackets) return true;
  if (config_.dropPacket == sentPackets_) return false;
  const std::vector<uint8_t> framed = Frame(id, data, config_.badChecksumAtPacket == sentPackets_ ? 1 : 0);
  out.insert(out.end(), framed.begin(), framed.end());
  return true;
}

void GarminDevice::SendNext(std::vector<uint8_t>& out) {
  while (!awaitingAck_ && !queue_.empty()) {
    last_ = std::move(queue_.front());
    queue_.pop_front();
    // A dropped packet is gone; the unit carries on with the next one.
    if (Emit(last_.id, last_.data, out)) awaitingAck_ = true;
  }
}

void GarminDevice::HandlePacket(const GarminPacket& packet, std::vector<uint8_t>& out) {
  if (packet.id == kPidAck) {
    if (awaitingAck_ && packet.data[0] == last_.id) {
      awaitingAck_ = false;
      SendNext(out);
    }
    return;
  }
  if (packet.id == kPidNak) {
    if (awaitingAck_) Emit(last_.id, last_.data, out);
    return;
  }
  ++hostPacketCount_;
  hostPackets_.push_back(packet);
  const bool direct = packet.id == kPidProductRequest && config_.answerProductRequestDirectly;
  if (hostPacketCount_ != config_.noAckForHostPacket && !direct) {
    Emit(kPidAck, {packet.id, 0}, out);
  }
  switch (packet.id) {
    case kPidProductRequest: {
      // A new session: whatever was going on is forgotten.
      queue_.clear();
      awaitingAck_ = false;
      std::vector<uint8_t> data(4);
      WriteU16Le(&data[0], config_.productId);
      WriteU16Le(&data[2], config_.softwareVersion);
      data.insert(data.end(), config_.description.begin(), config_.description.end());
      data.push_back(0);
      Queue(kPidProductData, data);
      for (int i = 0; i < config_.extraProductPackets; ++i) Queue(kPidProductData, data);
      if (config_.sendCapabilities) {
        std::vector<uint8_t> entries;
        for (const auto& [tag, number] : config_.capabilities) {
          entries.push_back(static_cast<uint8_t>(tag));
          entries.push_back(static_cast<uint8_t>(number));
          entries.push_back(static_cast<uint8_t>(number >> 8));
        }
        Queue(kPidProtocolArray, entries);
      }
      break;
    }
    case kPidCommand:
      HandleCommand(devices::ReadU16Le(&packet.data[0]));
      break;
    case kPidRecords:
      uploads_.announcedCounts.push_back(devices::ReadU16Le(&packet.data[0]));
      pendingLines_.clear();
      pendingLines_.push_back("RECORDS " + std::to_string(uploads_.announcedCounts.back()));
      break;
    case kPidWaypoint: {
      core::Waypoint w;
      if (DecodeWaypoint(config_.waypointType, packet.data.data(), packet.size, w) == 0) {
        uploads_.waypoints.push_back(w);
        pendingLines_.push_back("WPT " + std::string(w.id) + "," + Semicircles(w) + "," + std::to_string(w.altitude) +
                                "," + w.comment);
      } else {
        pendingLines_.push_back("BADWPT size " + std::to_string(packet.size));
      }
      break;
    }
    case kPidTrackPoint: {
      core::Waypoint w;
      w.latitude = devices::ReadI32Le(&packet.data[0]);
      w.longitude = devices::ReadI32Le(&packet.data[4]);
      uploads_.trackPoints.push_back(w);
      pendingLines_.push_back("TRK " + Semicircles(w) + " size " + std::to_string(packet.size));
      break;
    }
    case kPidTrackHeader: {
      const char* name = reinterpret_cast<const char*>(&packet.data[2]);
      uploads_.trackHeaders.emplace_back(name, strnlen(name, packet.size > 2 ? packet.size - 2u : 0u));
      pendingLines_.push_back("TRKHDR " + uploads_.trackHeaders.back());
      break;
    }
    case kPidTransferComplete:
      ++uploads_.completedTransfers;
      pendingLines_.push_back("COMPLETE " + std::to_string(devices::ReadU16Le(&packet.data[0])));
      if (!recordFile.empty()) {
        std::ofstream file(recordFile, std::ios::app);
        for (const auto& line : pendingLines_) file << line << '\n';
      }
      pendingLines_.clear();
      break;
    default:
      break;
  }
  SendNext(out);
}

void GarminDevice::HandleCommand(uint16_t command) {
  commands_.push_back(command);
  switch (command) {
    case kCommandAbortTransfer:
      queue_.clear();
      awaitingAck_ = false;
      break;
    case kCommandTransferTrack:
      queue_.clear();
      awaitingAck_ = false;
      QueueTrack();
      break;
    case kCommandTransferWaypoints:
      queue_.clear();
      awaitingAck_ = false;
      QueueWaypoints();
      break;
    case kCommandTransferTime: {
      std::vector<uint8_t> data(8);
      data[0] = static_cast<uint8_t>(config_.clock.month);
      data[1] = static_cast<uint8_t>(config_.clock.day);
      WriteU16Le(&data[2], config_.clock.year);
      WriteU16Le(&data[4], config_.clock.hour);
      data[6] = static_cast<uint8_t>(config_.clock.minute);
      data[7] = static_cast<uint8_t>(config_.clock.second);
      Queue(kPidDateTime, data);
      break;
    }
    case kCommandTransferPosition: {
      std::vector<uint8_t> data(16);
      const core::TrackPoint* here = nullptr;
      for (const auto& r : track) {
        if (!r.header) here = &r.point;
      }
      PutDouble(&data[0], here ? core::SemicircleToRadians(here->latitude) : 0.0);
      PutDouble(&data[8], here ? core::SemicircleToRadians(here->longitude) : 0.0);
      Queue(kPidPosition, data);
      break;
    }
    default:
      break;  // PVT on/off, power off: acknowledged, nothing else
  }
}

void GarminDevice::QueueTrack() {
  // A300 units have no track headers: theirs are left out.
  const bool headers = config_.trackTransfer != 300;
  const uint16_t headerType = 310;
  size_t count = 0;
  for (const auto& r : track) count += (!r.header || headers) ? 1 : 0;
  Queue(kPidRecords, Word(static_cast<uint16_t>(count)));
  uint16_t index = 0;
  for (const auto& r : track) {
    if (r.header && !headers) continue;
    if (r.header) {
      Queue(kPidTrackHeader, EncodeHeaderRecord(headerType, r, index++));
    } else {
      Queue(kPidTrackPoint, EncodeTrackRecord(config_.trackPointType, r));
    }
  }
  Queue(kPidTransferComplete, Word(kCommandTransferTrack));
}

void GarminDevice::QueueWaypoints() {
  Queue(kPidRecords, Word(static_cast<uint16_t>(waypoints.size())));
  uint8_t data[kMaxPacketData];
  for (const auto& w : waypoints) {
    const size_t size = EncodeWaypoint(config_.waypointType, w, data);
    // Units without an altitude for a waypoint send 1.0e25.
    if (config_.waypointType >= 108 && config_.waypointType <= 110 && w.altitude == 0) WriteF32Le(data + 32, kNoValue);
    Queue(kPidWaypoint, std::vector<uint8_t>(data, data + size));
  }
  Queue(kPidTransferComplete, Word(kCommandTransferWaypoints));
}

}  // namespace tarnvik::sim::garmin
