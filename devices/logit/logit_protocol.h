// The command and packet layer shared by the LogIt, Tracklogger and MLR instruments: "$PMLR"
// command sentences closed by a 4-digit hexadecimal character sum, the text replies ("$PMLR,..."
// with an XOR checksum) and the binary packets (0x8B, sequence, family letter and kind, type,
// records, 16-bit sum, CR LF) whose record layout depends on the family.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"

namespace tarnvik::devices::logit {

// ---- command sentences -------------------------------------------------------------------------

// The sentence for a body that ends with its last comma: the 16-bit sum of every character of
// the body as four upper-case hexadecimal digits, then CR LF.
std::string CommandSentence(std::string_view body);

inline const std::string kLeaveMode = "$PMLR,06,00,02A9\r\n";
inline const std::string kProductRequest = "$PMLR,26,01,01,0339\r\n";
inline const std::string kCountRequest = "$PMLR,58,00,02B0\r\n";
inline const std::string kEraseLog = "$PMLR,99,00,02B5\r\n";
inline const std::string kMlrTrackRequest = "$PMLR,24,02,0101,0399\r\n";
inline const std::string kMlrWaypointRequest = "$PMLR,24,02,0301,039B\r\n";

// The speed sentence for a track log transfer at a line speed: 0100 to 0103 for 19200, 38400,
// 57600 and 115200, 0110 for any other speed.
std::string SpeedSentence(int baud);
// Asks the logger to resend its log from point number `point`.
std::string ResendSentence(int point);
// Writes the logger's name (exactly 9 characters after NameField). The sentence ends in "*00",
// as the logger expects it, not in an XOR checksum.
std::string NameSentence(std::string_view name);
// A text as it may stand in a sentence field: ',' '*' '$' CR LF become a blank.
std::string SentenceSafe(std::string_view text);
// The name as the logger keeps it: blanks normalised (runs to one, none at the ends), unsafe
// characters blanked, cut to and padded with spaces to 9 characters. Empty when nothing is left.
std::string NameField(std::string_view input);

// Runs of blanks become one, none at the ends.
std::string NormaliseSpaces(std::string_view text);

// ---- text replies --------------------------------------------------------------------------------

// Gathers one reply line: bytes before a "$" are dropped, the line ends with LF (kept with CR).
class ReplyAssembler {
 public:
  static constexpr size_t kMaxLine = 250;
  enum Result { kMore, kLine, kTooLong };
  Result Feed(uint8_t byte);
  const std::string& line() const { return line_; }

 private:
  std::string line_;
  bool inLine_ = false;
};

// "$PMLR,IDGPS,01," and four fields, "*", two XOR digits, CR LF. fieldLimits are the maximum
// lengths of the four fields (leading spaces skipped and not counted). 0, or the code: prefix 1;
// CR or LF inside field k (1-4) 2k; field k too long 2k+1; checksum digits 10, CR 11, sum 12.
int ParseIdReply(std::string_view line, const std::array<size_t, 4>& fieldLimits, std::array<std::string, 4>& fields);
inline constexpr std::array<size_t, 4> kLogItFieldLimits{20, 20, 20, 40};
inline constexpr std::array<size_t, 4> kMlrFieldLimits{40, 40, 40, 40};

// "$PMLR,NUMTRACKPOINTS," digits "*" two XOR digits CR LF. 0, or the code: prefix 1, no digit 2,
// a count above 9999999 3, no "*" after the digits 4, checksum digits 5, CR 6, sum 7.
int ParseCountReply(std::string_view line, int& count);
constexpr int kMaxCount = 9999999;

// ---- binary packets --------------------------------------------------------------------------------

struct PacketFamily {
  char letter;        // byte 2
  uint8_t kind;       // byte 3
  size_t recordSize;  // bytes of one record
  int maxRecords;     // records in one data packet
  size_t MaxPacket() const { return 6 + recordSize * static_cast<size_t>(maxRecords) + 4; }
};
inline constexpr PacketFamily kLogItTrack{'T', 1, 18, 16};
inline constexpr PacketFamily kMlrTrack{'T', 1, 18, 27};
inline constexpr PacketFamily kMlrWaypoints{'W', 2, 22, 23};

enum class PacketType { Begin, End, Restart, Data };

// Parser codes (the sequence codes belong to the download).
constexpr int kBadLetter = 2;
constexpr int kBadKind = 3;
constexpr int kUnknownType = 4;
constexpr int kBadBegin = 5;
constexpr int kBadEnd = 6;
constexpr int kBadRestart = 7;
constexpr int kBadRecordCount = 8;
constexpr int kBadSum = 9;
constexpr int kNoCrLf = 10;

// Gathers one packet byte by byte from its 0x8B on (bytes before it are dropped) into a buffer
// sized for the family's largest packet, checking the header as it arrives: a wrong letter,
// kind, type or record count ends the packet at once with its code, before any record is kept.
class PacketAssembler {
 public:
  explicit PacketAssembler(const PacketFamily& family);
  enum Result { kMore = 0, kPacket = 1, kError = 2 };
  Result Feed(uint8_t byte);
  // After kPacket or kError: the packet's parts, or the code.
  int code() const { return code_; }
  PacketType type() const { return type_; }
  uint8_t sequence() const { return bytes_[1]; }
  int records() const { return records_; }
  const uint8_t* Record(int i) const { return bytes_.data() + 6 + family_.recordSize * static_cast<size_t>(i); }
  // Starts over (after kPacket or kError, or to drop a partial packet).
  void Reset() {
    size_ = 0;
    need_ = 5;
  }

 private:
  Result Error(int code);
  PacketFamily family_;
  std::vector<uint8_t> bytes_;
  size_t size_ = 0;
  size_t need_ = 5;
  PacketType type_ = PacketType::Data;
  int records_ = 0;
  int code_ = 0;
};

// Builds a packet (the device side and tests): header, body, sum, CR LF.
std::vector<uint8_t> BuildPacket(const PacketFamily& family, uint8_t sequence, PacketType type,
                                 const std::vector<uint8_t>& records, int recordCount);

// ---- records -----------------------------------------------------------------------------------------

// Seconds from 1980-01-06 to 1989-12-31.
constexpr uint32_t kGpsEpochOffset = 315100800;
// The leap seconds between GPS time and UTC at a time (seconds since 1989-12-31, GPS scale).
int GpsLeapSeconds(uint32_t time);
// The record time as this program's time: before the program's epoch (a logger without time
// sends 0) gives 0; gpsTime subtracts the leap seconds valid at that date.
uint32_t RecordTime(uint32_t deviceTime, bool gpsTime);

struct TrackRecord {
  uint16_t number = 0;
  core::TrackPoint point;
  uint8_t flag = 0;  // the record's flag byte
};
TrackRecord DecodeTrackRecord(const uint8_t* p, bool gpsTime);

// A waypoint record: 6 name bytes, then as a track record after its number.
bool DecodeWaypointRecord(const uint8_t* p, bool gpsTime, core::Waypoint& out);

// The software version of an MLR reply's fourth field in hundredths: its leading digits and
// point only ("2.80ENGLISH15/03/01" is 280, "2.8" 280, "10.00" 1000); -1 without a digit.
int VersionHundredths(std::string_view field);
// Receivers that report GPS time: versions below 2.72 and 9.90 to 9.99.
bool ReportsGpsTime(int versionHundredths);

}  // namespace tarnvik::devices::logit
