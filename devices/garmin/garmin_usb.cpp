#include "devices/garmin/garmin_usb.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "core/competition_id.h"
#include "devices/common/byte_order.h"
#include "devices/garmin/garmin_product.h"
#include "devices/garmin/garmin_records.h"

namespace tarnvik::devices::garmin {
namespace {

using core::FormatCounts;

// A unit never sends a packet of more than a few hundred bytes; a pipe that keeps delivering
// whole pieces is cut off after this many (what was kept is the packet) so no reader loops
// forever on a babbling device.
constexpr int kMaxInterruptPieces = 64;
constexpr int kMaxBulkPieces = 16;

// The capture line of a failed pipe operation: the label and the stage, at most `last`.
void CaptureStage(GarminUsbSession& s, const char* label, int result, int last) {
  const int stage = std::clamp(-result, 1, last);
  s.capture.CaptureText(std::string(label) + " " + std::to_string(stage) + "\r\n");
}

// Appends a piece to the packet area; what does not fit is dropped (the 267-byte cut).
void Keep(GarminUsbSession& s, const uint8_t* bytes, size_t count) {
  const size_t room = kUsbPacketArea - s.packetLength;
  const size_t kept = std::min(room, count);
  if (kept > 0) std::memcpy(s.packet.data() + s.packetLength, bytes, kept);
  s.packetLength += kept;
}

void StartPacket(GarminUsbSession& s) {
  s.packet.fill(0);
  s.packetLength = 0;
}

}  // namespace

uint16_t GarminUsbSession::PacketId() const { return ReadU16Le(&packet[4]); }
uint32_t GarminUsbSession::HeaderDataSize() const { return ReadU32Le(&packet[8]); }
size_t GarminUsbSession::DataSize() const {
  if (packetLength < kUsbHeaderSize) return 0;
  return std::min<size_t>(HeaderDataSize(), packetLength - kUsbHeaderSize);
}

int ReadApiVersion(GarminUsbSession& s) {
  uint32_t version = 0;
  const int r = s.pipe.ReadApiVersion(version);
  if (r < 0) {
    CaptureStage(s, "API read error", r, 4);
    return -1;
  }
  s.apiVersion = version;
  return 0;
}

int ReadInterruptPipe(GarminUsbSession& s) {
  StartPacket(s);
  uint8_t piece[kUsbInterruptPiece];
  for (int pieces = 0; pieces < kMaxInterruptPieces; ++pieces) {
    const int got = s.pipe.ReadInterrupt(piece, sizeof piece, kUsbPipeTimeoutMs);
    if (got < 0) {
      CaptureStage(s, "INT pipe error", got, 3);
      return -1;
    }
    const size_t n = std::min<size_t>(static_cast<size_t>(got), sizeof piece);
    s.capture.CaptureText("Interrupt IN pipe:\r\n");
    s.capture.CaptureHexDump(piece, n);
    Keep(s, piece, n);
    if (n != kUsbInterruptPiece) break;
  }
  return 0;
}

int WriteBulkPipe(GarminUsbSession& s, size_t dataSize) {
  dataSize = std::min(dataSize, kMaxPacketData);
  WriteU32Le(&s.transmit[8], static_cast<uint32_t>(dataSize));
  const size_t total = kUsbHeaderSize + dataSize;
  s.capture.CaptureText("Bulk OUT pipe:\r\n");
  s.capture.CaptureHexDump(s.transmit.data(), total);
  const int written = s.pipe.WriteBulk(s.transmit.data(), total, kUsbPipeTimeoutMs);
  if (written < 0) {
    CaptureStage(s, "Bulk OUT error", written, 4);
    return -1;
  }
  if (static_cast<size_t>(written) < total) {
    CaptureStage(s, "Bulk OUT error", -access::kUsbStageShort, 4);
    return -1;
  }
  return 0;
}

int ReadBulkPipe(GarminUsbSession& s) {
  StartPacket(s);
  std::vector<uint8_t> piece(kUsbBulkPiece);
  size_t total = 0;
  int retries = 0;
  for (int pieces = 0; pieces < kMaxBulkPieces;) {
    const int got = s.pipe.ReadBulk(piece.data(), piece.size(), kUsbPipeTimeoutMs);
    if (got < 0) {
      CaptureStage(s, "Bulk IN error", got, 4);
      return -1;
    }
    const size_t n = std::min<size_t>(static_cast<size_t>(got), piece.size());
    if (n == 0 && total == 0) {
      // The unit had nothing yet: wait and ask again, a bounded number of times.
      if (++retries > kUsbEmptyBulkRetries) {
        s.capture.CaptureText("Bulk IN error 5\r\n");
        return -1;
      }
      s.clock.SleepMs(kUsbEmptyBulkWaitMs);
      continue;
    }
    s.capture.CaptureText("Bulk IN pipe:\r\n");
    s.capture.CaptureHexDump(piece.data(), n);
    Keep(s, piece.data(), n);
    total += n;
    ++pieces;
    if (n != kUsbBulkPiece) break;
  }
  return 0;
}

int SendUsbPacket(GarminUsbSession& s, uint8_t type, uint16_t id, const uint8_t* data, size_t size) {
  size = std::min(size, kMaxPacketData);
  s.transmit.fill(0);
  s.transmit[0] = type;
  WriteU16Le(&s.transmit[4], id);
  if (size > 0) std::memcpy(s.transmit.data() + kUsbHeaderSize, data, size);
  return WriteBulkPipe(s, size);
}

int ReadUsbPacket(GarminUsbSession& s) {
  if (!s.bulkFlag) {
    if (ReadInterruptPipe(s) != 0) return kUsbInterruptReadFailed;
    // Less than a header is no packet: its type and size would be the zeroed area's.
    if (s.packetLength < kUsbHeaderSize) return kUsbInterruptReadFailed;
    if (s.PacketType() == kUsbProtocolLayer) {
      if (s.PacketId() != kUsbPidDataAvailable || s.HeaderDataSize() != 0) return kUsbNotDataAvailable;
      if (ReadBulkPipe(s) != 0) return kUsbFirstBulkReadFailed;
      if (s.PacketType() != kUsbApplicationLayer) return kUsbFirstBulkNotApplication;
      if (s.packetLength < kUsbHeaderSize) return kUsbFirstBulkTooShort;
      s.bulkFlag = true;
    } else if (s.PacketType() != kUsbApplicationLayer) {
      return kUsbInterruptNotApplication;
    }
    return 0;
  }
  if (ReadBulkPipe(s) != 0) return kUsbBulkReadFailed;
  if (s.PacketType() != kUsbApplicationLayer) return kUsbBulkNotApplication;
  if (s.packetLength < kUsbHeaderSize) return kUsbBulkTooShort;
  return 0;
}

int StartUsbSession(GarminUsbSession& s) {
  if (SendUsbPacket(s, kUsbProtocolLayer, kUsbPidStartSession, nullptr, 0) != 0) return kUsbSessionWriteFailed;
  if (ReadInterruptPipe(s) != 0) return kUsbSessionReadFailed;
  if (s.packetLength != 16 || s.PacketType() != kUsbProtocolLayer || s.PacketId() != kUsbPidSessionStarted) {
    return kUsbSessionBadAnswer;
  }
  s.unitId = ReadU32Le(s.Data());
  s.capture.CaptureText("Unit ID = ");
  s.capture.CaptureHexWord(s.unitId);
  s.capture.CaptureText("\r\n");
  return 0;
}

namespace {

int Fail(GarminUsbSession& s, const char* caption, const std::string& text) {
  s.operation.Fail(caption, text);
  return -1;
}

std::string PacketReadError(int base, int result) { return FormatCounts("E% Packet read error", base - result); }

// The session start of a transfer under its caption, with its three codes (base, base + 1,
// base + 2). The bulk flag starts again at 0.
int StartTransferSession(GarminUsbSession& s, const char* caption, int base) {
  s.bulkFlag = false;
  switch (StartUsbSession(s)) {
    case 0:
      return 0;
    case kUsbSessionWriteFailed:
      return Fail(s, caption, FormatCounts("E% Bulk OUT error", base));
    case kUsbSessionReadFailed:
      return Fail(s, caption, FormatCounts("E% Interrupt IN error", base + 1));
    default:
      return Fail(s, caption, FormatCounts("E% Interrupt IN data error", base + 2));
  }
}

int SendWord(GarminUsbSession& s, uint16_t id, uint16_t value) {
  uint8_t data[2];
  WriteU16Le(data, value);
  return SendUsbPacket(s, kUsbApplicationLayer, id, data, 2);
}

void Note(GarminUsbSession& s, const std::string& text) {
  s.operation.Status(text);
  s.capture.CaptureText(text + "\r\n");
}

// A user abort during a download: the unit is put back to the start of a session, the status
// says so, and the transfer fails without a message of its own.
int Aborted(GarminUsbSession& s) {
  SendUsbPacket(s, kUsbProtocolLayer, kUsbPidStartSession, nullptr, 0);
  s.operation.Status("Transfer aborted");
  return -1;
}

std::string MemoryErrorText() { return std::strerror(ENOMEM); }

// A packet read of a download that failed: after an abort the pipe was cut short on purpose
// (the abort's own path), otherwise the step's "Packet read error".
int ReadFailed(GarminUsbSession& s, const char* caption, int base, int result) {
  if (s.operation.IsCancelled()) return Aborted(s);
  return Fail(s, caption, PacketReadError(base, result));
}

}  // namespace

int ReadUsbProductData(GarminUsbSession& s) {
  const char* caption = kProductDataCaption;
  s.productDescription.clear();
  s.capabilities = GarminCapabilities{};
  s.bulkFlag = false;
  if (ReadApiVersion(s) != 0) return Fail(s, caption, "E100 Error reading API version");
  s.capture.CaptureText("API version = ");
  s.capture.CaptureHexWord(s.apiVersion);
  s.capture.CaptureText("\r\n");

  switch (StartUsbSession(s)) {
    case 0:
      break;
    case kUsbSessionWriteFailed:
      return Fail(s, caption, "E101 Bulk OUT error");
    case kUsbSessionReadFailed:
      return Fail(s, caption, "E102 Interrupt IN error");
    default:
      return Fail(s, caption, "E103 Interrupt IN data error");
  }

  Note(s, "Requesting product information");
  if (SendUsbPacket(s, kUsbApplicationLayer, kPidProductRequest, nullptr, 0) != 0) {
    return Fail(s, caption, "E104 Bulk OUT error");
  }
  int r = ReadUsbPacket(s);
  if (r != 0) return Fail(s, caption, PacketReadError(104, r));
  if (s.PacketId() != kPidProductData || s.DataSize() < 5) return Fail(s, caption, "E114 Bad product data packet");
  const uint8_t* data = s.Data();
  const size_t size = s.DataSize();
  const uint16_t productId = ReadU16Le(&data[0]);
  const uint16_t softwareVersion = ReadU16Le(&data[2]);
  for (size_t i = 4; i < size && data[i] != 0 && s.productDescription.size() < kMaxProductDescription; ++i) {
    s.productDescription.push_back(static_cast<char>(data[i]));
  }
  s.operation.Status("Product data read");
  s.operation.Product(s.productDescription);

  for (;;) {
    if (s.operation.IsCancelled()) return -1;
    r = ReadUsbPacket(s);
    if (r != 0) return Fail(s, caption, PacketReadError(114, r));
    if (s.PacketId() == kPidExtendedProductData) continue;
    if (s.PacketId() != kPidProtocolArray) return Fail(s, caption, "E124 Bad protocol array data packet");
    if (s.DataSize() % 3 != 0) return Fail(s, caption, "E125 Bad protocol data packet");
    GarminCapabilities caps;
    caps.productId = productId;
    caps.softwareVersion = softwareVersion;
    caps.softwareVersionHigh = softwareVersion;
    if (ParseCapabilities(s.Data(), s.DataSize() / 3, caps) != 0) {
      return Fail(s, caption, "E126 Bad protocol tag character");
    }
    s.capabilities = caps;
    break;
  }
  if (const char* problem = CapabilityProblem(s.capabilities)) return Fail(s, caption, problem);
  return 0;
}

int DownloadGarminUsbWaypoints(GarminUsbSession& s, std::vector<core::Waypoint>& out, IdModeOptions* idMode) {
  const char* caption = kUsbReadWaypointsCaption;
  out.clear();
  if (StartTransferSession(s, caption, 300) != 0) return -1;
  Note(s, "Requesting waypoint download");
  if (SendWord(s, kPidCommand, kCommandTransferWaypoints) != 0) return Fail(s, caption, "E303 Bulk OUT error");
  int r = ReadUsbPacket(s);
  if (r != 0) return ReadFailed(s, caption, 303, r);
  if (s.PacketId() != kPidRecords || s.DataSize() < 2) return Fail(s, caption, "E313 Bad record count packet");
  const int count = ReadU16Le(s.Data());
  if (count > 0 && idMode == nullptr) {
    try {
      out.reserve(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
      return Fail(s, "E314 Track log memory allocation", MemoryErrorText());
    }
  }
  s.operation.Status("Receiving waypoints");
  const uint16_t type = s.capabilities.waypointType;
  for (int i = 0; i < count; ++i) {
    r = ReadUsbPacket(s);
    if (r != 0) return ReadFailed(s, caption, 314, r);
    if (s.operation.IsCancelled()) return Aborted(s);
    core::Waypoint waypoint;
    if (s.PacketId() != kPidWaypoint) return Fail(s, caption, "E324 Bad waypoint data packet");
    const int converted = DecodeWaypoint(type, s.Data(), s.DataSize(), waypoint);
    if (converted == kWaypointTooShort) return Fail(s, caption, "E324 Bad waypoint data packet");
    if (converted == kWaypointBadMarker) return Fail(s, caption, "E325 Bad waypoint data packet");
    if (idMode != nullptr) {
      NoteIdWaypoint(waypoint, *idMode, s.operation);
    } else {
      out.push_back(waypoint);
    }
  }
  r = ReadUsbPacket(s);
  if (r != 0) return ReadFailed(s, caption, 325, r);
  if (s.PacketId() != kPidTransferComplete || s.DataSize() < 2) {
    return Fail(s, caption, "E335 Bad transfer complete packet type or format");
  }
  if (idMode == nullptr) s.operation.Status(FormatCounts("% waypoints read", static_cast<int>(out.size())));
  return 0;
}

int DownloadGarminUsbTrack(GarminUsbSession& s, std::vector<core::TrackPoint>& out) {
  const char* caption = kUsbReadTrackCaption;
  out.clear();
  if (StartTransferSession(s, caption, 200) != 0) return -1;
  Note(s, "Requesting track log download");
  if (SendWord(s, kPidCommand, kCommandTransferTrack) != 0) return Fail(s, caption, "E203 Bulk OUT error");
  int r = ReadUsbPacket(s);
  if (r != 0) return ReadFailed(s, caption, 203, r);
  if (s.PacketId() != kPidRecords || s.DataSize() < 2) return Fail(s, caption, "E213 Bad record count packet");
  // The count includes the track header packets.
  const int count = ReadU16Le(s.Data());
  if (count > 0) {
    try {
      out.reserve(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
      return Fail(s, "E214 Track log memory allocation", MemoryErrorText());
    }
  }
  s.operation.Status("Receiving track positions");
  const uint16_t type = s.capabilities.trackPointType;
  bool trackOpened = false;  // the first point after a track header starts a segment
  for (int i = 0; i < count; ++i) {
    r = ReadUsbPacket(s);
    if (r != 0) return ReadFailed(s, caption, 214, r);
    if (s.operation.IsCancelled()) return Aborted(s);
    if (s.PacketId() == kPidTrackPoint) {
      core::TrackPoint point;
      if (DecodeTrackPoint(type, s.Data(), s.DataSize(), point) != 0) {
        return Fail(s, caption, "E224 Packet type/length mismatch");
      }
      if (out.empty() || trackOpened) point.flags = 1;
      trackOpened = false;
      out.push_back(point);
    } else if (s.PacketId() == kPidTrackHeader) {
      if (s.capabilities.trackTransfer == 300) return Fail(s, caption, "E225 Packet type/protocol mismatch");
      trackOpened = true;
    } else {
      return Fail(s, caption, "E226 Bad data packet");
    }
  }
  r = ReadUsbPacket(s);
  if (r != 0) return ReadFailed(s, caption, 226, r);
  if (s.PacketId() != kPidTransferComplete || s.DataSize() < 2) {
    return Fail(s, caption, "E236 Bad transfer complete packet type or format");
  }
  s.operation.Status(FormatCounts("% track positions read", static_cast<int>(out.size())));
  return 0;
}

int UploadGarminUsbWaypoints(GarminUsbSession& s, const std::vector<core::Waypoint>& waypoints) {
  if (waypoints.empty()) return 0;
  const char* caption = kUploadWaypointsCaption;
  if (waypoints.size() > static_cast<size_t>(kMaxGarminRecords)) {
    return Fail(s, caption, TooManyWaypointsText(waypoints.size()));
  }
  if (StartTransferSession(s, caption, 400) != 0) return -1;
  const int count = static_cast<int>(waypoints.size());
  if (SendWord(s, kPidRecords, static_cast<uint16_t>(count)) != 0) return Fail(s, caption, "E403 Bulk OUT error");
  uint8_t data[kMaxPacketData];
  for (int i = 0; i < count; ++i) {
    if (s.operation.IsCancelled()) return -1;
    if ((i + 1) % 5 == 0) s.operation.Status(FormatCounts("Sending waypoint % of %", i + 1, count));
    const size_t size = EncodeWaypoint(s.capabilities.waypointType, waypoints[static_cast<size_t>(i)], data);
    if (SendUsbPacket(s, kUsbApplicationLayer, kPidWaypoint, data, size) != 0) {
      return Fail(s, caption, "E404 Bulk OUT error");
    }
  }
  if (SendWord(s, kPidTransferComplete, kCommandTransferWaypoints) != 0) return Fail(s, caption, "E405 Bulk OUT error");
  s.operation.Status("Transfer completed");
  return 0;
}

int UploadGarminUsbTrack(GarminUsbSession& s, const std::vector<core::Waypoint>& records, int ctrNumber) {
  if (records.empty()) return 0;
  const char* caption = ctrNumber > 0 ? kUploadCtrCaption : kUploadTrackCaption;
  const uint16_t transfer = s.capabilities.trackTransfer;
  const bool header = TrackUploadSendsHeader(transfer);
  const int limit = MaxTrackUploadPoints(transfer);
  if (records.size() > static_cast<size_t>(limit)) {
    return Fail(s, caption, TooManyTrackPointsText(records.size(), ctrNumber, limit));
  }
  if (StartTransferSession(s, caption, 500) != 0) return -1;
  const int count = static_cast<int>(records.size());
  if (SendWord(s, kPidRecords, static_cast<uint16_t>(count + (header ? 1 : 0))) != 0) {
    return Fail(s, caption, "E503 Bulk OUT error");
  }
  uint8_t data[kMaxPacketData];
  if (header) {
    const core::Waypoint& first = records.front();
    const size_t size =
        EncodeTrackHeader(s.capabilities.trackHeaderType, {first.id, strnlen(first.id, sizeof first.id)}, data);
    if (SendUsbPacket(s, kUsbApplicationLayer, kPidTrackHeader, data, size) != 0) {
      return Fail(s, caption, "E504 Bulk OUT error");
    }
  }
  // The point step's code names the unit's track transfer protocol.
  const char* pointError = transfer == 300 ? "E505 Bulk OUT error"
                           : transfer == 301 ? "E506 Bulk OUT error"
                                             : "E507 Bulk OUT error";
  for (int i = 0; i < count; ++i) {
    if (s.operation.IsCancelled()) return -1;
    if ((i + 1) % 5 == 0) {
      s.operation.Status(ctrNumber > 0 ? FormatCounts("CTR %: Sending point % of %", ctrNumber, i + 1, count)
                                       : FormatCounts("Sending point % of %", i + 1, count));
    }
    const size_t size = EncodeUploadTrackPoint(transfer, s.capabilities.trackPointType, records[static_cast<size_t>(i)], data);
    if (SendUsbPacket(s, kUsbApplicationLayer, kPidTrackPoint, data, size) != 0) return Fail(s, caption, pointError);
  }
  if (SendWord(s, kPidTransferComplete, kCommandTransferTrack) != 0) return Fail(s, caption, "E508 Bulk OUT error");
  s.operation.Status("Transfer completed");
  return 0;
}

int UploadGarminUsbCtrs(GarminUsbSession& s, const std::vector<std::vector<core::Waypoint>>& zonePoints) {
  return WalkCtrZones(zonePoints, s.operation, [&s](const std::vector<core::Waypoint>& points, int number, int) {
    return UploadGarminUsbTrack(s, points, number);
  });
}

// ---- access engine routines -----------------------------------------------------------------

namespace {

// The job's pipe, or null after "No active device found" (a job without an opened unit).
access::UsbPipe* JobPipe(access::AccessJob& job) {
  auto* pipe = dynamic_cast<access::UsbPipe*>(job.usbDevice);
  if (pipe == nullptr) job.operation().Fail(kUsbAccessCaption, "No active device found");
  return pipe;
}

template <class Transfer>
int RunUsbJob(access::AccessJob& job, Transfer&& transfer) {
  access::UsbPipe* pipe = JobPipe(job);
  if (pipe == nullptr) return -1;
  GarminUsbSession session(*pipe, job.clock(), job.operation(), job.capture());
  if (ReadUsbProductData(session) != 0) return -1;
  const int result = transfer(session);
  if (result == 0) job.origin = kGarminOrigin;
  return result;
}

}  // namespace

int GarminUsbDownloadWaypoints(access::AccessJob& job) {
  return RunUsbJob(job, [&job](GarminUsbSession& s) {
    std::vector<core::Waypoint> waypoints;
    if (DownloadGarminUsbWaypoints(s, waypoints) != 0) return -1;
    job.count = static_cast<int>(waypoints.size());
    job.data.waypoints = std::move(waypoints);
    job.data.text = s.productDescription;  // the list's source name
    return 0;
  });
}

int GarminUsbDownloadTrack(access::AccessJob& job) {
  return RunUsbJob(job, [&job](GarminUsbSession& s) {
    if (job.competition) {
      IdModeOptions ids;
      ids.decodeIdPosition = core::DecodeIdPosition;
      std::vector<core::Waypoint> none;
      if (DownloadGarminUsbWaypoints(s, none, &ids) != 0) return -1;
      job.competitionId = ids.competitionId < 0 ? -1 : ids.competitionId;
      job.civlId = ids.civlId < 0 ? -1 : ids.civlId;
      if (!job.operation().ConfirmCompetition(job.competitionId, job.civlId)) return -1;
    }
    std::vector<core::TrackPoint> points;
    if (DownloadGarminUsbTrack(s, points) != 0) return -1;
    job.count = static_cast<int>(points.size());
    job.data.points = std::move(points);
    job.data.text = s.productDescription;  // the log's source name
    return 0;
  });
}

int GarminUsbUploadWaypoints(access::AccessJob& job) {
  return RunUsbJob(job, [&job](GarminUsbSession& s) { return UploadGarminUsbWaypoints(s, job.data.waypoints); });
}

int GarminUsbUploadTrack(access::AccessJob& job) {
  return RunUsbJob(job, [&job](GarminUsbSession& s) { return UploadGarminUsbTrack(s, job.data.waypoints, 0); });
}

int GarminUsbUploadCtrs(access::AccessJob& job, const CtrOutlineFunction& outline) {
  return RunUsbJob(job, [&job, &outline](GarminUsbSession& s) {
    std::vector<std::vector<core::Waypoint>> zones;
    for (const core::CtrRecord& zone : job.data.ctrs) {
      if (zone.selected) zones.push_back(outline ? outline(zone) : std::vector<core::Waypoint>{});
    }
    return UploadGarminUsbCtrs(s, zones);
  });
}

void RegisterGarminUsbRoutines(access::AccessRoutineTable& table, CtrOutlineFunction outline) {
  using namespace access;
  table.Register(kAccessDownloadWaypoints, kProtocolGarminUsb, GarminUsbDownloadWaypoints);
  table.Register(kAccessDownloadTrackLog, kProtocolGarminUsb, GarminUsbDownloadTrack);
  table.Register(kAccessUploadWaypoints, kProtocolGarminUsb, GarminUsbUploadWaypoints);
  table.Register(kAccessUploadTrackLog, kProtocolGarminUsb, GarminUsbUploadTrack);
  if (outline) {
    table.Register(kAccessUploadCtrs, kProtocolGarminUsb,
                   [outline](AccessJob& job) { return GarminUsbUploadCtrs(job, outline); });
  }
}

}  // namespace tarnvik::devices::garmin
