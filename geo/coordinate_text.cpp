#include "geo/coordinate_text.h"

#include <cmath>
#include <cstdio>

namespace tarnvik::geo {

namespace {

// The parsers use these truncated factors so that a typed value lands on the same radians as
// always.
constexpr double kDegreeRad = 0.01745329251994;
constexpr double kMinuteRad = 0.0002908882086657;
constexpr double kRadToArcSeconds = 206264.8062471;

constexpr int32_t kHundredthsPerDegree = 360000;
constexpr int32_t kPreciseFractionScale = 100000;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

// One or more digits whose value stays at most maxValue; false (p left anywhere) otherwise.
bool ReadBoundedInteger(const char*& p, int32_t maxValue, int32_t& value) {
  if (!IsDigit(*p)) return false;
  int32_t result = 0;
  while (IsDigit(*p)) {
    result = result * 10 + (*p - '0');
    if (result > maxValue) return false;
    ++p;
  }
  value = result;
  return true;
}

// Digits after the decimal mark as a value in [0, 1]; none gives 0.
double ReadFraction(const char*& p) {
  double fraction = 0;
  double scale = 0.1;
  while (IsDigit(*p)) {
    fraction += (*p - '0') * scale;
    scale /= 10.0;
    ++p;
  }
  return fraction;
}

bool IsDecimalMark(char c) { return c == '.' || c == ','; }

bool OnlyBlanksLeft(const char* p) { return *SkipBlanks(p) == '\0'; }

// Shared body of the ddmm.mmm readers: minutes as (n mod 100) + (n / 100) * 60 + fraction.
bool ReadMinutes(const char*& p, int32_t limit, bool markRequired, double& minutes) {
  int32_t whole = 0;
  if (!ReadBoundedInteger(p, limit - 1, whole)) return false;
  double fraction = 0;
  if (*p == '.') {
    ++p;
    fraction = ReadFraction(p);
  } else if (markRequired) {
    return false;
  }
  minutes = (whole % 100) + (whole / 100) * 60.0 + fraction;
  return true;
}

}  // namespace

std::string FormatDmsHundredths(int32_t value, bool isLatitude) {
  int64_t v = value;
  char letter = isLatitude ? 'N' : 'E';
  if (v < 0) {
    v = -v;
    letter = isLatitude ? 'S' : 'W';
  }
  const auto degrees = static_cast<long long>(v / kHundredthsPerDegree);
  const auto minutes = static_cast<int>((v / 6000) % 60);
  const auto seconds = static_cast<int>((v / 100) % 60);
  const auto hundredths = static_cast<int>(v % 100);
  char text[48];
  std::snprintf(text, sizeof text, isLatitude ? "%c %02lld  %02d  %02d.%02d" : "%c %03lld  %02d  %02d.%02d",
                letter, degrees, minutes, seconds, hundredths);
  return text;
}

std::string FormatDmsPrecise(double radians, bool isLatitude) {
  const char letter = radians < 0 ? (isLatitude ? 'S' : 'W') : (isLatitude ? 'N' : 'E');
  double s = std::fabs(radians) * kRadToArcSeconds;
  // Angles are at most a few turns; keep anything else (or a non-finite value) printable.
  if (!(s < 1e12)) s = std::isnan(s) ? 0.0 : 1e12;
  auto whole = static_cast<int64_t>(s);
  auto fraction = static_cast<int64_t>((s - static_cast<double>(whole)) * kPreciseFractionScale + 0.5);
  if (fraction > kPreciseFractionScale - 1) {
    whole += 1;
    fraction = 0;
  }
  const auto degrees = static_cast<long long>(whole / 3600);
  const auto minutes = static_cast<int>((whole % 3600) / 60);
  const auto seconds = static_cast<int>(whole % 60);
  char text[64];
  std::snprintf(text, sizeof text, isLatitude ? "%c %02lld %02d %02d.%05d" : "%c %03lld %02d %02d.%05d",
                letter, degrees, minutes, seconds, static_cast<int>(fraction));
  return text;
}

std::string FormatUtmZone(int32_t zone, char band) {
  char text[24];
  std::snprintf(text, sizeof text, "%02d%c", static_cast<int>(zone), band);
  return text;
}

std::string FormatUtmMetresPrecise(double metres) {
  char text[352];  // room for the largest double in %f
  std::snprintf(text, sizeof text, "%012.4f", metres);
  return text;
}

std::string FormatUtmMetresRounded(double metres) {
  const double rounded = std::trunc(metres + 0.5);
  // UTM figures stay far inside 32 bits; clamp anything else rather than overflow.
  const double clamped = std::isnan(rounded) ? 0.0 : std::fmax(-2147483648.0, std::fmin(rounded, 2147483647.0));
  char text[24];
  std::snprintf(text, sizeof text, "%07d", static_cast<int>(clamped));
  return text;
}

int ParseAngle(const char* text, bool isLatitude, double& radians) {
  const char* p = SkipBlanks(text);
  const char c = *p;
  bool negative = false;
  if (c == '+' || (isLatitude ? (c == 'N' || c == 'n') : (c == 'E' || c == 'e'))) {
    p = SkipBlanks(p + 1);
  } else if (c == '-' || (isLatitude ? (c == 'S' || c == 's') : (c == 'W' || c == 'w'))) {
    negative = true;
    p = SkipBlanks(p + 1);
  }

  // Degrees, then optionally minutes, then optionally seconds; each may end in a fraction,
  // which closes the text.
  constexpr double kUnitDivisor[] = {1.0, 60.0, 3600.0};
  int32_t whole = 0;
  if (!ReadBoundedInteger(p, isLatitude ? 89 : 179, whole)) return -1;
  double value = whole;
  for (int field = 0;; ++field) {
    if (IsDecimalMark(*p)) {
      ++p;
      value += ReadFraction(p) / kUnitDivisor[field];
      if (!OnlyBlanksLeft(p)) return -1;
      break;
    }
    if (*p == '\0') break;
    if (!IsBlank(*p)) return -1;
    p = SkipBlanks(p);
    if (*p == '\0') break;
    if (field == 2) return -1;  // nothing follows the seconds
    if (!ReadBoundedInteger(p, 59, whole)) return -1;
    value += whole / kUnitDivisor[field + 1];
  }
  value *= kDegreeRad;
  radians = negative ? -value : value;
  return 0;
}

int ParseUtmZone(const char* text, int32_t& zone, char& band) {
  const char* p = SkipBlanks(text);
  if (!IsDigit(*p)) return -2;
  int32_t number = 0;
  while (IsDigit(*p)) {
    number = number * 10 + (*p - '0');
    if (number > 60) return -1;
    ++p;
  }
  if (number == 0) return -2;
  p = SkipBlanks(p);
  char letter = *p;
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'B' || letter > 'X' || letter == 'I' || letter == 'O') return -3;
  if (!OnlyBlanksLeft(p + 1)) return -4;
  zone = number;
  band = letter;
  return 0;
}

