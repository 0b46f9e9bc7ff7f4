#include "core/records.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarnvik::core {
namespace {

constexpr double kSemicircleToRadians = 1.4629180792671596e-9;  // pi / 2^31
constexpr double kRadiansToSemicircle = 683565275.5764316;      // 2^31 / pi
constexpr double kSemicircleToCentiArcsec = 0.030174851417541504;
constexpr double kSemicircleToMilliMinute = 0.0050291419029;     // ten-digit factor, not exact
constexpr double kTwo30 = 1073741824.0;
constexpr double kTwo31 = 2147483648.0;

// Truncation toward zero into 64 bits, then into the 32-bit field (wrapping like the
// encoding does). Values far outside any field are first clamped so the cast is defined.
int32_t TruncateToField(double value) {
  if (!std::isfinite(value)) return 0;
  if (value > 9.0e18) value = 9.0e18;
  if (value < -9.0e18) value = -9.0e18;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(value)));
}

double HalfAway(double value) { return value >= 0 ? value + 0.5 : value - 0.5; }

constexpr int kCumulativeDays[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};

bool IsIdCharacter(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

int32_t RoundHalfAway(double value) { return TruncateToField(HalfAway(value)); }

double SemicircleToRadians(int32_t value) { return value * kSemicircleToRadians; }
RadianPair SemicircleToRadians(SemicirclePair pair) {
  return {SemicircleToRadians(pair.latitude), SemicircleToRadians(pair.longitude)};
}
int32_t RadiansToSemicircle(double radians) { return RoundHalfAway(radians * kRadiansToSemicircle); }
SemicirclePair RadiansToSemicircle(RadianPair pair) {
  return {RadiansToSemicircle(pair.latitude), RadiansToSemicircle(pair.longitude)};
}
int32_t SemicircleToCentiArcsec(int32_t value) { return RoundHalfAway(value * kSemicircleToCentiArcsec); }
SemicirclePair SemicircleToCentiArcsec(SemicirclePair pair) {
  return {SemicircleToCentiArcsec(pair.latitude), SemicircleToCentiArcsec(pair.longitude)};
}
int32_t SemicircleToMilliMinute(int32_t value) { return RoundHalfAway(value * kSemicircleToMilliMinute); }
SemicirclePair SemicircleToMilliMinute(SemicirclePair pair) {
  return {SemicircleToMilliMinute(pair.latitude), SemicircleToMilliMinute(pair.longitude)};
}

// Half a semicircle of slack at the ends absorbs the last digit of a reader's conversion
// factor (90 degrees times a ten-digit factor lands a hair beyond 2^30).
std::optional<int32_t> CheckedLatitude(double semicircles) {
  if (!std::isfinite(semicircles) || semicircles > kTwo30 + 0.5 || semicircles < -kTwo30 - 0.5) {
    return std::nullopt;
  }
  int32_t value = RoundHalfAway(semicircles);
  return std::clamp(value, -(1 << 30), 1 << 30);
}

std::optional<int32_t> CheckedLongitude(double semicircles) {
  if (!std::isfinite(semicircles) || semicircles > kTwo31 + 0.5 || semicircles < -kTwo31 - 0.5) {
    return std::nullopt;
  }
  // +2^31 does not fit; it is the same meridian as -2^31, which the wrap gives.
  return RoundHalfAway(semicircles);
}

std::optional<int32_t> LatitudeFromRadians(double radians) { return CheckedLatitude(radians * kRadiansToSemicircle); }
std::optional<int32_t> LongitudeFromRadians(double radians) { return CheckedLongitude(radians * kRadiansToSemicircle); }
std::optional<int32_t> LatitudeFromDegrees(double degrees) {
  if (!std::isfinite(degrees) || degrees > 90.0 || degrees < -90.0) return std::nullopt;
  return CheckedLatitude(degrees / kDegreesPerRadian * kRadiansToSemicircle);
}
std::optional<int32_t> LongitudeFromDegrees(double degrees) {
  if (!std::isfinite(degrees) || degrees > 180.0 || degrees < -180.0) return std::nullopt;
  return CheckedLongitude(degrees / kDegreesPerRadian * kRadiansToSemicircle);
}

int32_t TrackHeightFromMetres(double metres) {
  if (!std::isfinite(metres)) return 0;
  double decimetres = std::trunc(metres * 10.0 + 0.5);
  if (decimetres > 2147483647.0 || decimetres < -2147483648.0) return 0;
  return static_cast<int32_t>(decimetres);
}

int32_t WaypointAltitudeFromMetres(double metres) {
  if (!std::isfinite(metres) || metres > 20000.0 || metres < -20000.0) return 0;
  return RoundHalfAway(metres);
}

std::optional<uint32_t> CheckedTime(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0 || seconds > 4294967295.0) return std::nullopt;
  return static_cast<uint32_t>(seconds);
}

