#include "devices/garmin/garmin_transfers.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "core/competition_id.h"
#include "devices/common/byte_order.h"
#include "devices/garmin/garmin_product.h"
#include "devices/garmin/garmin_records.h"

namespace tarnvik::devices::garmin {
namespace {

using core::FormatCounts;

// How long the line must stay quiet before the next CTR after a failed one.
constexpr int64_t kDrainQuietMs = 500;

// One transfer's failure reporting: the message under the transfer's caption, then (unless the
// step says otherwise) the abort-transfer command, so the unit stops sending.
struct Transfer {
  GarminSession& session;
  const char* caption;

  int Fail(const std::string& text, bool sendAbort = true) {
    session.link.operation().Fail(caption, text);
    if (sendAbort) SendAbortTransfer(session);
    return -1;
  }
  // A user abort: no message (the engine shows "Transfer aborted"), but the unit is told.
  int Aborted() {
    SendAbortTransfer(session);
    return -1;
  }
  // Checks the result of a send. A write that failed ends the transfer at once with the port's
  // error under the step's code; nothing more is written to the port that failed.
  bool Sent(int result, int code) {
    if (result == 0) return true;
    Fail(GarminWriteErrorText(session, code), false);
    return false;
  }
  // Receives a packet; on failure reports the step's time-out or port error text.
  bool Receive(const char* timeoutText, const char* portErrorText) {
    const int got = ReceiveGarminPacket(session);
    if (got == access::kReadComplete) return true;
    Fail(got == access::kReadTimeout ? timeoutText : portErrorText);
    return false;
  }
  // Receives the unit's acknowledgement of id; reports the step's texts when it does not come.
  bool ReceiveAck(uint8_t id, const char* timeoutText, const char* portErrorText, const char* badText,
                  bool abortOnBad = true) {
    if (!Receive(timeoutText, portErrorText)) return false;
    if (IsAckOf(session.received, id)) return true;
    Fail(badText, abortOnBad);
    return false;
  }
  void Status(const std::string& text) { session.link.operation().Status(text); }
};


// "S.mmm": whole seconds and thousandths of an elapsed time.
std::string Seconds(int64_t elapsedMs) {
  if (elapsedMs < 0) elapsedMs = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(elapsedMs / 1000),
                static_cast<long long>(elapsedMs % 1000));
  return text;
}

std::string MemoryErrorText() { return std::strerror(ENOMEM); }

// Records packet (27) or transfer complete (12) with its 16-bit value.
int SendWord(GarminSession& session, uint8_t id, uint16_t value) {
  uint8_t data[2];
  WriteU16Le(data, value);
  return SendGarminPacket(session, id, data, 2);
}

void ShowIds(core::Operation& operation, const IdModeOptions& ids) {
  std::string text;
  if (ids.competitionId >= 0 && ids.civlId >= 0) {
    text = FormatCounts("Comp ID = %, CIVL ID = %", ids.competitionId, ids.civlId);
  } else if (ids.competitionId >= 0) {
    text = FormatCounts("Comp ID = %", ids.competitionId);
  } else if (ids.civlId >= 0) {
    text = FormatCounts("CIVL ID = %", ids.civlId);
  }
  if (!text.empty()) operation.Product(text);
}

}  // namespace

bool TrackUploadSendsHeader(uint16_t trackTransfer) { return trackTransfer == 301 || trackTransfer == 302; }

int MaxTrackUploadPoints(uint16_t trackTransfer) {
  return TrackUploadSendsHeader(trackTransfer) ? kMaxGarminRecords - 1 : kMaxGarminRecords;
}

std::string TooManyWaypointsText(size_t count) {
  return FormatCounts("Too many waypoints (%): a Garmin unit takes at most % in one transfer",
                      static_cast<int32_t>(std::min<size_t>(count, INT32_MAX)), kMaxGarminRecords);
}

std::string TooManyTrackPointsText(size_t count, int ctrNumber, int limit) {
  const int32_t n = static_cast<int32_t>(std::min<size_t>(count, INT32_MAX));
  return ctrNumber > 0
             ? FormatCounts("CTR %: too many points (%): a Garmin unit takes at most % in one transfer", ctrNumber, n,
                            limit)
             : FormatCounts("Too many track points (%): a Garmin unit takes at most % in one transfer", n, limit);
}

