// The records every instrument protocol fills and every file format writes, and the two
// encodings that run through the whole program: positions in semicircles (2^31 = 180 degrees)
// and times in unsigned seconds since 1989-12-31 00:00:00 UTC.
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvik::core {

// One fix of a track log: five 32-bit words, stored contiguously.
struct TrackPoint {
  uint32_t flags = 0;    // 1 = begins a new track segment, 0 = continues the current one
  uint32_t time = 0;     // seconds since 1989-12-31 00:00:00 UTC
  int32_t latitude = 0;  // semicircles
  int32_t longitude = 0; // semicircles
  int32_t height = 0;    // decimetres; 0 where the source delivers no height
};
static_assert(sizeof(TrackPoint) == 20, "a track point is five 32-bit words");

// One waypoint: 60 bytes. ID and comment are NUL-terminated, upper case, no trailing blanks;
// a zeroed record is the empty waypoint (unused text bytes are NUL).
struct Waypoint {
  int32_t latitude = 0;   // semicircles
  int32_t longitude = 0;  // semicircles
  int32_t altitude = 0;   // whole metres; 0 = unknown
  char id[7] = {};        // up to 6 characters
  char comment[41] = {};  // up to 40 characters
};
static_assert(sizeof(Waypoint) == 60, "a waypoint is 60 bytes");

// Calendar value with the fields of the platform's SYSTEMTIME layout. The conversions below
// read and write every field except dayOfWeek.
struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 0;  // 1-12
  uint16_t dayOfWeek = 0;
  uint16_t day = 0;    // 1-31
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
  friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

// The program's one current track log (owned by the application session).
struct TrackLog {
  std::vector<TrackPoint> points;
  int origin = 0;        // origin code of the delivering download; 0 for a log read from a file
  int sourceKind = 0;    // derived from the origin; decides whether a writer may sign
  int sourceFlag = 0;
  SystemTime takenOver;  // UTC time the log was taken over
  std::string sourceName;  // product description of the delivering unit (up to 80 characters)
};

struct WaypointList {
  std::vector<Waypoint> waypoints;
  int shownCount = 0;      // starts equal to waypoints.size()
  std::string sourceName;  // product description of the delivering unit (up to 80 characters)
};

// One segment of a zone outline. Positions are degrees (north and east positive).
struct CtrSegment {
  char kind = 0;        // 'P' point, 'C' circle, 'A' arc
  char direction = 0;   // arcs: '+' or '-'
  int32_t radius = 0;   // circles: the airspace file's radius value x 1000, rounded
  double latitude = 0;  // point, or centre of circle and arc
  double longitude = 0;
  double startLatitude = 0;  // arcs
  double startLongitude = 0;
  double endLatitude = 0;
  double endLongitude = 0;
};

// The number of segments the instrument formats were designed around; zones of real national
// files often hold more, and a zone keeps every segment it is given.
constexpr int kCtrMaxSegments = 100;
constexpr int kCtrTextLength = 50;
constexpr int kCtrDefaultWarningDistance = 200;

enum class CtrParseWarning : int32_t {
  None = 0,
  TooManySegments = 1,  // "Too many segments"
  DaRecord = 2,         // "DA record (not implemented)"
  DyRecord = 3,         // "DY record (not implemented)"
};

// One airspace zone. The list that holds the zones (CtrList) is doubly linked; the previous
// and next zone are those of the list.
struct CtrRecord {
  char name[kCtrTextLength + 1] = {};
  int32_t nameLength = 0;
  char ceiling[kCtrTextLength + 1] = {};
  char floor[kCtrTextLength + 1] = {};
  int32_t sourceLine = 0;
  CtrParseWarning parseWarning = CtrParseWarning::None;
  int32_t selected = 0;
  int32_t warningDistance = kCtrDefaultWarningDistance;
  std::vector<CtrSegment> segments;  // the outline in order; grows as needed
};

using CtrList = std::list<CtrRecord>;

// ---- position encodings -------------------------------------------------------------------

struct SemicirclePair {
  int32_t latitude = 0;
  int32_t longitude = 0;
  friend bool operator==(const SemicirclePair&, const SemicirclePair&) = default;
};
struct RadianPair {
  double latitude = 0;
  double longitude = 0;
};

// Degrees from radians, the factor every writer of decimal degrees uses.
constexpr double kDegreesPerRadian = 57.29577951308;

// Rounds half away from zero: add 0.5 to a value that is not negative, subtract 0.5 from a
// negative one, truncate toward zero. The caller keeps the value inside int32 range.
int32_t RoundHalfAway(double value);

double SemicircleToRadians(int32_t value);
RadianPair SemicircleToRadians(SemicirclePair pair);
int32_t RadiansToSemicircle(double radians);
SemicirclePair RadiansToSemicircle(RadianPair pair);
int32_t SemicircleToCentiArcsec(int32_t value);   // 360000 per degree
SemicirclePair SemicircleToCentiArcsec(SemicirclePair pair);
int32_t SemicircleToMilliMinute(int32_t value);   // 60000 per degree (ten-digit factor)
SemicirclePair SemicircleToMilliMinute(SemicirclePair pair);

// Checked conversions that every reader of outside values uses. The argument is the position
// already multiplied into semicircles by the reader's own factor (each format has its own). A
// value that is not finite or lies beyond +-90 degrees (latitude, 2^30) or +-180 degrees
// (longitude, 2^31) is refused (std::nullopt): the caller reports it as a bad position. Exactly
// +180 degrees becomes -2^31 (the same meridian; the encoding wraps). Values inside the range
// round half away from zero as everywhere else.
std::optional<int32_t> CheckedLatitude(double semicircles);
std::optional<int32_t> CheckedLongitude(double semicircles);
// The same from radians and from degrees with RadiansToSemicircle's factor.
std::optional<int32_t> LatitudeFromRadians(double radians);
std::optional<int32_t> LongitudeFromRadians(double radians);
std::optional<int32_t> LatitudeFromDegrees(double degrees);
std::optional<int32_t> LongitudeFromDegrees(double degrees);

// Track point height from metres: truncation toward zero of metres x 10 + 0.5. A value that is
// not finite or whose decimetres do not fit 32 bits counts as "no height" (0).
int32_t TrackHeightFromMetres(double metres);
// Waypoint altitude from metres: 0 outside +-20000 m (an instrument's "unknown" marker) or when
// not finite; otherwise rounded half away from zero.
int32_t WaypointAltitudeFromMetres(double metres);
// A time from a count of seconds since 1989-12-31 that may lie outside the encoding: refused
// when negative, not finite or beyond 2^32 - 1.
std::optional<uint32_t> CheckedTime(double seconds);

// ---- time encoding -------------------------------------------------------------------------

SystemTime TimeToCalendar(uint32_t time);
// Refuses (std::nullopt) a month outside 1-12 or a day outside 1-31. The year rule (divisible by
// 4 = leap year) holds for 1989-2099; the caller keeps the year in that range.
std::optional<uint32_t> CalendarToTime(const SystemTime& calendar);
// The same count of seconds, signed: negative for a moment before 1989-12-31 00:00:00, where
// CalendarToTime's unsigned result wraps.
std::optional<int64_t> CalendarToSeconds(const SystemTime& calendar);

// ---- waypoint text rules -------------------------------------------------------------------

// 0 success, -1 empty input, -2 a character not allowed (strict mode only).
int NormaliseWaypointId(std::string_view input, char (&output)[7], bool lenient);
// 0 valid, -1 empty or not allowed.
int ValidateWaypointId(std::string_view input, char (&output)[7]);
void NormaliseComment(std::string_view input, char (&output)[41]);
// An instrument's own ID or comment: upper-cased, cut after the last non-blank character, no
// character replacement. Copies at most outputSize - 1 bytes of input and NUL-terminates.
void CleanInstrumentText(std::string_view input, char* output, size_t outputSize);

// Parses 'N 59 54 30.5' or 'E 10,75' from a NUL-terminated text. Returns the position of the
// character that ended the number, or nullptr on failure.
const char* ParseHemispherePosition(const char* text, bool latitude, double& value);

// ---- progress texts ------------------------------------------------------------------------

// Replaces the first '%' by a, the second by b, the third by c and every further one by d.
std::string FormatCounts(std::string_view pattern, int32_t a = 0, int32_t b = 0, int32_t c = 0,
                         int32_t d = 0);

}  // namespace tarnvik::core