int ParseDecimal(const char* text, double& value) {
  const char* p = SkipBlanks(text);
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  } else if (!IsDigit(*p)) {
    return -1;
  }
  int64_t whole = 0;
  while (IsDigit(*p)) {
    if (whole > 214748364) return -2;
    whole = whole * 10 + (*p - '0');
    ++p;
  }
  double result = static_cast<double>(whole);
  if (IsDecimalMark(*p)) {
    ++p;
    result += ReadFraction(p);
  }
  if (!OnlyBlanksLeft(p)) return -4;
  value = negative ? -result : result;
  return 0;
}

int ParseNmeaAngle(const char* text, bool isLatitude, double& radians) {
  const char* p = SkipBlanks(text);
  double minutes = 0;
  if (!ReadMinutes(p, isLatitude ? 9000 : 18000, true, minutes)) return -1;
  bool negative = false;
  const char c = *p;
  if (isLatitude ? (c == 'S' || c == 's') : (c == 'W' || c == 'w')) {
    negative = true;
  } else if (!(isLatitude ? (c == 'N' || c == 'n') : (c == 'E' || c == 'e'))) {
    return -1;
  }
  if (!OnlyBlanksLeft(p + 1)) return -1;
  const double value = minutes * kMinuteRad;
  radians = negative ? -value : value;
  return 0;
}

int ParseMinutesAngle(const char* text, double& radians) {
  const char* p = SkipBlanks(text);
  double minutes = 0;
  if (!ReadMinutes(p, 18000, false, minutes)) return -1;
  if (!OnlyBlanksLeft(p)) return -1;
  radians = minutes * kMinuteRad;
  return 0;
}

int ParseHhmmss(const char* text, int32_t& seconds, double& fraction) {
  const char* p = SkipBlanks(text);
  int32_t n = 0;
  if (!ReadBoundedInteger(p, 235959, n)) return -1;
  double part = 0;
  if (*p == '.') {
    ++p;
    part = ReadFraction(p);
  }
  if (!OnlyBlanksLeft(p)) return -1;
  seconds = (n % 100) + ((n / 100) % 100) * 60 + (n / 10000) * 3600;
  fraction = part;
  return 0;
}

}  // namespace tarnvik::geo
