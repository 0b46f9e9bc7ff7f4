// The Garmin unit on USB, above the pipes (access/usb_pipe.h): the USB packet (a 12-byte header,
// type, id and data size, then the data), the packet area that holds the packet being read
// (header and at most 255 data bytes), the reader of the unit's packets from the interrupt and
// bulk IN pipes, the session start, the product data exchange and the USB transfers. Everything
// that passes the pipes goes to the debug capture as a labelled hex dump.
//
// The transfers share the record codecs, the character rules, the track header rule, the CTR
// zone walk and the ID mode with the serial transfers; their steps differ (no acknowledgements,
// a session start first) and so do their message codes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "access/access_engine.h"
#include "access/debug_capture.h"
#include "access/usb_pipe.h"
#include "core/ports.h"
#include "core/records.h"
#include "devices/garmin/garmin_link.h"
#include "devices/garmin/garmin_transfers.h"

namespace tarnvik::devices::garmin {

constexpr size_t kUsbHeaderSize = 12;
constexpr size_t kUsbPacketArea = kUsbHeaderSize + kMaxPacketData;  // 267
constexpr size_t kUsbInterruptPiece = 64;
constexpr size_t kUsbBulkPiece = 4096;
constexpr int kUsbPipeTimeoutMs = 500;
constexpr int kUsbEmptyBulkRetries = 50;
constexpr int64_t kUsbEmptyBulkWaitMs = 20;

// Packet types and the ids of the USB protocol layer.
constexpr uint8_t kUsbProtocolLayer = 0;
constexpr uint8_t kUsbApplicationLayer = 20;
constexpr uint16_t kUsbPidDataAvailable = 2;
constexpr uint16_t kUsbPidStartSession = 5;
constexpr uint16_t kUsbPidSessionStarted = 6;
constexpr uint8_t kPidExtendedProductData = 248;

constexpr const char* kUsbAccessCaption = "USB access";
constexpr const char* kUsbReadTrackCaption = "Read track log";
constexpr const char* kUsbReadWaypointsCaption = "Read waypoints";

// The USB state of one job.
struct GarminUsbSession {
  GarminUsbSession(access::UsbPipe& p, core::Clock& c, core::Operation& o, access::DebugCapture& d)
      : pipe(p), clock(c), operation(o), capture(d) {}
  access::UsbPipe& pipe;
  core::Clock& clock;
  core::Operation& operation;
  access::DebugCapture& capture;

  uint32_t apiVersion = 0;
  uint32_t unitId = 0;
  // The packet read last: the bytes kept (at most 267) and their count.
  std::array<uint8_t, kUsbPacketArea> packet{};
  size_t packetLength = 0;
  // Application packets now come from the bulk pipe (the unit said "data available").
  bool bulkFlag = false;
  // The packet being sent: header, then data.
  std::array<uint8_t, kUsbPacketArea> transmit{};

  GarminCapabilities capabilities;
  std::string productDescription;  // up to 80 characters

  uint8_t PacketType() const { return packet[0]; }
  uint16_t PacketId() const;
  // The data size the header gives (32 bits).
  uint32_t HeaderDataSize() const;
  // The data bytes actually held: the header's size, but never more than came (and were kept).
  size_t DataSize() const;
  const uint8_t* Data() const { return packet.data() + kUsbHeaderSize; }
};

// ---- the pipe operations: 0 (or a count) or -1, the failing stage in the capture ----------

// The version of the pipes' driver into session.apiVersion.
int ReadApiVersion(GarminUsbSession& session);
// One packet from the interrupt pipe: 64-byte pieces until a shorter one, appended to the packet
// area (at most 267 bytes kept); session.packetLength is the count kept.
int ReadInterruptPipe(GarminUsbSession& session);
// Sends the transmit packet with dataSize data bytes (the header's size field is set here).
int WriteBulkPipe(GarminUsbSession& session, size_t dataSize);
// One packet from the bulk pipe: 4096-byte pieces until a shorter one; a read that brings
// nothing is retried after 20 ms, at most 50 times.
int ReadBulkPipe(GarminUsbSession& session);

// Builds a packet of the type, id and data in the transmit area and sends it.
int SendUsbPacket(GarminUsbSession& session, uint8_t type, uint16_t id, const uint8_t* data, size_t size);

// ReadUsbPacket results.
constexpr int kUsbInterruptReadFailed = -1;
constexpr int kUsbNotDataAvailable = -2;
constexpr int kUsbFirstBulkReadFailed = -3;
constexpr int kUsbFirstBulkNotApplication = -4;
constexpr int kUsbFirstBulkTooShort = -5;
constexpr int kUsbInterruptNotApplication = -6;
constexpr int kUsbBulkReadFailed = -7;
constexpr int kUsbBulkNotApplication = -8;
constexpr int kUsbBulkTooShort = -9;
// The next application packet into the packet area: from the interrupt pipe until the unit says
// "data available", then from the bulk pipe. 0, or -1 to -9.
int ReadUsbPacket(GarminUsbSession& session);

// StartUsbSession results.
constexpr int kUsbSessionWriteFailed = -1;
constexpr int kUsbSessionReadFailed = -2;
constexpr int kUsbSessionBadAnswer = -3;
// Start session (type 0, id 5) on the bulk pipe, then the 16-byte "session started" (type 0,
// id 6) from the interrupt pipe, whose 4 data bytes are the unit ID. 0, or -1 to -3.
int StartUsbSession(GarminUsbSession& session);

// API version, session start, product request, product data, capability array, check
// (caption "Read GPS product data"). 0, or -1 after reporting E100 to E126 or E180 to E185.
int ReadUsbProductData(GarminUsbSession& session);

// ---- the USB transfers (each starts the session first; run after ReadUsbProductData) -------

int DownloadGarminUsbWaypoints(GarminUsbSession& session, std::vector<core::Waypoint>& out,
                               IdModeOptions* idMode = nullptr);
int DownloadGarminUsbTrack(GarminUsbSession& session, std::vector<core::TrackPoint>& out);
int UploadGarminUsbWaypoints(GarminUsbSession& session, const std::vector<core::Waypoint>& waypoints);
int UploadGarminUsbTrack(GarminUsbSession& session, const std::vector<core::Waypoint>& records, int ctrNumber = 0);
int UploadGarminUsbCtrs(GarminUsbSession& session, const std::vector<std::vector<core::Waypoint>>& zonePoints);

// ---- access engine routines (protocol 8): product data exchange, then the transfer ---------

int GarminUsbDownloadWaypoints(access::AccessJob& job);
int GarminUsbDownloadTrack(access::AccessJob& job);
int GarminUsbUploadWaypoints(access::AccessJob& job);
int GarminUsbUploadTrack(access::AccessJob& job);
int GarminUsbUploadCtrs(access::AccessJob& job, const CtrOutlineFunction& outline);

// Registers the USB routines for access types 0, 1, 3, 6 and (with an outline conversion) 7.
void RegisterGarminUsbRoutines(access::AccessRoutineTable& table, CtrOutlineFunction outline = {});

}  // namespace tarnvik::devices::garmin