void NoteIdWaypoint(const core::Waypoint& waypoint, IdModeOptions& ids, core::Operation& operation) {
  if (!ids.decodeIdPosition) return;
  const bool civl = std::strcmp(waypoint.id, "CIVLID") == 0;
  const bool comp = std::strcmp(waypoint.id, "COMPID") == 0;
  if (!civl && !comp) return;
  const int32_t id = ids.decodeIdPosition(waypoint.latitude, waypoint.longitude);
  (civl ? ids.civlId : ids.competitionId) = id;
  ShowIds(operation, ids);
}

int WalkCtrZones(const std::vector<std::vector<core::Waypoint>>& zonePoints, core::Operation& operation,
                 const CtrZoneUpload& upload) {
  int result = 0;
  int firstEmpty = 0;
  int number = 0;
  for (const auto& points : zonePoints) {
    // An abort between zones ends the upload; the engine reports it.
    if (operation.IsCancelled()) return -1;
    ++number;
    if (points.empty()) {
      if (firstEmpty == 0) firstEmpty = number;
      continue;
    }
    result = upload(points, number, result);
  }
  if (firstEmpty > 0) operation.Fail(kUploadCtrCaption, FormatCounts("No points for CTR % sent", firstEmpty));
  return result;
}

int DownloadGarminWaypoints(GarminSession& session, std::vector<core::Waypoint>& out, IdModeOptions* idMode) {
  Transfer t{session, kReadWaypointsCaption};
  const GarminPacket& packet = session.received;
  out.clear();
  t.Status("Requesting waypoint download");
  if (!t.Sent(SendCommand(session, kCommandTransferWaypoints), 300)) return -1;
  if (!t.ReceiveAck(kPidCommand, "E300 Timeout while waiting for ack. packet",
                    "E300 COM port error while waiting for ack. packet", "E301 Bad acknowledge packet type or format")) {
    return -1;
  }
  if (!t.Receive("E302 Timeout while waiting for record count packet", "E302 COM port error while waiting for count packet")) {
    return -1;
  }
  if (packet.id != kPidRecords || packet.size < 2) return t.Fail("E303 Bad record count packet");
  const int count = ReadU16Le(&packet.data[0]);
  if (!t.Sent(SendAck(session, kPidRecords), 302)) return -1;
  const int64_t startMs = session.link.clock().NowMs();
  if (count > 0 && idMode == nullptr) {
    try {
      out.reserve(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
      session.link.operation().Fail("E304 Waypoint memory allocation", MemoryErrorText());
      SendAbortTransfer(session);
      return -1;
    }
  }
  const uint16_t type = session.capabilities.waypointType;
  for (int i = 0; i < count; ++i) {
    if (!t.Receive("E305 Timeout while waiting for wpt. data packet", "E305 COM port error while waiting for wpt. data packet")) {
      return -1;
    }
    if (session.link.Cancelled()) return t.Aborted();
    core::Waypoint waypoint;
    if (packet.id != kPidWaypoint) return t.Fail("E306 Bad waypoint data packet");
    const int converted = DecodeWaypoint(type, packet.data.data(), packet.size, waypoint);
    if (converted == kWaypointTooShort) return t.Fail("E306 Bad waypoint data packet");
    if (converted == kWaypointBadMarker) return t.Fail("E309 Bad waypoint data packet");
    if (idMode != nullptr) NoteIdWaypoint(waypoint, *idMode, session.link.operation());
    if (!t.Sent(SendAck(session, kPidWaypoint), 305)) return -1;
    if ((i + 1) % 5 == 0) t.Status(FormatCounts("Waypoint % of % received", i + 1, count));
    if (idMode == nullptr) out.push_back(waypoint);
  }
  if (!t.Receive("E308 Timeout while waiting for transfer complete packet",
                 "E308 COM port error while waiting for transfer complete packet")) {
    return -1;
  }
  if (packet.id != kPidTransferComplete || packet.size < 2) {
    return t.Fail("E307 Bad transfer complete packet type or format");
  }
  if (!t.Sent(SendAck(session, kPidTransferComplete), 308)) return -1;
  if (idMode == nullptr) {
    const int stored = static_cast<int>(out.size());
    t.Status(FormatCounts("% of % waypoints read (", stored, stored) +
             Seconds(session.link.clock().NowMs() - startMs) + " secs)");
  }
  return 0;
}

int DownloadGarminTrack(GarminSession& session, std::vector<core::TrackPoint>& out) {
  Transfer t{session, kReadTrackCaption};
  const GarminPacket& packet = session.received;
  out.clear();
  t.Status("Requesting track log download");
  if (!t.Sent(SendCommand(session, kCommandTransferTrack), 200)) return -1;
  if (!t.ReceiveAck(kPidCommand, "E200 Timeout while waiting for data packet",
                    "E200 COM port error while waiting for data packet", "E201 Bad acknowledge packet type or format")) {
    return -1;
  }
  if (!t.Receive("E202 Timeout while waiting for record count packet", "E202 COM port error while waiting for count packet")) {
    return -1;
  }
  if (packet.id != kPidRecords || packet.size < 2) return t.Fail("E203 Bad record count packet");
  // The count includes the track header packets.
  const int count = ReadU16Le(&packet.data[0]);
  if (!t.Sent(SendAck(session, kPidRecords), 202)) return -1;
  const int64_t startMs = session.link.clock().NowMs();
  if (count > 0) {
    try {
      out.reserve(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
      session.link.operation().Fail("E204 Track log memory allocation", MemoryErrorText());
      SendAbortTransfer(session);
      return -1;
    }
  }
  const uint16_t type = session.capabilities.trackPointType;
  // A track header opens a new track: its first point starts a segment also where the point
  // type has no new-segment flag (D303, D304), so that separate tracks are never joined.
  bool trackOpened = false;
  for (int i = 0; i < count; ++i) {
    if (!t.Receive("E205 Timeout while waiting for log data packet", "E205 COM port error while waiting for log data packet")) {
      return -1;
    }
    if (session.link.Cancelled()) return t.Aborted();
    if (packet.id == kPidTrackPoint) {
      core::TrackPoint point;
      if (DecodeTrackPoint(type, packet.data.data(), packet.size, point) != 0) {
        return t.Fail("E206 Packet type/length mismatch");
      }
      if (out.empty() || trackOpened) point.flags = 1;  // the log's first point always starts a segment
      trackOpened = false;
      out.push_back(point);
      if (!t.Sent(SendAck(session, kPidTrackPoint), 205)) return -1;
    } else if (packet.id == kPidTrackHeader) {
      if (session.capabilities.trackTransfer == 300) return t.Fail("E208 Packet type/protocol mismatch");
      trackOpened = true;
      if (!t.Sent(SendAck(session, kPidTrackHeader), 205)) return -1;
    } else {
      return t.Fail("E209 Bad data packet");
    }
    if ((i + 1) % 5 == 0) t.Status(FormatCounts("Track log record % of % received", i + 1, count));
  }
  if (!t.Receive("E211 Timeout while waiting for transfer complete packet",
                 "E211 COM port error while waiting for transfer complete packet")) {
    return -1;
  }
  if (packet.id != kPidTransferComplete || packet.size < 2) {
    return t.Fail("E210 Bad transfer complete packet type or format");
  }
  if (!t.Sent(SendAck(session, kPidTransferComplete), 211)) return -1;
  t.Status(FormatCounts("% track positions read (", static_cast<int>(out.size())) +
           Seconds(session.link.clock().NowMs() - startMs) + " secs)");
  return 0;
}

int UploadGarminWaypoints(GarminSession& session, const std::vector<core::Waypoint>& waypoints) {
  if (waypoints.empty()) return 0;
  Transfer t{session, kUploadWaypointsCaption};
  // A longer list cannot be announced: refused before anything of it is sent.
  if (waypoints.size() > static_cast<size_t>(kMaxGarminRecords)) return t.Fail(TooManyWaypointsText(waypoints.size()), false);
  const int count = static_cast<int>(waypoints.size());
  if (!t.Sent(SendWord(session, kPidRecords, static_cast<uint16_t>(count)), 400)) return -1;
  if (!t.ReceiveAck(kPidRecords, "E400 Timeout while waiting for ack. packet",
                    "E400 COM port error while waiting for ack. packet", "E401 Bad acknowledge packet type or format")) {
    return -1;
  }
  uint8_t data[kMaxPacketData];
  for (int i = 0; i < count; ++i) {
    if (session.link.Cancelled()) return t.Aborted();
    if ((i + 1) % 5 == 0) t.Status(FormatCounts("Sending waypoint % of %", i + 1, count));
    const size_t size = EncodeWaypoint(session.capabilities.waypointType, waypoints[static_cast<size_t>(i)], data);
    if (!t.Sent(SendGarminPacket(session, kPidWaypoint, data, size), 402)) return -1;
    if (!t.ReceiveAck(kPidWaypoint, "E402 Timeout while waiting for ack. packet",
                      "E402 COM port error while waiting for ack. packet", "E403 Bad acknowledge packet type or format")) {
      return -1;
    }
  }
  t.Status(FormatCounts("Waypoint % of % sent", count, count));
  if (!t.Sent(SendWord(session, kPidTransferComplete, kCommandTransferWaypoints), 404)) return -1;
  // A unit that took every waypoint but answers the end oddly needs no abort command.
  if (!t.ReceiveAck(kPidTransferComplete, "E404 Timeout while waiting for ack. packet",
                    "E404 COM port error while waiting for ack. packet", "E405 Bad acknowledge packet type or format",
                    false)) {
    return -1;
  }
  return 0;
}

int UploadGarminTrack(GarminSession& session, const std::vector<core::Waypoint>& records, int ctrNumber) {
  if (records.empty()) return 0;
  Transfer t{session, ctrNumber > 0 ? kUploadCtrCaption : kUploadTrackCaption};
  const uint16_t transfer = session.capabilities.trackTransfer;
  // A301 announces its track header in the count and sends it before the points. A302 units
  // get the same, so that the announced count matches what is sent.
  const bool header = TrackUploadSendsHeader(transfer);
  const int limit = MaxTrackUploadPoints(transfer);
  if (records.size() > static_cast<size_t>(limit)) {
    return t.Fail(TooManyTrackPointsText(records.size(), ctrNumber, limit), false);
  }
  const int count = static_cast<int>(records.size());
  if (!t.Sent(SendWord(session, kPidRecords, static_cast<uint16_t>(count + (header ? 1 : 0))), 500)) return -1;
  if (!t.ReceiveAck(kPidRecords, "E500 Timeout while waiting for ack. packet",
                    "E500 COM port error while waiting for ack. packet", "E501 Bad acknowledge packet type or format")) {
    return -1;
  }
  uint8_t data[kMaxPacketData];
  if (header) {
    const core::Waypoint& first = records.front();
    const size_t size = EncodeTrackHeader(session.capabilities.trackHeaderType,
                                          {first.id, strnlen(first.id, sizeof first.id)}, data);
    if (!t.Sent(SendGarminPacket(session, kPidTrackHeader, data, size), 502)) return -1;
    if (!t.ReceiveAck(kPidTrackHeader, "E502 Timeout while waiting for ack. packet",
                      "E502 COM port error while waiting for ack. packet", "E503 Bad acknowledge packet type or format")) {
      return -1;
    }
  }
  for (int i = 0; i < count; ++i) {
    if (session.link.Cancelled()) return t.Aborted();
    if ((i + 1) % 5 == 0) {
      t.Status(ctrNumber > 0 ? FormatCounts("CTR %: Sending point % of %", ctrNumber, i + 1, count)
                             : FormatCounts("Sending point % of %", i + 1, count));
    }
    const size_t size =
        EncodeUploadTrackPoint(transfer, session.capabilities.trackPointType, records[static_cast<size_t>(i)], data);
    if (!t.Sent(SendGarminPacket(session, kPidTrackPoint, data, size), 504)) return -1;
    if (!t.ReceiveAck(kPidTrackPoint, "E504 Timeout while waiting for ack. packet",
                      "E504 COM port error while waiting for ack. packet", "E505 Bad acknowledge packet type or format")) {
      return -1;
    }
  }
  t.Status(ctrNumber > 0 ? FormatCounts("CTR %: Point % of % sent", ctrNumber, count, count)
                         : FormatCounts("Point % of % sent", count, count));
  if (!t.Sent(SendWord(session, kPidTransferComplete, kCommandTransferTrack), 506)) return -1;
  if (!t.ReceiveAck(kPidTransferComplete, "E506 Timeout while waiting for ack. packet",
                    "E506 COM port error while waiting for ack. packet", "E507 Bad acknowledge packet type or format",
                    false)) {
    return -1;
  }
  return 0;
}

int UploadGarminCtrs(GarminSession& session, const std::vector<std::vector<core::Waypoint>>& zonePoints) {
  return WalkCtrZones(zonePoints, session.link.operation(),
                      [&session](const std::vector<core::Waypoint>& points, int number, int previousResult) {
                        // After a failed zone the unit still answers the abort-transfer command;
                        // those answers must not be taken for the next zone's acknowledgements.
                        if (previousResult != 0) DrainGarminPackets(session, kDrainQuietMs);
                        return UploadGarminTrack(session, points, number);
                      });
}

// ---- access engine routines -----------------------------------------------------------------

int GarminDownloadWaypoints(access::AccessJob& job) {
  GarminSession session(job.link());
  if (ReadProductData(session) != 0) return -1;
  std::vector<core::Waypoint> waypoints;
  if (DownloadGarminWaypoints(session, waypoints) != 0) return -1;
  job.count = static_cast<int>(waypoints.size());
  job.data.waypoints = std::move(waypoints);
  job.data.text = session.productDescription;  // the list's source name
  job.origin = kGarminOrigin;
  return 0;
}

int GarminDownloadTrack(access::AccessJob& job) {
  GarminSession session(job.link());
  if (ReadProductData(session) != 0) return -1;
  if (job.competition) {
    // Competition mode: the IDs from the unit's COMPID/CIVLID waypoints, then the pilot's
    // confirmation; a refusal ends the job before any track is read.
    IdModeOptions ids;
    ids.decodeIdPosition = core::DecodeIdPosition;
    std::vector<core::Waypoint> none;
    if (DownloadGarminWaypoints(session, none, &ids) != 0) return -1;
    job.competitionId = ids.competitionId < 0 ? -1 : ids.competitionId;
    job.civlId = ids.civlId < 0 ? -1 : ids.civlId;
    if (!job.operation().ConfirmCompetition(job.competitionId, job.civlId)) return -1;
  }
  std::vector<core::TrackPoint> points;
  if (DownloadGarminTrack(session, points) != 0) return -1;
  job.count = static_cast<int>(points.size());
  job.data.points = std::move(points);
  job.data.text = session.productDescription;  // the log's source name
  job.origin = kGarminOrigin;
  return 0;
}

int GarminUploadWaypoints(access::AccessJob& job) {
  GarminSession session(job.link());
  if (ReadProductData(session) != 0) return -1;
  if (UploadGarminWaypoints(session, job.data.waypoints) != 0) return -1;
  job.origin = kGarminOrigin;
  return 0;
}

int GarminUploadTrack(access::AccessJob& job) {
  GarminSession session(job.link());
  if (ReadProductData(session) != 0) return -1;
  if (UploadGarminTrack(session, job.data.waypoints, 0) != 0) return -1;
  job.origin = kGarminOrigin;
  return 0;
}

int GarminUploadCtrs(access::AccessJob& job, const CtrOutlineFunction& outline) {
  GarminSession session(job.link());
  if (ReadProductData(session) != 0) return -1;
  std::vector<std::vector<core::Waypoint>> zones;
  for (const core::CtrRecord& zone : job.data.ctrs) {
    if (zone.selected) zones.push_back(outline ? outline(zone) : std::vector<core::Waypoint>{});
  }
  const int result = UploadGarminCtrs(session, zones);
  if (result == 0) job.origin = kGarminOrigin;
  return result;
}

void RegisterGarminSerialRoutines(access::AccessRoutineTable& table, CtrOutlineFunction outline) {
  using namespace access;
  table.Register(kAccessDownloadWaypoints, kProtocolGarminSerial, GarminDownloadWaypoints);
  table.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, GarminDownloadTrack);
  table.Register(kAccessUploadWaypoints, kProtocolGarminSerial, GarminUploadWaypoints);
  table.Register(kAccessUploadTrackLog, kProtocolGarminSerial, GarminUploadTrack);
  if (outline) {
    table.Register(kAccessUploadCtrs, kProtocolGarminSerial,
                   [outline](AccessJob& job) { return GarminUploadCtrs(job, outline); });
  }
}

}  // namespace tarnvik::devices::garmin
