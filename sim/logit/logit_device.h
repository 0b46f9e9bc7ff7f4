// The device side of the LogIt, Tracklogger and MLR links. The logger listens at 4800 baud at
// all times, also while it sends, and acts only on sentences whose sum is right. A product
// request makes it repeat its IDGPS reply every 0.5 s until the leave-mode sentence; a
// Tracklogger answers the count request; it erases, keeps a written name, and 1 s after a
// speed sentence sends its log at that speed: DEBUT, data packets, FIN (after a resend sentence,
// RESTART and the points from the one asked for, numbered as they are). An MLR also sends its
// waypoints as W packets and reports GPS time when its version says so (UTC plus the leap
// seconds valid at the fix).
//
// While the host's line speed differs from the speed the logger uses at that moment, bytes are
// garbled both ways. Packets and sentences are built here, from the logger's side, not with the
// host's code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace tarnvik::sim::logit {

enum class LoggerModel { LogIt, Tracklogger, Mlr };

struct LoggerPoint {
  uint32_t time = 0;  // UTC, seconds since 1989-12-31; 0: the logger had no time
  int32_t latitude = 0;   // semicircles
  int32_t longitude = 0;
  int32_t height = 0;     // as logged (decimetres)
  bool newSegment = false;
};

struct LoggerWaypoint {
  std::string name;  // up to 6 characters
  int32_t latitude = 0;
  int32_t longitude = 0;
  int32_t height = 0;  // decimetres
};

struct LoggerConfig {
  LoggerModel model = LoggerModel::LogIt;
  std::string user = "PILOT";
  std::string serial = "12345";
  std::string software = "1.20";  // MLR: e.g. "2.80ENGLISH15/03/01"
  int firstSequence = 1;          // sequence number of the DEBUT packet
  int perPacket = 0;              // points in a data packet; 0: the family's maximum
  int nmeaStart = -1;             // >= 0: an MLR repeating its waypoints as $GPWPL from this one

  // Faults; 0 or false = none. Packets of one transfer counted from 1 (DEBUT is 1).
  int badSumPacket = 0;       // this packet carries a wrong sum
  bool badSumAlways = false;  //   on every send (else only the first time)
  int damagePoint = 0;        // the packet holding this point number carries a wrong sum, once
  int gapPacket = 0;          // the sequence number skips one at this packet
  int misnumberPacket = 0;    // the first record of this packet is numbered one too high
  int tooManyPacket = 0;      // this data packet announces one record above the family's maximum
  bool wrongKind = false;     // track packets as waypoint packets (W, 2)
  int noCrLfPacket = 0;       // this packet ends without CR LF
  bool noFin = false;
  int silentAfter = 0;        // nothing after this many packets
  bool noProduct = false;     // no IDGPS reply
  bool badProduct = false;    // IDGPS reply with a wrong XOR
  int miscount = 0;           // the count reply differs from the points held by this much
};

class LoggerDevice : public Device {
 public:
  explicit LoggerDevice(LoggerConfig config = {});

  std::vector<LoggerPoint> track;
  std::vector<LoggerWaypoint> waypoints;
  std::string recordFile;  // uploaded $GPWPL sentences are appended here

  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override;
  void Tick(int64_t nowMs, std::vector<uint8_t>& out) override;
  void LineChanged(int baud, bool xonXoff) override;
  void HostClosed() override;

  LoggerConfig& config() { return config_; }
  const std::string& name() const { return config_.user; }
  bool erased() const { return erased_; }
  // Sentences taken (right sum), in order, and those dropped for a wrong sum.
  const std::vector<std::string>& sentences() const { return sentences_; }
  int badSentences() const { return badSentences_; }
  int leaveModes() const { return leaveModes_; }
  int restarts() const { return restarts_; }
  // $GPWPL sentences received with a right checksum, as sent.
  const std::vector<std::string>& uploads() const { return uploads_; }
  // The $GPWPL sentence the receiver sends for one of its waypoints.
  static std::string NmeaSentence(const LoggerWaypoint& w);
  // The model name the logger reports.
  std::string Model() const;
  // Line speed of a speed code (0100 to 0103; 0110 and others: 4800).
  static int CodeBaud(const std::string& code);

 private:
  void Take(const std::string& sentence, std::vector<uint8_t>& out);
  void Reply(const std::string& body, std::vector<uint8_t>& out);
  void StartTrack(int baud);
  void StartWaypoints();
  std::vector<uint8_t> Packet(uint8_t seq, char type, const std::vector<uint8_t>& records, int count, int number);
  void Emit(const std::vector<uint8_t>& bytes, int baud, std::vector<uint8_t>& out);
  uint32_t DeviceTime(uint32_t utc) const;

  LoggerConfig config_;
  int hostBaud_ = 4800;
  int sendBaud_ = 4800;
  int64_t now_ = 0;
  std::string line_;
  bool repeating_ = false;
  int64_t nextRepeat_ = 0;
  // The transfer under way: packets queued, the next to send, when it may start.
  std::vector<std::vector<uint8_t>> queue_;
  size_t next_ = 0;
  int64_t startAt_ = 0;
  bool sending_ = false;
  int resendFrom_ = 0;  // after a resend sentence: the point the next transfer starts at
  int sentPackets_ = 0;
  bool damagedOnce_ = false;
  bool badSumOnce_ = false;
  bool erased_ = false;
  std::vector<std::string> sentences_;
  int badSentences_ = 0;
  int leaveModes_ = 0;
  int restarts_ = 0;
  int sequence_ = 1;
  std::vector<std::string> uploads_;
  bool waypointTransfer_ = false;  // the transfer under way sends W packets
  bool nmeaActive_ = false;
  size_t nmeaNext_ = 0;
  int64_t nmeaAt_ = 0;
};

// A walk of n points one second apart from start.
std::vector<LoggerPoint> WalkPoints(int n, uint32_t start);
// One --fault value: "points=N", "model=logit|tracklogger|mlr", "software=TEXT", "seq=N", "per=N",
// "badsum=N", "badsumalways=N", "damage=POINT", "gap=N", "misnumber=N", "toomany=N", "kind",
// "nocrlf=N", "nofin", "nmea=START", "silent=N", "noproduct", "badproduct", "miscount=N".
bool ApplyLoggerFault(const std::string& value, LoggerDevice& device, std::string& error);

// Registers "logit" and "mlr" (tarnvik-sim logit, tarnvik-sim mlr).
bool RegisterLogItSimulator();

}  // namespace tarnvik::sim::logit
