#include "sim/garmin/garmin_device.h"

#include <fstream>

namespace tarnvik::sim::garmin {
namespace {

std::vector<uint8_t> Word(uint16_t value) {
  std::vector<uint8_t> data(2);
  PutU16(data, 0, value);
  return data;
}

std::string Semicircles(const core::Waypoint& w) {
  return std::to_string(w.latitude) + "," + std::to_string(w.longitude);
}

std::string Id(uint8_t id) { return std::to_string(id); }

// The types a unit works with, as its own array lists them: the 'D' entries after each 'A'.
struct UnitTypes {
  uint16_t waypoint = 0;
  uint16_t trackTransfer = 0;
  uint16_t trackHeader = 0;
  uint16_t trackPoint = 0;
};

UnitTypes TypesOf(const std::vector<std::pair<char, uint16_t>>& capabilities) {
  UnitTypes types;
  uint16_t protocol = 0;
  for (const auto& [tag, number] : capabilities) {
    if (tag == 'A') {
      protocol = number;
      if (number >= 300 && number <= 302) types.trackTransfer = number;
    } else if (tag == 'D' && protocol == 100 && types.waypoint == 0) {
      types.waypoint = number;
    } else if (tag == 'D' && protocol >= 300 && protocol <= 302) {
      if (number >= 310 && number <= 312) types.trackHeader = number;
      if (number >= 300 && number <= 304) types.trackPoint = number;
    }
  }
  return types;
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
  const UnitTypes types = TypesOf(config_.capabilities);
  if (config_.waypointType == 0) config_.waypointType = types.waypoint ? types.waypoint : 108;
  if (config_.trackTransfer == 0) config_.trackTransfer = types.trackTransfer ? types.trackTransfer : 301;
  if (config_.trackPointType == 0) config_.trackPointType = types.trackPoint ? types.trackPoint : 301;
  if (config_.trackHeaderType == 0) config_.trackHeaderType = types.trackHeader ? types.trackHeader : 310;
}

void GarminDevice::Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < count; ++i) {
    switch (reader_.Feed(bytes[i])) {
      case UnitFrameReader::Result::None:
        break;
      case UnitFrameReader::Result::Packet:
        HandlePacket(reader_.packet(), out);
        break;
      case UnitFrameReader::Result::BadChecksum:
        // The unit asks for the packet again.
        ++naksSent_;
        Emit({pid::kNak, {reader_.packet().id, 0}}, out);
        break;
      case UnitFrameReader::Result::BadFrame:
        ProtocolError("frame of packet " + Id(reader_.packet().id) + " whose size does not match its length");
        break;
    }
  }
}

void GarminDevice::HostClosed() {
  reader_.Reset();
  Forget();
  // The host's last acknowledgement can still be on its way: a pseudo-terminal reports the
  // host gone before the bytes it wrote last are read.
  hostJustClosed_ = true;
}

void GarminDevice::Forget() {
  queue_.clear();
  awaitingAck_ = false;
}

bool GarminDevice::Emit(const UnitPacket& packet, std::vector<uint8_t>& out) {
  ++sentPackets_;
  if (config_.silentAfterPackets > 0 && sentPackets_ > config_.silentAfterPackets) return true;
  if (config_.dropPacket == sentPackets_) return false;
  const std::vector<uint8_t> framed = FrameUnitPacket(packet, config_.badChecksumAtPacket == sentPackets_ ? 1 : 0);
  out.insert(out.end(), framed.begin(), framed.end());
  return true;
}

void GarminDevice::SendNext(std::vector<uint8_t>& out) {
  while (!awaitingAck_ && !queue_.empty()) {
    last_ = std::move(queue_.front());
    queue_.pop_front();
    // A dropped packet is gone; the unit carries on with the next one.
    if (Emit(last_, out)) awaitingAck_ = true;
  }
}

