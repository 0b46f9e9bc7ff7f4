// The device side of the Flytec 5020/5030 and Brauniger IQ Compeo/Competino/Galileo protocol: an
// instrument in its menu mode that answers the product data, track list, IGC and waypoint
// requests and takes uploaded waypoints. Like the real unit it frames every reply with XOFF
// before and XON after (a request without an answer gets the two alone), and it takes the
// host's XON and XOFF out of what it reads.
//
// Its sentences are built here, from the device's side, not with the host's code.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/flytec/flytec_ctr_store.h"
#include "sim/simulator.h"

namespace tarnvik::sim::flytec {

struct FlytecSimWaypoint {
  double latitude = 0;   // degrees, north positive
  double longitude = 0;  // degrees, east positive
  std::string id;        // up to 6 characters
  std::string name;      // up to 17 characters
  int altitude = 0;      // metres
};

struct FlytecDeviceConfig {
  std::string name = "COMPEO";
  std::string pilot = "Tarnvik Pilot";  // sent in 17 blank-padded characters (16 kept)
  std::string serial = "12345";
  std::string software = "2.2";
  int selectedTrack = 0;   // what "$PBRIGC" sends: the track chosen on the analysis page
  int competitionId = -1;  // served as a "COMPID" waypoint when not negative
  int civlId = -1;         // served as a "CIVLID" waypoint when not negative

  // Faults; 0 or false = none. Device sentences are counted from 1 (IGC lines not included).
  bool noFraming = false;         // replies without XOFF ... XON
  int sprinkle = 0;               // an XOFF XON pair after every Nth byte and between checksum digits
  int badChecksumAtSentence = 0;  // the Nth sentence carries a wrong checksum
  int silentFromSentence = 0;     // the Nth sentence and everything after it are never sent
  bool lowerCaseDigits = false;   // checksum digits in lower case
  int cutIgcAt = 0;               // an IGC reply ends after N bytes
  bool noG = false;               // G records left out of IGC replies
  bool noDate = false;            // HFDTE lines left out of IGC replies
  bool repeatB = false;           // every B record sent twice
  bool blankPilot = false;        // the pilot field is 17 blanks
  int busyAfterUpload = 0;        // after the Nth uploaded sentence: XOFF and no XON again
  FlytecCtrFaults ctr;            // the airspace memory's faults and size
};

class FlytecDevice : public Device {
 public:
  explicit FlytecDevice(FlytecDeviceConfig config = {});

  // The tracks (IGC text; track number = index) and waypoints the instrument holds.
  std::vector<std::string> tracks;
  std::vector<FlytecSimWaypoint> waypoints;
  // Where uploaded sentences are appended as lines (empty: kept in memory only).
  std::string recordFile;

  // The airspace zones the instrument holds.
  FlytecCtrStore ctr;

  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override;
  void Tick(int64_t nowMs, std::vector<uint8_t>& out) override;
  void HostClosed() override;

  // Uploaded waypoints keyed by their 17-character name (a second one of that name replaces
  // the first, as on the instrument), and every request sentence body received, in order.
  const std::map<std::string, FlytecSimWaypoint>& uploads() const { return uploads_; }
  const std::vector<std::string>& requests() const { return requests_; }
  int sentSentences() const { return sentSentences_; }
  FlytecDeviceConfig& config() { return config_; }

  // The IGC text as this instrument sends it: CR LF line ends and the configured faults.
  std::string ServedIgc(size_t track) const;
  // The track list fields of an IGC text: "dd.mm.yy", "hh:mm:ss" of the first fix and the
  // duration to the last fix (across midnight) as "hh:mm:ss".
  static bool TrackListFields(const std::string& igc, std::string& date, std::string& start, std::string& duration);

 private:
  void HandleLine(const std::string& line, std::vector<uint8_t>& out);
  // Appends one sentence with its checksum (and the configured faults).
  void Sentence(const std::string& body, std::string& reply);
  void Send(const std::string& reply, std::vector<uint8_t>& out, bool frame = true);

  FlytecDeviceConfig config_;
  std::string line_;
  bool busy_ = false;
  int sentSentences_ = 0;
  int uploadSentences_ = 0;
  std::map<std::string, FlytecSimWaypoint> uploads_;
  std::vector<std::string> requests_;
  int64_t ackDelayMs_ = 0;  // a late acknowledgement not yet put on the clock
  int64_t ackDueMs_ = -1;   // when the one waiting in ackReply_ goes
  std::string ackReply_;
};

// Reads the instrument's data file: lines "name X", "pilot X", "serial X", "software X",
// "selected N", "compid N", "civlid N", "track FILE.igc" (relative to the data file's folder;
// the first is track 00), "waypoint LAT,LON,ID,NAME,ALT" (degrees, negative south and
// west) and "ctr NAME|WARNING|REMARK|SEGMENT..." (ParseCtrDataLine). Blank lines and lines starting with "#" are skipped. False with a text in error.
bool LoadFlytecData(const std::string& path, FlytecDevice& device, std::string& error);
// Applies one --fault value ("noframe", "sprinkle=N", "checksum=N", "silent=N", "lower",
// "cut=N", "nog", "nodate", "repeatb", "blankpilot", "name=X", "version=X", "busy=N"; for the
// airspace memory "ctrstatus=N", "ctrnoend", "ctrnoack", "ctrlateack=MS", "ctrmemory=N").
bool ApplyFlytecFault(const std::string& value, FlytecDeviceConfig& config, std::string& error);

// Registers "flytec" in the simulator table (tarnvik-sim flytec).
bool RegisterFlytecSimulator();

}  // namespace tarnvik::sim::flytec
