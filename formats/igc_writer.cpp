#include "formats/igc_writer.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "core/file_io.h"
#include "core/version.h"
#include "formats/crc32.h"
#include "formats/igc_signature.h"

namespace tarnvik::formats {
namespace {

// Builds the file and runs the signature register over the hashed lines as they are added.
struct IgcText {
  std::string text;
  uint32_t reg = kCrc32Start;

  void Add(std::string_view line, bool hashed) {
    text += line;
    if (hashed) reg = Crc32Update(reg, line.data(), line.size());
  }
  void AddFormat(bool hashed, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    char line[160];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length < 0) return;
    if (static_cast<size_t>(length) >= sizeof line) length = sizeof line - 1;
    Add(std::string_view(line, static_cast<size_t>(length)), hashed);
  }
};

// Outside text (instrument name, pilot, glider, serial...) as it may stand inside one record:
// every control character becomes a blank. A line break would end the record early and let
// the rest of the text stand as records of its own, hashed into the signature; a NUL, tab or
// escape has no place in a record either.
std::string RecordText(std::string_view text) {
  std::string clean(text);
  for (char& c : clean) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  return clean;
}

core::SystemTime FirstFixDate(std::span<const core::TrackPoint> fixes) {
  return core::TimeToCalendar(fixes.empty() ? 0 : fixes.front().time);
}

// Degrees, whole minutes and thousandths of a minute of one coordinate, and its hemisphere.
struct IgcAngle {
  int degrees;
  int minutes;
  int thousandths;
  char hemisphere;
};

IgcAngle ToIgcAngle(int32_t semicircles, char positive, char negative) {
  int64_t value = core::SemicircleToMilliMinute(semicircles);
  char hemisphere = value < 0 ? negative : positive;
  value = std::llabs(value);
  return {static_cast<int>(value / 60000), static_cast<int>(value % 60000 / 1000),
          static_cast<int>(value % 1000), hemisphere};
}

}  // namespace

bool IgcSourceMaySign(int sourceKind) {
  return (sourceKind >= 1 && sourceKind <= 6) || sourceKind == 8;
}

std::string FormatIgcLog(std::span<const core::TrackPoint> fixes, int sourceKind,
                         const IgcHeader& header, const core::SystemTime& downloadTime,
                         IgcGRecord gRecord) {
  IgcText out;
  out.text.reserve(400 + fixes.size() * 37);
  out.Add("AXTV" + RecordText(header.serial) + " " + RecordText(header.aRecordText) + "\r\n", true);
  const core::SystemTime date = FirstFixDate(fixes);
  out.AddFormat(true, "HFDTE%02d%02d%02d\r\n", date.day, date.month, date.year % 100);
  out.Add("HOPLTPILOT: " + RecordText(header.pilot) + "\r\n", false);
  out.Add("HOGTYGLIDERTYPE: " + RecordText(header.gliderType) + "\r\n", false);
  out.Add("HOGTYGLIDERID: " + RecordText(header.gliderId) + "\r\n", false);
  out.Add("HODTM100GPSDATUM: WGS-84\r\n", false);
  out.Add("HOCCLCOMPETITION CLASS: " + RecordText(header.competitionClass) + "\r\n", false);
  out.Add("HOSITSite: " + RecordText(header.site) + "\r\n", false);

  for (const core::TrackPoint& fix : fixes) {
    const core::SystemTime t = core::TimeToCalendar(fix.time);
    const IgcAngle lat = ToIgcAngle(fix.latitude, 'N', 'S');
    const IgcAngle lon = ToIgcAngle(fix.longitude, 'E', 'W');
    // Metres rounded from decimetres; below sea level counts 0. The five-digit field holds at
    // most 99999 m: a larger (corrupt) height is written as that rather than break the record.
    int altitude = fix.height >= 0 ? static_cast<int>((static_cast<int64_t>(fix.height) + 5) / 10) : 0;
    if (altitude > 99999) altitude = 99999;
    out.AddFormat(true, "B%02d%02d%02d%02d%02d%03d%c%03d%02d%03d%cA00000%05d\r\n", t.hour, t.minute,
                  t.second, lat.degrees, lat.minutes, lat.thousandths, lat.hemisphere, lon.degrees,
                  lon.minutes, lon.thousandths, lon.hemisphere, altitude);
  }

  out.AddFormat(true, "LXTV %s version %d.%02d\r\n", core::kProgramName, core::kVersion / 100,
                core::kVersion % 100);
  out.AddFormat(true, "LXTV Downloaded %d-%02d-%02d  %02d:%02d:%02d\r\n", downloadTime.year,
                downloadTime.month, downloadTime.day, downloadTime.hour, downloadTime.minute,
                downloadTime.second);

  const bool sign = gRecord == IgcGRecord::Always ||
                    (gRecord == IgcGRecord::IfFromInstrument && IgcSourceMaySign(sourceKind));
  if (sign) {
    std::string gLine = "G";
    gLine += IgcSignature(out.reg);
    gLine += "\r\n";
    out.Add(gLine, false);
  }
  return std::move(out.text);
}

int SaveIgcFileBytes(core::Ui& ui, const std::string& path, std::string_view bytes) {
  bool exists = false;
  std::string failure = core::CreateFileExclusively(path, bytes, exists);
  if (exists) {
    core::Answer answer = ui.Ask("File creation", "File already exists, overwrite ?",
                                 core::Buttons::OkCancel, core::Answer::Cancel);
    if (answer != core::Answer::Ok) return 1;
    failure = core::WriteFileAtomically(path, bytes);
  }
  if (!failure.empty()) {
    ui.ShowMessage("File write error", failure, core::Icon::Information);
    return -1;
  }
  return 0;
}

char IgcBase36Character(int value) {
  if (value < 0) value = 0;
  if (value > 35) value = 35;
  return value < 10 ? static_cast<char>('0' + value) : static_cast<char>('A' + value - 10);
}

namespace {

std::string FileName(const core::SystemTime& date, const char* manufacturer, const std::string& serial,
                     int flightNumber, bool shortName) {
  char name[300];
  if (shortName) {
    std::snprintf(name, sizeof name, "%d%c%cX%s%c.igc", date.year % 10, IgcBase36Character(date.month),
                  IgcBase36Character(date.day), serial.c_str(), IgcBase36Character(flightNumber));
  } else {
    std::snprintf(name, sizeof name, "%d-%02d-%02d-%s-%s-%02d.igc", date.year, date.month, date.day,
                  manufacturer, serial.c_str(), flightNumber);
  }
  return name;
}

}  // namespace

std::string MakeIgcFileName(uint32_t firstFixTime, const std::string& serial, int flightNumber,
                            bool shortName) {
  return FileName(core::TimeToCalendar(firstFixTime), "XTV", serial, flightNumber, shortName);
}

std::string MakeRawIgcFileName(const IgcBuffer& buffer, int flightNumber, bool shortName) {
  return FileName(core::TimeToCalendar(buffer.firstFixTime), buffer.manufacturer, buffer.serial,
                  flightNumber, shortName);
}

}  // namespace tarnvik::formats
