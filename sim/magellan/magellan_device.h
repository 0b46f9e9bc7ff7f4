// The device side of the Magellan link: a receiver that answers the host's "$PMGNCMD" commands
// with its own NMEA sentences, built here from the instrument's side (degrees, metres or feet,
// times with hundredths), not with the host's code. VERSION gives "$PMGNVER"; TRACK[,n] the
// track log and WAYPOINT the waypoint list, each closed by "$PMGNCMD,END"; ROUTE only END;
// STOP ends a list being sent; HANDOFF, HANDON and NMEAOFF are accepted. "$PMGNWPL" uploads
// are kept until the host's END. In handshake mode every host sentence is acknowledged with
// "$PMGNCSM,<its checksum>".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace tarnvik::sim::magellan {

struct MagSimFix {
  uint32_t time = 0;     // UTC, seconds since 1989-12-31
  int hundredths = 0;    // 0-99, sent after the seconds
  double latitude = 0;   // degrees
  double longitude = 0;
  int altitude = 0;      // metres
};

struct MagSimWaypoint {
  std::string name;      // up to 8 characters, punctuation allowed
  std::string comment;   // may hold commas (sent escaped)
  double latitude = 0;
  double longitude = 0;
  int altitude = 0;      // metres
  std::string icon = "a";
};

struct MagDeviceConfig {
  int model = 24;
  std::string version = "3.14";
  std::string product = "GPS 315/320";
  bool handshake = false;  // acknowledge host sentences with $PMGNCSM (HANDON switches it on)

  // Faults on the lists (lines counted from 1, over the data sentences); 0 or false = none.
  int badChecksum = 0;   // line N carries a wrong checksum
  bool lowerHex = false; // checksums in lower-case hex
  int truncate = 0;      // line N is cut short (no "*hh", no line end)
  bool garbage = false;  // noise bytes between sentences
  int silentAfter = 0;   // nothing after N lines (no END)
  bool noEnd = false;    // the list ends without "$PMGNCMD,END"
  int invalid = 0;       // every Nth track record has validity V
  bool feet = false;     // altitudes in feet
  int pauseAfter = 0;    // a pause of pauseMs after line N
  int64_t pauseMs = 700;
};

class MagellanDevice : public Device {
 public:
  explicit MagellanDevice(MagDeviceConfig config = {});

  std::vector<MagSimFix> track;
  std::vector<MagSimWaypoint> waypoints;
  std::string recordFile;  // uploaded sentences are appended here, one a line

  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override;
  void Tick(int64_t nowMs, std::vector<uint8_t>& out) override;
  void HostClosed() override;

  MagDeviceConfig& config() { return config_; }

  // The sentences a list is sent as (faults applied, END included where sent).
  std::vector<std::string> TrackSentences() const;
  std::vector<std::string> WaypointSentences() const;
  // The track heights a host reads, in decimetres, and the times (hundredths rounded).
  std::vector<int32_t> ServedHeights() const;
  std::vector<uint32_t> ServedTimes() const;

  // What the host sent: commands (bodies), uploaded "$PMGNWPL" bodies, and whether END came.
  const std::vector<std::string>& commands() const { return commands_; }
  const std::vector<std::string>& uploads() const { return uploads_; }
  bool uploadEnded() const { return uploadEnded_; }
  int badHostSentences() const { return badHost_; }

 private:
  std::string Frame(const std::string& body, bool wrongSum) const;
  std::vector<std::string> ApplyFaults(const std::vector<std::string>& bodies, bool list) const;
  void Start(std::vector<std::string> lines);
  void Emit(std::vector<uint8_t>& out);
  void Command(const std::string& body, std::vector<uint8_t>& out);

  MagDeviceConfig config_;
  std::vector<std::string> queue_;
  size_t next_ = 0;
  size_t sentLines_ = 0;
  int64_t now_ = 0;
  int64_t resumeAt_ = -1;
  bool pausing_ = false;
  std::string pending_;
  bool inSentence_ = false;
  std::vector<std::string> commands_;
  std::vector<std::string> uploads_;
  bool uploadEnded_ = false;
  int badHost_ = 0;
};

// Data file: "fix YYYY-MM-DD hh:mm:ss.ss LAT LON ALT", "waypoint LAT,LON,ALT,NAME,COMMENT",
// "model N", "version TEXT", "product TEXT"; "#" comments.
bool LoadMagellanData(const std::string& path, MagellanDevice& device, std::string& error);
// One --fault value: "checksum=N", "lowerhex", "truncate=N", "garbage", "silent=N", "noend",
// "invalid=N", "feet", "pause=N", "pausems=MS", "handshake", "model=N", "version=TEXT",
// "points=N" (a walk of N fixes).
bool ApplyMagellanFault(const std::string& value, MagellanDevice& device, std::string& error);
// A walk of n fixes one second apart with hundredths.
std::vector<MagSimFix> WalkTrack(int n, uint32_t start, double latitude = 47.1678, double longitude = 15.53);
// A few waypoints with 8-character names, punctuation and a comma in a comment.
std::vector<MagSimWaypoint> SampleWaypoints();

// Registers "magellan" in the simulator table (tarnvik-sim magellan).
bool RegisterMagellanSimulator();

}  // namespace tarnvik::sim::magellan
