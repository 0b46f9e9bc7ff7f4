// The sentence layer of the Flytec 5020/5030 and Brauniger IQ Compeo/Competino/Galileo
// instruments: "$" body "*" two hexadecimal checksum digits CR LF, the checksum the XOR of the
// body bytes. Requests are fixed byte strings preceded by XON; in everything the instrument
// sends, XON and XOFF are flow control and never reach a parser.
//
// The parsers are byte-driven state machines: Feed takes one byte and returns kParseContinue,
// kParseComplete (a sentence or line is whole), or a negative format code whose absolute value
// is the number shown in "Format error %". They never see XON or XOFF (FlytecReader drops them).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "access/link.h"
#include "core/records.h"

namespace tarnvik::devices::flytec {

constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;

constexpr int kParseContinue = 0;
constexpr int kParseComplete = 1;

// ---- requests ---------------------------------------------------------------------------------

constexpr std::string_view kProductRequest = "\x11$PBRSNP,*21\r\n";
constexpr std::string_view kTrackListRequest = "\x11$PBRTL,*74\r\n";
constexpr std::string_view kNewestTrackRequest = "\x11$PBRIGC,*21\r\n";
constexpr std::string_view kWaypointRequest = "\x11$PBRWPS,*38\r\n";

// XOR of the bytes.
uint8_t SentenceChecksum(std::string_view body);
// "$" body "*" HH CR LF with upper-case hexadecimal digits.
std::string FrameSentence(std::string_view body);
// XON and $PBRTR,NN*HH CR LF for a track number 0 to 99; the newest-track request otherwise.
std::string TrackRequest(int trackNumber);

// ---- receiving --------------------------------------------------------------------------------

// Reads the instrument's bytes one at a time through the link (every byte, XON and XOFF
// included, is captured by the link as it is taken), dropping XON and XOFF.
class FlytecReader {
 public:
  explicit FlytecReader(access::Link& link) : link_(link) {}
  // The next byte other than XON/XOFF, waiting at most limitMs for it (counted from the call;
  // any byte that arrives, XON and XOFF included, is activity). kReadComplete, kReadTimeout or
  // kReadPortError. The abort flag is tested before every read: a set flag gives
  // kReadPortError without reading.
  int Next(uint8_t& byte, int64_t limitMs);

 private:
  access::Link& link_;
};

// ---- product data ($PBRSNP) --------------------------------------------------------------------

struct FlytecProduct {
  std::string name;         // up to 16 characters, upper case
  std::string pilot;        // up to 40 characters, spaces normalised (may be empty)
  std::string serial;       // up to 7 characters
  std::string version;      // up to 6 characters
  std::string description;  // "NAME, SNserial, SWversion"
};

class ProductParser {
 public:
  ProductParser() { Reset(); }
  void Reset();
  int Feed(uint8_t byte);
  const FlytecProduct& product() const { return product_; }

 private:
  enum class State { Dollar, Match, Name, Pilot, Serial, Version, Check1, Check2, Cr, Lf };
  State state_;
  size_t matched_;
  uint8_t checksum_;
  uint8_t received_;
  FlytecProduct product_;
};

// ---- track list ($PBRTL) -----------------------------------------------------------------------

constexpr int kTrackListSize = 100;
constexpr size_t kTrackEntryLength = 81;

class TrackListParser {
 public:
  TrackListParser() { Reset(); }
  // Clears the entries too.
  void Reset();
  int Feed(uint8_t byte);
  // Entry n (0 to 99): "NN   date   time   duration", empty when there is no such track.
  const std::array<std::string, kTrackListSize>& entries() const { return entries_; }

 private:
  enum class State { Dollar, Match, Count, Number, Field3, Field4, Field5, Check1, Check2, Cr, Lf };
  void Append(uint8_t c);
  void Separator();
  State state_;
  size_t matched_;
  uint8_t checksum_;
  uint8_t received_;
  bool digits_;
  int number_;
  std::string entry_;
  std::array<std::string, kTrackListSize> entries_;
};

// ---- IGC text ----------------------------------------------------------------------------------

// Collects the lines of an IGC reply and turns each into fixes. Feed returns kParseComplete
// after a line was parsed, or a negative result: kBadRecordType (the byte is in badByte()),
// kTooLongLine, or -code for "Format error %".
constexpr int kBadRecordType = -1000;
constexpr int kTooLongLine = -1001;
constexpr size_t kIgcMaxLine = 82;

class IgcLineParser {
 public:
  explicit IgcLineParser(std::vector<core::TrackPoint>& points) : points_(points) {}
  int Feed(uint8_t byte);
  // Parses a line that is pending when the reply ends (no LF came). kParseContinue when there
  // is none.
  int Finish();
  // One collected line without its LF (a CR at the end is kept). Exposed for the fuzz target.
  int ParseLine(std::string_view line);

  uint8_t badByte() const { return badByte_; }
  bool sawA() const { return sawA_; }
  int gRecords() const { return gRecords_; }
  const char* manufacturer() const { return manufacturer_; }
  const char* loggerId() const { return loggerId_; }
  uint32_t firstFixTime() const { return firstFixTime_; }

 private:
  int ParseB(std::string_view line);
  std::vector<core::TrackPoint>& points_;
  std::string line_;
  bool inLine_ = false;
  uint8_t badByte_ = 0;
  bool sawA_ = false;
  char manufacturer_[4] = {};
  char loggerId_[4] = {};
  int gRecords_ = 0;
  bool haveDate_ = false;
  uint32_t date_ = 0;
  uint32_t dayOffset_ = 0;
  int32_t previousTimeOfDay_ = -1;
  uint32_t firstFixTime_ = 0;
};

// ---- waypoints ($PBRWPS, $PBRWPR) --------------------------------------------------------------

struct ReceivedWaypoint {
  int32_t latitude = 0;   // semicircles
  int32_t longitude = 0;  // semicircles
  std::string id;         // as received (up to 6 characters)
  std::string name;       // as received (up to 17 characters)
  int32_t altitude = 0;   // metres
};

class WaypointParser {
 public:
  WaypointParser() { Reset(); }
  void Reset();
  int Feed(uint8_t byte);
  const ReceivedWaypoint& waypoint() const { return waypoint_; }

 private:
  enum class State {
    Dollar, Match, Lat, LatFraction, LatHemisphere, LatComma, Lon, LonFraction, LonHemisphere, LonComma,
    Id, Name, Altitude, Star, Check1, Check2, Cr, Lf
  };
  int Finish();
  State state_;
  size_t matched_;
  uint8_t checksum_;
  uint8_t received_;
  int64_t whole_;
  double fraction_;
  double step_;
  double latitudeMinutes_;
  double longitudeMinutes_;
  bool south_;
  bool west_;
  std::string altitude_;
  ReceivedWaypoint waypoint_;
};

// The waypoint the list keeps: ID and name space-normalised; the ID is the received ID up to
// its first space (at most 6 characters, upper case), else the first word of the name, else
// "Z"; the comment is the name in upper case.
core::Waypoint MakeWaypoint(const ReceivedWaypoint& received);
// The received name space-normalised and upper case ("COMPID" and "CIVLID" mark the IDs).
std::string NormalisedName(const ReceivedWaypoint& received);

// The 17-character name field of an upload: the comment cut to 17 characters, padded with
// blanks, and ",", "*", "$", CR and LF (which would break the sentence) replaced by blanks.
std::string UploadName(const core::Waypoint& waypoint);
// "$PBRWPR,..." with its checksum, CR and LF.
std::string UploadSentence(const core::Waypoint& waypoint);

}  // namespace tarnvik::devices::flytec