void GarminDevice::HandleAcknowledgement(const UnitPacket& packet, std::vector<uint8_t>& out) {
  const bool whole = packet.data.size() == 2 && packet.data[1] == 0;
  const int acknowledged = packet.data.empty() ? -1 : packet.data[0];
  if (!awaitingAck_) {
    if (hostJustClosed_) return;
    ProtocolError("acknowledgement of " + std::to_string(acknowledged) + " while no packet waits for one");
    return;
  }
  if (!whole || acknowledged != last_.id) {
    // Not an acknowledgement of what was sent: the unit keeps waiting for one.
    ProtocolError("bad acknowledgement of packet " + Id(last_.id) + ": " + std::to_string(packet.data.size()) +
                  " bytes, first " + std::to_string(acknowledged));
    return;
  }
  awaitingAck_ = false;
  SendNext(out);
}

void GarminDevice::HandlePacket(const UnitPacket& packet, std::vector<uint8_t>& out) {
  if (packet.id == pid::kAck) {
    HandleAcknowledgement(packet, out);
    return;
  }
  if (packet.id == pid::kNak) {
    if (awaitingAck_) {
      Emit(last_, out);
    } else {
      ProtocolError("NAK while no packet waits for an acknowledgement");
    }
    return;
  }
  hostJustClosed_ = false;
  ++hostPacketCount_;
  hostPackets_.push_back(packet);
  const bool direct = packet.id == pid::kProductRequest && config_.answerProductRequestDirectly;
  if (hostPacketCount_ != config_.noAckForHostPacket && !direct) Emit({pid::kAck, {packet.id, 0}}, out);
  switch (packet.id) {
    case pid::kProductRequest: {
      if (!packet.data.empty()) ProtocolError("product request with data");
      // A new session: whatever was going on is forgotten.
      Forget();
      std::vector<uint8_t> data(4);
      PutU16(data, 0, config_.productId);
      PutU16(data, 2, config_.softwareVersion);
      data.insert(data.end(), config_.description.begin(), config_.description.end());
      data.push_back(0);
      Queue(pid::kProductData, data);
      for (int i = 0; i < config_.extraProductPackets; ++i) Queue(pid::kProductData, data);
      if (config_.sendCapabilities) {
        std::vector<uint8_t> entries;
        for (const auto& [tag, number] : config_.capabilities) {
          entries.push_back(static_cast<uint8_t>(tag));
          entries.push_back(static_cast<uint8_t>(number));
          entries.push_back(static_cast<uint8_t>(number >> 8));
        }
        Queue(pid::kProtocolArray, entries);
      }
      break;
    }
    case pid::kCommand:
      if (packet.data.size() != 2) {
        ProtocolError("command packet of " + std::to_string(packet.data.size()) + " bytes");
        break;
      }
      HandleCommand(GetU16(packet.data, 0));
      break;
    case pid::kRecords:
    case pid::kWaypoint:
    case pid::kTrackPoint:
    case pid::kTrackHeader:
    case pid::kTransferComplete:
      HandleUpload(packet);
      break;
    default:
      break;  // acknowledged, nothing else
  }
  SendNext(out);
}

