// The device side of the XC Trainer and Top Navigator links: an instrument that, once the host
// has set its line, waits a moment (the pilot pressing "send") and then transmits on its own:
// an MXP log ("@xc"/"@tn" hex lines), a TNC log (1 Hz fixes in blocks of 30 under a time
// record, local time with a time zone offset, a take-off name holding blank runs) or its
// waypoint list, line by line, each waiting up to 5 s for the host's "@@OK". It picks the
// host's "@@WP" packets out of whatever the host sends (any byte value inside them) and keeps
// them, so a later waypoint list holds them.
//
// While the host's line speed differs from the instrument's, bytes are garbled both ways, as on
// a real line. Its lines are built here, from the instrument's side, not with the host's code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace tarnvik::sim::xctrainer {

struct XcSimFix {
  uint32_t time = 0;  // UTC, seconds since 1989-12-31
  double latitude = 0;   // degrees
  double longitude = 0;
  int altitude = 0;      // metres
};

struct XcSimWaypoint {
  std::string id;  // up to 6 characters
  double latitude = 0;
  double longitude = 0;
  int altitude = 0;
};

enum class XcSend { Mxp, Tnc, Waypoints };

struct XcDeviceConfig {
  bool xcTrainer = true;      // false: a Top Navigator
  XcSend send = XcSend::Tnc;  // what the pilot sends
  int baud = 0;               // the instrument's line speed; 0: 57600 for MXP and an XC Trainer's TNC log, else 9600
  int64_t delayMs = 300;      // from the host's line setting to the first byte
  int offsetHours = 2;        // TNC: local time minus UTC (sent as a two's complement byte)
  int offsetByte = -1;        // >= 0: this raw byte instead of offsetHours
  std::string takeoff = "EMBER  ALM";  // 11 characters in the start record (blank padded)
  int serial = 4711;
  std::string version = "1205";

  // Faults; 0 or false = none. Lines counted from 1.
  int badChecksumLine = 0;   // MXP: the Nth data line carries a wrong checksum
  int skipRecord = 0;        // MXP: data record N is left out; TNC: position line N
  int announcedCount = -1;   // MXP: the header announces this count
  int damagedLine = 0;       // TNC: position line N is damaged
  int blockSize = 30;        // TNC: fixes in a block
  int timeStep = 0;          // TNC: the second time record only this many seconds after the first
  bool noEof = false;        // no "@EOF"
  int sprinkle = 0;          // an XON XOFF pair after every Nth byte
  int silentAfterLines = 0;  // nothing more after N lines
};

class XcTrainerDevice : public Device {
 public:
  explicit XcTrainerDevice(XcDeviceConfig config = {});

  std::vector<XcSimFix> track;  // what the instrument logged
  std::vector<XcSimWaypoint> waypoints;
  std::string recordFile;  // uploaded waypoints are appended here as "waypoint" lines

  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override;
  void Tick(int64_t nowMs, std::vector<uint8_t>& out) override;
  void LineChanged(int baud, bool xonXoff) override;
  void HostClosed() override;

  XcDeviceConfig& config() { return config_; }
  int InstrumentBaud() const;

  // The transmission as it leaves the instrument (faults applied, no XON/XOFF), and the fixes
  // a host should read from it (UTC; positions in the units the link carries, as degrees).
  std::string Transmission() const;
  std::vector<XcSimFix> ServedFixes() const;

  // The waypoint exchange: lines answered, lines left without "@@OK" after 5 s, "@@OK" that came
  // while none was awaited; and the "@@WP" packets taken, decoded, in order (with bad checksums).
  int answered() const { return answered_; }
  int missingAnswers() const { return missing_; }
  int doubledAnswers() const { return doubled_; }
  const std::vector<XcSimWaypoint>& uploads() const { return uploads_; }
  int badPackets() const { return badPackets_; }

 private:
  std::vector<std::string> Lines() const;
  std::vector<std::string> MxpLines() const;
  std::vector<std::string> TncLines() const;
  std::vector<std::string> WaypointLines() const;
  std::vector<XcSimFix> TncFixes() const;
  void Emit(const std::string& text, std::vector<uint8_t>& out);
  void Garble(std::vector<uint8_t>& bytes, size_t from) const;
  void TakePacket(const uint8_t* p);

  XcDeviceConfig config_;
  int hostBaud_ = 0;
  bool armed_ = false;
  bool sending_ = false;
  int64_t startAt_ = 0;
  std::vector<std::string> queue_;
  size_t next_ = 0;
  bool waitingOk_ = false;
  int64_t waitSince_ = 0;
  int answered_ = 0;
  int missing_ = 0;
  int doubled_ = 0;
  int badPackets_ = 0;
  size_t emitted_ = 0;  // bytes sent, for the sprinkled XON/XOFF
  std::vector<uint8_t> fromHost_;
  std::vector<XcSimWaypoint> uploads_;
};

// Reads an IGC file's B records (date from HFDTE) as the instrument's track. False with error.
bool LoadIgcTrack(const std::string& path, std::vector<XcSimFix>& track, std::string& error);
// Data file: "igc FILE", "waypoint LAT,LON,ID,ALT", "model xc|tn", "send mxp|tnc|wpt",
// "offset H", "serial N", "version XXXX", "takeoff NAME"; "#" comments.
bool LoadXcTrainerData(const std::string& path, XcTrainerDevice& device, std::string& error);
// One --fault value: "checksum=N", "skip=N", "count=N", "damage=N", "block=N", "step=S",
// "noeof", "sprinkle=N", "silent=N", and the settings "baud=N", "delay=MS", "offset=H",
// "offsetbyte=HEX", "send=mxp|tnc|wpt", "model=xc|tn".
bool ApplyXcTrainerFault(const std::string& value, XcDeviceConfig& config, std::string& error);
// A walk of n fixes one second apart (for tests and a data file without a track).
std::vector<XcSimFix> WalkTrack(int n, uint32_t start, double latitude = 47.1678, double longitude = 15.53);

// Registers "xctrainer" in the simulator table (tarnvik-sim xctrainer).
bool RegisterXcTrainerSimulator();

}  // namespace tarnvik::sim::xctrainer
