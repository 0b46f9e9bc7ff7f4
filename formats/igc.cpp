#include "formats/igc.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "core/file_io.h"
#include "formats/crc32.h"
#include "formats/igc_signature.h"

namespace tarnvik::formats {
namespace {

constexpr uint32_t kSecondsPerDay = 86400;
// A fix whose time of day falls back by more than this against the previous fix's is taken to
// lie on the next day (the flight crossed 00:00 UTC); smaller steps back are logger glitches.
constexpr uint32_t kMidnightStepBack = 43200;
// Thousandths of a minute to semicircles (2^31 / 10 800 000, to ten digits).
constexpr double kSemicirclesPerMilliMinute = 198.8410785185;

constexpr const char* kReadCaption = "Reading IGC log file";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlphaNumeric(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Reads count digits at text; false at the first character that is not a digit (so a NUL stops
// the reading before anything beyond it is looked at).
bool ReadDigits(const char* text, int count, int32_t& value) {
  int32_t result = 0;
  for (int i = 0; i < count; ++i) {
    if (!IsDigit(text[i])) return false;
    result = result * 10 + (text[i] - '0');
  }
  value = result;
  return true;
}

std::string NumberedError(const char* what, int number, int line) {
  char text[64];
  std::snprintf(text, sizeof text, "%s %d on line %d", what, number, line);
  return text;
}

// One hemisphere-signed coordinate: degrees and thousandths of minutes to semicircles.
std::optional<int32_t> Coordinate(int32_t degrees, int32_t milliMinutes, bool negative, bool latitude) {
  int32_t count = degrees * 60000 + milliMinutes;
  if (negative) count = -count;
  double semicircles = count * kSemicirclesPerMilliMinute;
  return latitude ? core::CheckedLatitude(semicircles) : core::CheckedLongitude(semicircles);
}

}  // namespace

int64_t ParseIgcDate(const char* text) {
  // The long form that current loggers write: "DATE:ddmmyy" optionally followed by ",nn".
  bool longForm = std::strncmp(text, "DATE:", 5) == 0;
  if (longForm) text += 5;
  int32_t day, month, year;
  if (!ReadDigits(text, 2, day) || !ReadDigits(text + 2, 2, month) || !ReadDigits(text + 4, 2, year)) {
    return -1;
  }
  if (!(text[6] == '\0' || (longForm && text[6] == ','))) return -1;
  if (day < 1 || day > 31 || month < 1 || month > 12) return -1;
  core::SystemTime date;
  date.year = static_cast<uint16_t>(2000 + year);
  date.month = static_cast<uint16_t>(month);
  date.day = static_cast<uint16_t>(day);
  std::optional<uint32_t> seconds = core::CalendarToTime(date);
  return seconds ? static_cast<int64_t>(*seconds) : -1;
}

int ParseIgcFix(const char* text, core::TrackPoint& point) {
  int32_t hour, minute, second, latDegrees, latMinutes, lonDegrees, lonMinutes, altitude;
  if (!ReadDigits(text, 2, hour)) return -1;
  if (hour > 23) return -2;
  if (!ReadDigits(text + 2, 2, minute)) return -3;
  if (minute > 59) return -4;
  if (!ReadDigits(text + 4, 2, second)) return -5;
  if (second > 59) return -6;
  if (!ReadDigits(text + 6, 2, latDegrees)) return -7;
  if (latDegrees > 89) return -8;
  if (!ReadDigits(text + 8, 5, latMinutes)) return -9;
  if (latMinutes > 60000) return -10;
  if (text[13] != 'N' && text[13] != 'S') return -11;
  if (!ReadDigits(text + 14, 3, lonDegrees)) return -12;
  if (lonDegrees > 179) return -13;
  if (!ReadDigits(text + 17, 5, lonMinutes)) return -14;
  if (lonMinutes > 60000) return -15;
  if (text[22] != 'E' && text[22] != 'W') return -16;
  for (int i = 23; i < 29; ++i) {  // validity flag and pressure altitude, not used
    if (text[i] == '\0') return -17;
  }
  if (!ReadDigits(text + 29, 5, altitude)) return -18;

  std::optional<int32_t> latitude = Coordinate(latDegrees, latMinutes, text[13] == 'S', true);
  if (!latitude) return -10;
  std::optional<int32_t> longitude = Coordinate(lonDegrees, lonMinutes, text[22] == 'W', false);
  if (!longitude) return -15;
  point.time = static_cast<uint32_t>((hour * 60 + minute) * 60 + second);
  point.latitude = *latitude;
  point.longitude = *longitude;
  point.height = altitude * 10;
  return 0;
}

IgcParseResult ParseIgcLog(std::string_view text) {
  IgcParseResult result;
  auto fail = [&result](std::string message) {
    result.fixes = {};
    result.count = 0;
    result.error = std::move(message);
    return std::move(result);
  };
  try {
    result.fixes.reserve(kIgcInitialFixes);
  } catch (const std::bad_alloc&) {
    return fail("Memory allocation error");
  }

  bool haveDate = false;
  bool haveARecord = false;
  int64_t dateSeconds = 0;
  uint32_t dayOffset = 0;
  uint32_t previousTimeOfDay = 0;
  int lineNumber = 0;
  char line[kIgcLineLength + 1];

  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    // Every line is handled, including a last one that no line feed ends.
    const char* lineFeed = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* lineEnd = lineFeed ? lineFeed : end;
    const char* next = lineFeed ? lineFeed + 1 : end;
    ++lineNumber;
    const char first = p < lineEnd ? *p : '\0';
    if (first != 'A' && first != 'B' && first != 'H') {
      p = next;
      continue;
    }
    // The line as the parser sees it: at most 80 characters, each carriage return a terminator.
    size_t length = static_cast<size_t>(lineEnd - p);
    if (length > kIgcLineLength) length = kIgcLineLength;
    std::memcpy(line, p, length);
    line[length] = '\0';
    for (char* cr = static_cast<char*>(std::memchr(line, '\r', length)); cr != nullptr;
         cr = static_cast<char*>(std::memchr(cr, '\r', length - static_cast<size_t>(cr - line)))) {
      *cr = '\0';
    }
    p = next;

    if (first == 'H') {
      if (std::strncmp(line, "HFDTE", 5) != 0) continue;
      int64_t date = ParseIgcDate(line + 5);
      if (haveDate) {
        // Files often carry the date twice (long and short form); only a different one is wrong.
        if (date != dateSeconds) return fail("Multiple date lines");
        continue;
      }
      if (date < 0) return fail(NumberedError("Date error", 1, lineNumber));
      dateSeconds = date;
      haveDate = true;
    } else if (first == 'A') {
      if (haveARecord) return fail("Multiple A-records");
      // The manufacturer code, then the serial: the letters and digits that follow it, at
      // most three. Loggers without IGC approval write the code alone ("AXSR") or free text
      // after it ("AXLL LiveTrack24", "AXGD Flymaster F1, V1.5, S/N 236"); the rest of the line
      // is ignored.
      const size_t aLength = std::strlen(line);
      if (aLength < 4) return fail("Too short A-record");
      for (int i = 1; i <= 3; ++i) {
        if (!IsAlphaNumeric(line[i])) return fail("Bad IGC manufacturer found in the A-record");
      }
      size_t serialLength = 0;
      while (serialLength < 3 && IsAlphaNumeric(line[4 + serialLength])) ++serialLength;
      std::memcpy(result.manufacturer, line + 1, 3);
      std::memcpy(result.serial, line + 4, serialLength);
      haveARecord = true;
    } else {
      if (!haveDate) return fail("Missing date line");
      if (result.fixes.size() == result.fixes.capacity()) {
        try {
          result.fixes.reserve(result.fixes.capacity() * 2);
        } catch (const std::bad_alloc&) {
          return fail("Memory allocation error");
        }
      }
      core::TrackPoint point;
      int error = ParseIgcFix(line + 1, point);
      if (error < 0) return fail(NumberedError("Pos. error", -error, lineNumber));
      const uint32_t timeOfDay = point.time;
      if (!result.fixes.empty() && timeOfDay + kMidnightStepBack < previousTimeOfDay) {
        dayOffset += kSecondsPerDay;
      }
      previousTimeOfDay = timeOfDay;
      point.flags = result.fixes.empty() ? 1 : 0;
      point.time = static_cast<uint32_t>(dateSeconds) + dayOffset + timeOfDay;
      result.fixes.push_back(point);
    }
  }

  if (result.fixes.empty()) return fail(haveARecord ? "No positions found" : "No A-record found");
  // Fixes without any A record (some loggers write none): the logger is unknown.
  if (!haveARecord) std::memcpy(result.manufacturer, kIgcUnknownManufacturer, sizeof result.manufacturer);
  result.count = static_cast<int>(result.fixes.size());
  return result;
}

TrackParseResult ReadIgcFileBuffer(core::Ui& ui, std::string_view bytes, IgcBuffer& buffer) {
  TrackParseResult out;
  IgcParseResult parsed = ParseIgcLog(bytes);
  if (parsed.count <= 0) {
    ui.ShowMessage(kReadCaption, parsed.error, core::Icon::Error);
    return out;
  }
  buffer.Clear();
  try {
    buffer.bytes.assign(bytes.data(), bytes.size());
    buffer.firstFixTime = parsed.fixes.front().time;
    std::memcpy(buffer.manufacturer, parsed.manufacturer, sizeof buffer.manufacturer);
    std::memcpy(buffer.serial, parsed.serial, sizeof buffer.serial);
  } catch (const std::bad_alloc&) {
    buffer.Clear();  // no copy: the buffer stays empty, the fixes are still good
  }
  out.result = parsed.count;
  out.fixes = std::move(parsed.fixes);
  return out;
}

TrackParseResult ReadIgcFile(core::Ui& ui, const std::string& logFileName) {
  TrackParseResult out;
  if (logFileName.size() > 256) {
    ui.ShowMessage(kReadCaption, "File name too long", core::Icon::Error);
    return out;
  }
  core::FileBytes file = core::ReadWholeFile(logFileName + ".igc");
  switch (file.error) {
    case core::ReadError::None:
      break;
    case core::ReadError::Open:
      ui.ShowMessage("Error opening file", file.systemText, core::Icon::Information);
      return out;
    case core::ReadError::TooLarge:
      ui.ShowMessage("Memory allocation error", file.systemText, core::Icon::Information);
      return out;
    case core::ReadError::Read:
      ui.ShowMessage("IGC track log file read error", file.systemText, core::Icon::Information);
      return out;
  }
  if (file.size == 0) {
    ui.ShowMessage(kReadCaption, "File is empty", core::Icon::Error);
    return out;
  }
  IgcParseResult parsed = ParseIgcLog(std::string_view(file.begin(), file.size));
  if (parsed.count <= 0) {
    ui.ShowMessage(kReadCaption, parsed.error, core::Icon::Error);
    return out;
  }
  out.result = parsed.count;
  out.fixes = std::move(parsed.fixes);
  return out;
}

IgcVerification VerifyIgcBytes(std::string_view bytes) {
  const IgcVerification passed{IgcCheck::Passed, "Security check PASSED", core::Icon::None};
  const IgcVerification failed{IgcCheck::Failed, "Security check FAILED", core::Icon::Error};
  const IgcVerification missing{IgcCheck::NoSecurityRecord, "No security record", core::Icon::None};

  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  uint32_t reg = kCrc32Start;
  while (true) {
    if (p == end) return missing;
    const char first = *p;
    const char second = p + 1 < end ? p[1] : '\0';
    const bool hashed = first == 'A' || first == 'B' || (first == 'H' && second == 'F') ||
                        (first == 'L' && second == 'X');
    if (hashed) {
      const char* lineFeed = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (lineFeed == nullptr) return failed;  // the file ends inside the line
      reg = Crc32Update(reg, p, static_cast<size_t>(lineFeed + 1 - p));
      p = lineFeed + 1;
    } else if (first == 'H' || first == 'L') {
      // Skipped unhashed: up to the first CR or LF, then every CR and LF that follows.
      while (p < end && *p != '\r' && *p != '\n') ++p;
      if (p == end) return failed;
      while (p < end && (*p == '\r' || *p == '\n')) ++p;
    } else if (first == 'G') {
      const std::string expected = IgcSignature(reg);
      ++p;
      if (static_cast<size_t>(end - p) < expected.size()) return failed;
      if (std::memcmp(p, expected.data(), expected.size()) != 0) return failed;
      for (p += expected.size(); p < end; ++p) {
        if (*p != '\r' && *p != '\n') return failed;
      }
      return passed;
    } else {
      return failed;
    }
  }
}

std::optional<IgcCheck> VerifyIgcFile(core::Ui& ui, std::string& folder) {
  core::FileRequest request;
  request.title = "Read track log";
  request.filters = {{"IGC track log files", "*.igc"}};
  request.folder = folder;
  std::optional<std::string> path = ui.ChooseOpenFile(request);
  folder = request.folder;
  if (!path) return std::nullopt;

  core::FileBytes file = core::ReadWholeFile(*path);
  switch (file.error) {
    case core::ReadError::None:
      break;
    case core::ReadError::Open:
      ui.ShowMessage("Error opening track log file", file.systemText, core::Icon::Information);
      return std::nullopt;
    case core::ReadError::TooLarge:
      ui.ShowMessage("File buffer memory allocation", file.systemText, core::Icon::Information);
      return std::nullopt;
    case core::ReadError::Read:
      ui.ShowMessage("Track log file read error", file.systemText, core::Icon::Information);
      return std::nullopt;
  }
  if (file.size == 0) {
    ui.ShowMessage("Reading track log file", "File is empty", core::Icon::Error);
    return std::nullopt;
  }
  IgcVerification verification = VerifyIgcBytes(std::string_view(file.begin(), file.size));
  ui.ShowMessage("Security check", verification.message, verification.icon);
  return verification.outcome;
}

}  // namespace tarnvik::formats
