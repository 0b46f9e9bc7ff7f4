#include "devices/garmin/garmin_product.h"

#include <algorithm>
#include <string>

#include "devices/common/byte_order.h"

namespace tarnvik::devices::garmin {
namespace {

bool IsWaypointType(uint16_t d) {
  return (d >= 100 && d <= 104) || (d >= 107 && d <= 110) || (d >= 150 && d <= 152) || d == 154 || d == 155;
}

int Fail(GarminSession& session, const std::string& text) {
  session.link.operation().Fail(kProductDataCaption, text);
  return -1;
}

// The protocol the 'D' entries that follow belong to.
enum class Owner { None, Waypoint, Route, Track, Proximity, Almanac };

}  // namespace

const GarminCapabilities* FindProductTableRow(uint16_t productId, uint16_t softwareVersion) {
  for (const GarminCapabilities& row : GarminProductTable()) {
    if (row.productId == 0) break;
    // In a table row the two version fields hold the range the row applies to.
    if (row.productId == productId && softwareVersion >= row.softwareVersion &&
        softwareVersion <= row.softwareVersionHigh) {
      return &row;
    }
  }
  return nullptr;
}

int ParseCapabilities(const uint8_t* entries, size_t count, GarminCapabilities& caps) {
  Owner owner = Owner::None;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t tag = entries[3 * i];
    const uint16_t number = ReadU16Le(entries + 3 * i + 1);
    switch (tag) {
      case 'P':
        caps.physical = number;
        owner = Owner::None;
        break;
      case 'L':
        caps.link = number;
        owner = Owner::None;
        break;
      case 'T':
        caps.transmission = number;
        owner = Owner::None;
        break;
      case 'A':
        owner = Owner::None;
        if (number == 10 || number == 11) {
          caps.deviceCommand = number;
        } else if (number == 100) {
          caps.waypointTransfer = number;
          owner = Owner::Waypoint;
        } else if (number == 200 || number == 201) {
          caps.routeTransfer = number;
          owner = Owner::Route;
        } else if (number >= 300 && number <= 302) {
          caps.trackTransfer = number;
          owner = Owner::Track;
        } else if (number == 400) {
          caps.proximityTransfer = number;
          owner = Owner::Proximity;
        } else if (number == 500) {
          caps.almanacTransfer = number;
          owner = Owner::Almanac;
        }
        break;
      case 'D':
        switch (owner) {
          case Owner::Waypoint:
            if (IsWaypointType(number)) caps.waypointType = number;
            break;
          case Owner::Route:
            if (IsWaypointType(number)) caps.routeWaypointType = number;
            else if (number >= 200 && number <= 202) caps.routeHeaderType = number;
            else if (number == 210) caps.routeLinkType = number;
            break;
          case Owner::Track:
            if (number >= 300 && number <= 304) caps.trackPointType = number;
            else if (number >= 310 && number <= 312) caps.trackHeaderType = number;
            break;
          case Owner::Proximity:
            if (number == 400 || number == 403 || number == 450) caps.proximityType = number;
            break;
          case Owner::Almanac:
            if (number == 500 || number == 501 || number == 550 || number == 551) caps.almanacType = number;
            break;
          case Owner::None:
            break;
        }
        break;
      default:
        return -1;
    }
  }
  return 0;
}

int ParseCapabilities(GarminSession& session, size_t count) {
  count = std::min<size_t>(count, session.received.size / 3);
  return ParseCapabilities(session.received.data.data(), count, session.capabilities);
}

const char* CapabilityProblem(const GarminCapabilities& caps) {
  if (caps.link != 1) return "E180 Unsupported link protocol";
  if (caps.deviceCommand != 10) return "E181 Unsupported device command protocol";
  if (caps.waypointTransfer != 100) return "E182 Unsupported waypoint transfer protocol";
  if (!IsWaypointType(caps.waypointType)) return "E183 Unsupported waypoint data type";
  if (caps.trackTransfer < 300 || caps.trackTransfer > 302) return "E184 Unsupported track log transfer protocol";
  if (caps.trackPointType < 300 || caps.trackPointType > 304) return "E185 Unsupported track log data type";
  return nullptr;
}