SystemTime TimeToCalendar(uint32_t time) {
  SystemTime out;
  uint32_t u = time + 31449600u;  // seconds since 1989-01-01 00:00, wrapping like the field
  uint32_t secondOfDay = u % 86400u;
  out.hour = static_cast<uint16_t>(secondOfDay / 3600u);
  out.minute = static_cast<uint16_t>((secondOfDay % 3600u) / 60u);
  out.second = static_cast<uint16_t>(secondOfDay % 60u);
  out.milliseconds = 0;
  uint32_t block = u / 126230400u;
  uint32_t dayInBlock = (u / 86400u) % 1461u;
  uint32_t yearInBlock = dayInBlock < 365 ? 0 : dayInBlock < 730 ? 1 : dayInBlock < 1095 ? 2 : 3;
  uint32_t dayOfYear = dayInBlock - 365u * yearInBlock;
  out.year = static_cast<uint16_t>(1989u + 4u * block + yearInBlock);
  const int* cumulative = kCumulativeDays[yearInBlock == 3 ? 1 : 0];
  int month = 11;
  while (month > 0 && static_cast<uint32_t>(cumulative[month]) > dayOfYear) --month;
  out.month = static_cast<uint16_t>(month + 1);
  out.day = static_cast<uint16_t>(dayOfYear - cumulative[month] + 1);
  return out;
}

std::optional<uint32_t> CalendarToTime(const SystemTime& c) {
  std::optional<int64_t> seconds = CalendarToSeconds(c);
  if (!seconds) return std::nullopt;
  return static_cast<uint32_t>(*seconds);
}

std::optional<int64_t> CalendarToSeconds(const SystemTime& c) {
  if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31) return std::nullopt;
  int year = c.year;
  const int* cumulative = kCumulativeDays[year % 4 == 0 ? 1 : 0];
  // floor((Y - 1989) / 4) for years before 1989 as well, so the arithmetic stays defined.
  int quarter = (year - 1989) >= 0 ? (year - 1989) / 4 : -((1989 - year + 3) / 4);
  int64_t days = 365LL * (year - 1990) + quarter + cumulative[c.month - 1] + c.day;
  return 86400LL * days + 3600LL * c.hour + 60LL * c.minute + c.second;
}

int NormaliseWaypointId(std::string_view input, char (&output)[7], bool lenient) {
  std::memset(output, 0, sizeof output);
  size_t i = 0;
  auto at = [&](size_t k) { return k < input.size() ? input[k] : '\0'; };
  while (at(i) == ' ') ++i;
  if (at(i) == '\0') return -1;
  int taken = 0;
  while (taken < 6 && at(i) != '\0' && at(i) != ' ') {
    char c = at(i);
    if (!IsIdCharacter(c)) {
      if (!lenient) return -2;
      c = (c >= 'a' && c <= 'z') ? Upper(c) : '-';
    }
    output[taken++] = c;
    ++i;
  }
  while (at(i) == ' ') ++i;
  if (at(i) != '\0' && !lenient) return -2;
  return 0;
}

int ValidateWaypointId(std::string_view input, char (&output)[7]) {
  std::memset(output, 0, sizeof output);
  size_t i = 0;
  auto at = [&](size_t k) { return k < input.size() ? input[k] : '\0'; };
  while (at(i) == ' ') ++i;
  if (at(i) == '\0') return -1;
  int taken = 0;
  while (taken < 6 && at(i) != '\0' && at(i) != ' ') {
    char c = Upper(at(i));
    if (!IsIdCharacter(c)) return -1;
    output[taken++] = c;
    ++i;
  }
  while (at(i) == ' ') ++i;
  if (at(i) != '\0') return -1;
  return 0;
}

