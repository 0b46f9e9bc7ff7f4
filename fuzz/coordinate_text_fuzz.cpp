// Feeds arbitrary bytes to the coordinate and time text parsers (dialog fields, waypoint and track
// file fields) and checks the ranges every accepted value must lie in.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "geo/coordinate_text.h"

namespace {

constexpr double kDegreeRad = 0.01745329251994;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::geo;
  // An exactly sized heap copy with one NUL, so that any read past the NUL is caught.
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = '\0';

  for (bool isLatitude : {true, false}) {
    double radians = 0;
    if (ParseAngle(text.get(), isLatitude, radians) == 0) {
      Check(std::fabs(radians) <= (isLatitude ? 90.0 : 180.0) * kDegreeRad);
    }
    if (ParseNmeaAngle(text.get(), isLatitude, radians) == 0) {
      Check(std::isfinite(radians) && std::fabs(radians) < 200.0 * kDegreeRad);
    }
  }
  double radians = 0;
  if (ParseMinutesAngle(text.get(), radians) == 0) Check(radians >= 0 && radians < 200.0 * kDegreeRad);

  int32_t zone = 0;
  char band = 0;
  const int zoneResult = ParseUtmZone(text.get(), zone, band);
  Check(zoneResult <= 0 && zoneResult >= -4);
  if (zoneResult == 0) {
    Check(zone >= 1 && zone <= 60 && band >= 'B' && band <= 'X' && band != 'I' && band != 'O');
  }

  double value = 0;
  const int decimalResult = ParseDecimal(text.get(), value);
  Check(decimalResult == 0 || decimalResult == -1 || decimalResult == -2 || decimalResult == -4);
  if (decimalResult == 0) Check(std::fabs(value) < 2147483650.0);

  int32_t seconds = -1;
  double fraction = -1;
  if (ParseHhmmss(text.get(), seconds, fraction) == 0) {
    Check(seconds >= 0 && seconds <= 23 * 3600 + 99 * 60 + 99 && fraction >= 0 && fraction <= 1);
  }

  // The display forms take any number the records can hold.
  if (size >= sizeof(int32_t) + sizeof(double)) {
    int32_t hundredths = 0;
    double angle = 0;
    std::memcpy(&hundredths, data, sizeof hundredths);
    std::memcpy(&angle, data + sizeof hundredths, sizeof angle);
    Check(!FormatDmsHundredths(hundredths, true).empty() && !FormatDmsHundredths(hundredths, false).empty());
    Check(!FormatDmsPrecise(angle, true).empty() && !FormatDmsPrecise(angle, false).empty());
    Check(!FormatUtmMetresPrecise(angle).empty() && !FormatUtmMetresRounded(angle).empty());
  }
  return 0;
}