void GarminDevice::HandleUpload(const UnitPacket& packet) {
  std::string problem;
  switch (packet.id) {
    case pid::kRecords: {
      if (packet.data.size() != 2) ProtocolError("records packet of " + std::to_string(packet.data.size()) + " bytes");
      const int count = packet.data.size() >= 2 ? GetU16(packet.data, 0) : 0;
      uploads_.announcedCounts.push_back(count);
      pendingLines_.clear();
      pendingLines_.push_back("RECORDS " + std::to_string(count));
      return;
    }
    case pid::kWaypoint: {
      core::Waypoint w;
      if (ReadUploadedWaypoint(config_.waypointType, packet.data, w, problem)) {
        uploads_.waypoints.push_back(w);
        pendingLines_.push_back("WPT " + std::string(w.id) + "," + Semicircles(w) + "," + std::to_string(w.altitude) +
                                "," + w.comment);
      } else {
        ProtocolError(problem);
        pendingLines_.push_back("BADWPT size " + std::to_string(packet.data.size()));
      }
      return;
    }
    case pid::kTrackPoint: {
      core::Waypoint w;
      if (!ReadUploadedTrackPoint(config_.trackPointType, packet.data, w, problem)) ProtocolError(problem);
      uploads_.trackPoints.push_back(w);
      pendingLines_.push_back("TRK " + Semicircles(w) + " size " + std::to_string(packet.data.size()));
      return;
    }
    case pid::kTrackHeader: {
      std::string name;
      if (config_.trackTransfer == 300) {
        ProtocolError("track header sent to an A300 unit");
      } else if (!ReadUploadedTrackHeader(config_.trackHeaderType, packet.data, name, problem)) {
        ProtocolError(problem);
      }
      uploads_.trackHeaders.push_back(name);
      pendingLines_.push_back("TRKHDR " + name);
      return;
    }
    default: {  // transfer complete
      if (packet.data.size() != 2) ProtocolError("transfer complete of " + std::to_string(packet.data.size()) + " bytes");
      // What came must add up to what the records packet announced.
      const int came = static_cast<int>(pendingLines_.size()) - 1;
      if (!pendingLines_.empty() && !uploads_.announcedCounts.empty() && came != uploads_.announcedCounts.back()) {
        ProtocolError(std::to_string(uploads_.announcedCounts.back()) + " records announced, " + std::to_string(came) +
                      " sent");
      }
      ++uploads_.completedTransfers;
      pendingLines_.push_back("COMPLETE " + std::to_string(packet.data.size() >= 2 ? GetU16(packet.data, 0) : 0));
      if (!recordFile.empty()) {
        std::ofstream file(recordFile, std::ios::app);
        for (const auto& line : pendingLines_) file << line << '\n';
      }
      pendingLines_.clear();
      return;
    }
  }
}

void GarminDevice::HandleCommand(uint16_t number) {
  commands_.push_back(number);
  switch (number) {
    case command::kAbortTransfer:
      Forget();
      break;
    case command::kTransferTrack:
      Forget();
      QueueTrack();
      break;
    case command::kTransferWaypoints:
      Forget();
      QueueWaypoints();
      break;
    case command::kTransferTime: {
      // D600: month, day, year, hour, minute, second.
      std::vector<uint8_t> data(8);
      data[0] = static_cast<uint8_t>(config_.clock.month);
      data[1] = static_cast<uint8_t>(config_.clock.day);
      PutU16(data, 2, config_.clock.year);
      PutU16(data, 4, config_.clock.hour);
      data[6] = static_cast<uint8_t>(config_.clock.minute);
      data[7] = static_cast<uint8_t>(config_.clock.second);
      Queue(pid::kDateTime, data);
      break;
    }
    case command::kTransferPosition: {
      // D700: latitude and longitude in radians, where the log ends.
      std::vector<uint8_t> data(16);
      const core::TrackPoint* here = nullptr;
      for (const auto& r : track) {
        if (!r.header) here = &r.point;
      }
      PutDouble(data, 0, here ? core::SemicircleToRadians(here->latitude) : 0.0);
      PutDouble(data, 8, here ? core::SemicircleToRadians(here->longitude) : 0.0);
      Queue(pid::kPosition, data);
      break;
    }
    default:
      break;  // PVT on/off, power off: acknowledged, nothing else
  }
}

void GarminDevice::QueueTrack() {
  // A300 units have no track headers: theirs are left out.
  const bool headers = config_.trackTransfer != 300;
  size_t count = 0;
  for (const auto& r : track) count += (!r.header || headers) ? 1 : 0;
  Queue(pid::kRecords, Word(static_cast<uint16_t>(count)));
  uint16_t index = 0;
  for (const auto& r : track) {
    if (r.header && !headers) continue;
    if (r.header) {
      Queue(pid::kTrackHeader, UnitTrackHeader(config_.trackHeaderType, r, index++));
    } else {
      Queue(pid::kTrackPoint, UnitTrackPoint(config_.trackPointType, r));
    }
  }
  Queue(pid::kTransferComplete, Word(command::kTransferTrack));
}

void GarminDevice::QueueWaypoints() {
  Queue(pid::kRecords, Word(static_cast<uint16_t>(waypoints.size())));
  for (const auto& w : waypoints) Queue(pid::kWaypoint, UnitWaypoint(config_.waypointType, w));
  Queue(pid::kTransferComplete, Word(command::kTransferWaypoints));
}

}  // namespace tarnvik::sim::garmin
