// The XC Trainer and Top Navigator records: the line assembler both links share, the MXP header
// and data lines, the TNC log records and their block rules, the TNC waypoint lines, the
// 30-byte "@@WP" upload packet, and the reader of saved TNC log files (.tnc).
//
// Everything here works on bytes already received; the worker routines that listen on the port
// are in xctrainer_transfers.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports.h"
#include "core/records.h"
#include "formats/track_parser.h"

namespace tarnvik::devices::xctrainer {

constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;
constexpr size_t kMaxLineLength = 100;

// Collects one line: LF ends it, a CR ends its text (what follows up to the LF is dropped but
// still counts toward the 100 characters a line may hold). XON and XOFF never reach it. A line
// with other bytes between its CR and LF (a damaged line end that may have swallowed the next
// line) ends in a CR, which no record form accepts.
class LineAssembler {
 public:
  enum Result { kMore = 0, kLine = 1, kTooLong = -1 };
  Result Feed(uint8_t byte);
  // The text of the last complete line (valid after kLine until the next Feed).
  const std::string& line() const { return line_; }
  // The text gathered so far without its LF (a file's last line); true when there is any byte.
  bool Pending() const { return length_ > 0; }
  std::string TakePending();
  void Reset();

 private:
  std::string text_;
  std::string line_;
  size_t length_ = 0;
  bool textEnded_ = false;
  bool damaged_ = false;
};

// ---- MXP link -----------------------------------------------------------------------------------

struct MxpHeader {
  bool xcTrainer = false;
  char version[4] = {};
  int serial = 0;
  uint32_t start = 0;  // start date and time (seconds since 1989-12-31)
  int count = 0;       // announced number of positions
};

// 0, or the header's error code (2-10, 17). protocol 10 expects "@xc", 9 "@tn".
int ParseMxpHeader(std::string_view line, int protocol, MxpHeader& out);
// "XC Trainer V1.2-05, S/N 4711" or "Top Navigator V1.234, S/N 4711".
std::string MxpProductText(const MxpHeader& header);

struct MxpFix {
  int record = 0;
  int offset = 0;  // seconds after the start, 16 bits
  int32_t latitude = 0;   // semicircles
  int32_t longitude = 0;
  int height = 0;  // metres
};
// 0, or the data line's error code (2-4, 11-15). expectedRecord: the record number it must carry.
int ParseMxpData(std::string_view line, int expectedRecord, MxpFix& out);
// The text of an MXP code for "Decode track log sentence".
std::string MxpCodeText(int code);

// Turns data lines into track points: time offsets grow by 65536 s whenever one is smaller than
// the one before (the 16-bit counter wrapped).
class MxpLog {
 public:
  explicit MxpLog(const MxpHeader& header) : header_(header) {}
  // 0, or a data line code; 16 when the array cannot grow.
  int Add(std::string_view line);
  bool Complete() const { return static_cast<int>(points.size()) >= header_.count; }
  std::vector<core::TrackPoint> points;

 private:
  MxpHeader header_;
  int64_t wraps_ = 0;
  int lastOffset_ = -1;
};

// ---- TNC log -----------------------------------------------------------------------------------

// Leading blanks dropped, runs of blanks reduced to one, a trailing blank dropped.
std::string NormaliseBlanks(std::string_view line);

struct TncStart {
  uint32_t date = 0;        // the start date at 00:00
  int offsetHours = 0;      // local time minus UTC
  bool offsetValid = false; // within +-14 h
};
// Tests a line as received (up to its CR): 78 characters with their forms.
bool ParseTncStart(std::string_view line, TncStart& out);
// "HHMMSS" + 4 hex + 1 digit + "AC" + 1 character: the time of day in seconds, or -1.
int ParseTncTime(std::string_view line);
// 30 characters; false when the line does not meet the form.
bool ParseTncPosition(std::string_view line, int32_t& latitude, int32_t& longitude, int& height);

// The TNC log's state machine, fed one line at a time (as received; it normalises blanks itself).
class TncLogParser {
 public:
  // Feed results: kMore, kEnd ("@EOF" read, the log is complete) or a format code (> 0).
  static constexpr int kMore = 0;
  static constexpr int kEnd = -1;
  int Feed(std::string_view line);

  bool StartFound() const { return state_ != State::Start; }
  // Codes 10-14 (or 20-24 when a time record closed the block) come from closing a block;
  // blockEntry() names the 1-based entry of the block at fault.
  static bool IsBlockCode(int code) { return code >= 10; }
  int blockEntry() const { return blockEntry_; }
  int erroneousBlocks() const { return erroneousBlocks_; }
  // True when the start record's offset was applied: the times are UTC.
  bool utc() const { return start_.offsetValid; }
  std::vector<core::TrackPoint> points;

 private:
  enum class State { Start, FirstTime, Block, Done };
  struct Entry {
    bool good = false;
    int32_t latitude = 0;
    int32_t longitude = 0;
    int height = 0;
  };
  int CloseBlock(bool atEnd);

  State state_ = State::Start;
  TncStart start_;
  int64_t dayOffset_ = 0;
  int blockTime_ = 0;  // time of day of the open block
  std::vector<Entry> block_;
  int erroneousBlocks_ = 0;
  int blockEntry_ = 0;
};

// Reads a saved TNC log (a .tnc file) through the same line and record rules, in chunks of 200
// bytes. Failures are shown under "Reading Top Navigator Log File"; extra is 1 when the times
// are UTC.
formats::TrackParseResult ParseTncLogFile(core::Ui& ui, std::string_view bytes);

// ---- waypoints ---------------------------------------------------------------------------------

// 0 with the waypoint, or -1 for a line that is not a TNC waypoint line (comments included).
int ParseTncWaypointLine(std::string_view line, core::Waypoint& out);

using WaypointPacket = std::array<uint8_t, 30>;
WaypointPacket BuildWaypointPacket(const core::Waypoint& waypoint);

}  // namespace tarnvik::devices::xctrainer