void NormaliseComment(std::string_view input, char (&output)[41]) {
  std::memset(output, 0, sizeof output);
  size_t i = 0;
  auto at = [&](size_t k) { return k < input.size() ? input[k] : '\0'; };
  while (at(i) == ' ') ++i;
  int length = 0;
  while (length < 40 && at(i) != '\0') {
    char c = Upper(at(i));
    if (!IsIdCharacter(c) && c != ' ') c = '-';
    output[length++] = c;
    ++i;
  }
  while (length > 0 && output[length - 1] == ' ') output[--length] = '\0';
}

void CleanInstrumentText(std::string_view input, char* output, size_t outputSize) {
  if (outputSize == 0) return;
  size_t length = 0;
  while (length + 1 < outputSize && length < input.size() && input[length] != '\0') {
    output[length] = Upper(input[length]);
    ++length;
  }
  while (length > 0 && output[length - 1] == ' ') --length;
  std::memset(output + length, 0, outputSize - length);
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
const char* SkipBlanks(const char* p) {
  while (*p == ' ') ++p;
  return p;
}
// Reads whole digits into value; fails when none is there or the value reaches the limit.
const char* ReadWhole(const char* p, int limit, int& value) {
  if (!IsDigit(*p)) return nullptr;
  value = 0;
  while (IsDigit(*p)) {
    value = value * 10 + (*p - '0');
    if (value >= limit) return nullptr;
    ++p;
  }
  return p;
}
// Reads the digits of a decimal fraction after '.' or ','.
const char* ReadFraction(const char* p, double& fraction) {
  fraction = 0;
  double scale = 0.1;
  while (IsDigit(*p)) {
    fraction += (*p - '0') * scale;
    scale /= 10;
    ++p;
  }
  return p;
}

}  // namespace

const char* ParseHemispherePosition(const char* text, bool latitude, double& value) {
  const char* p = SkipBlanks(text);
  bool negative;
  char h = *p;
  if (latitude && (h == 'N' || h == 'n')) negative = false;
  else if (latitude && (h == 'S' || h == 's')) negative = true;
  else if (!latitude && (h == 'E' || h == 'e')) negative = false;
  else if (!latitude && (h == 'W' || h == 'w')) negative = true;
  else return nullptr;
  p = SkipBlanks(p + 1);
  int degrees = 0;
  p = ReadWhole(p, latitude ? 90 : 180, degrees);
  if (!p) return nullptr;
  double result = degrees;
  double fraction = 0;
  if (*p == '.' || *p == ',') {
    p = ReadFraction(p + 1, fraction);
    result += fraction;
  } else if (*p == ' ') {
    int minutes = 0;
    p = ReadWhole(SkipBlanks(p), 60, minutes);
    if (!p) return nullptr;
    result += minutes / 60.0;
    if (*p == '.' || *p == ',') {
      p = ReadFraction(p + 1, fraction);
      result += fraction / 60.0;
    } else if (*p == ' ') {
      int seconds = 0;
      p = ReadWhole(SkipBlanks(p), 60, seconds);
      if (!p) return nullptr;
      result += seconds / 3600.0;
      if (*p == '.' || *p == ',') {
        p = ReadFraction(p + 1, fraction);
        result += fraction / 3600.0;
      }
    }
  }
  value = negative ? -result : result;
  return p;
}

std::string FormatCounts(std::string_view pattern, int32_t a, int32_t b, int32_t c, int32_t d) {
  std::string out;
  out.reserve(pattern.size() + 16);
  const int32_t values[4] = {a, b, c, d};
  int next = 0;
  for (char ch : pattern) {
    if (ch != '%') {
      out.push_back(ch);
      continue;
    }
    out += std::to_string(values[next]);
    if (next < 3) ++next;
  }
  return out;
}

}  // namespace tarnvik::core
