// Magellan's NMEA sentences: the collector that takes "$body*hh\r\n" off the line, the field
// split (with the ESC-hex escape units use for a comma inside a field), and the interpreters
// of the product, track point and waypoint replies, and the waypoint upload sentence.
//
// Everything here works on bytes already received; the routines that talk to the receiver
// are in magellan_transfers.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"

namespace tarnvik::devices::magellan {

constexpr int kMagellanOrigin = 7;
constexpr size_t kMaxBodyLength = 100;
constexpr uint8_t kEscape = 0x1B;

// Collects one sentence: bytes before "$" are skipped; up to 100 body characters are kept
// (more are dropped but still counted in the checksum) until "*"; then two hex digits, CR, LF.
class SentenceCollector {
 public:
  static constexpr int kMore = 0;
  static constexpr int kSentence = -1;
  // kMore, kSentence (body() holds it), or a sentence code: 2 bad hex digit, 3 no CR or
  // checksum mismatch, 4 no LF. After a code the collector waits for the next "$".
  int Feed(uint8_t byte);
  const std::string& body() const { return body_; }
  void Reset() { state_ = State::Idle; }

 private:
  enum class State { Idle, Body, Hex1, Hex2, Cr, Lf };
  State state_ = State::Idle;
  std::string body_;
  uint8_t sum_ = 0;
  int given_ = 0;
};

// The XOR of a sentence body.
uint8_t SentenceChecksum(std::string_view body);
// "$body*HH\r\n".
std::string FrameSentence(std::string_view body);

// The fields of a body split at commas; leading blanks of each field skipped; ESC followed by
// two hex digits becomes that byte (units send a comma inside a field as ESC "2C").
std::vector<std::string> SplitFields(std::string_view body);

struct ProductData {
  int model = 0;
  int version = 0;          // software version x 100, rounded
  std::string versionText;  // at most 40 characters
  std::string name;         // at most 60 characters
  std::string Description() const;  // "NAME, SW 3.14", at most 80 characters
};
// 0, or the "$PMGNVER" code: 1 no model, 2 model not numeric, 3 no version, 4 no name.
int ParseProduct(const std::vector<std::string>& fields, ProductData& out);

// Position of fields[first..first+3] (latitude DDMM.mmm, N/S, longitude DDDMM.mmm, E/W).
// 0, or codes 1-11.
int ParsePosition(const std::vector<std::string>& fields, size_t first, int32_t& latitude, int32_t& longitude);

// A "$PMGNTRK" record. 0 with the point; kSkipped for a record whose validity is not A; or a
// code 1-21.
constexpr int kSkipped = -1;
int ParseTrackPoint(const std::vector<std::string>& fields, core::TrackPoint& out);

// A "$PMGNWPL" record (fields past the comment, such as the icon, are ignored). 0, or a code
// 1-16.
int ParseWaypoint(const std::vector<std::string>& fields, core::Waypoint& out);

// "hhmmss" with an optional fraction: seconds of the day (86400 when a fraction rounds the
// last second up), or -1.
int ParseTimeOfDay(std::string_view text);

// The upload sentence of one waypoint, framed.
std::string BuildWaypointSentence(const core::Waypoint& waypoint);
// An ID or comment as sent: a comma as ESC "2C", '*', '$', CR and LF as a blank.
std::string EscapeField(std::string_view text);

}  // namespace tarnvik::devices::magellan