int CheckCapabilities(GarminSession& session) {
  if (const char* problem = CapabilityProblem(session.capabilities)) return Fail(session, problem);
  return 0;
}

int ReadProductData(GarminSession& session) {
  core::Operation& operation = session.link.operation();
  operation.Status("Requesting product information");
  session.parser.Reset();
  session.link.DiscardReceived();
  session.productDescription.clear();

  if (SendGarminPacket(session, kPidProductRequest, nullptr, 0) != 0) return Fail(session, GarminWriteErrorText(session, 100));
  int got = ReceiveGarminPacket(session);
  if (got == access::kReadTimeout) return Fail(session, "E100 Timeout while waiting for ack. packet");
  if (got != access::kReadComplete) return Fail(session, "E100 COM port error while waiting for ack. packet");

  const GarminPacket& packet = session.received;
  // Some units answer the request with the product data directly, without acknowledging it.
  if (!(packet.id == kPidProductData && packet.size >= 5)) {
    if (!(packet.id == kPidAck && packet.size >= 2 && packet.data[0] == kPidProductRequest && packet.data[1] == 0)) {
      return Fail(session, "E101 Bad ack. packet type or format");
    }
    got = ReceiveGarminPacket(session);
    if (got == access::kReadTimeout) return Fail(session, "E102 Timeout while waiting for data packet");
    if (got != access::kReadComplete) return Fail(session, "E102 COM port error while waiting for data packet");
    if (!(packet.id == kPidProductData && packet.size >= 5)) {
      return Fail(session, "E103 Bad data packet type or format");
    }
  }

  const uint16_t productId = ReadU16Le(&packet.data[0]);
  const uint16_t softwareVersion = ReadU16Le(&packet.data[2]);
  for (size_t i = 4; i < packet.size && packet.data[i] != 0 &&
                     session.productDescription.size() < kMaxProductDescription; ++i) {
    session.productDescription.push_back(static_cast<char>(packet.data[i]));
  }
  operation.Status("Product data read");
  operation.Product(session.productDescription);

  session.capabilities = GarminCapabilities{};
  if (SendAck(session, kPidProductData) != 0) return Fail(session, GarminWriteErrorText(session, 104));

  for (;;) {
    got = ReceiveGarminPacket(session);
    if (got == access::kReadPortError) {
      return Fail(session, "E104 COM port error while waiting for protocol capability packet");
    }
    if (got == access::kReadTimeout) {
      // No capability array: an older unit, known by its product ID and version.
      const GarminCapabilities* row = FindProductTableRow(productId, softwareVersion);
      if (row == nullptr) return Fail(session, "E105 GPS product ID not supported");
      session.capabilities = *row;
      break;
    }
    if (packet.id != kPidProtocolArray) {
      // Further product data packets (some units send several) are acknowledged and skipped.
      if (SendAck(session, packet.id) != 0) return Fail(session, GarminWriteErrorText(session, 104));
      if (session.link.Cancelled()) return -1;
      continue;
    }
    session.capabilities.productId = productId;
    session.capabilities.softwareVersion = softwareVersion;
    session.capabilities.softwareVersionHigh = softwareVersion;
    if (packet.size % 3 != 0) return Fail(session, "E106 Bad protocol data packet");
    if (ParseCapabilities(session, packet.size / 3) != 0) return Fail(session, "E107 Bad protocol tag character");
    if (SendAck(session, kPidProtocolArray) != 0) return Fail(session, GarminWriteErrorText(session, 104));
    break;
  }
  return CheckCapabilities(session);
}

}  // namespace tarnvik::devices::garmin
