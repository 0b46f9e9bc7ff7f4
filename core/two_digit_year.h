// Two-digit years as GPS receivers send them (Magellan track logs and sentences): the receivers
// of this kind appeared in the 1990s, so 90-99 are 1990-1999 and 00-89 are 2000-2089.
#pragma once

namespace tarnvik::core {

constexpr int kTwoDigitYearPivot = 90;

// The full year of a two-digit year 0-99.
constexpr int YearFromTwoDigits(int twoDigitYear) {
  return twoDigitYear >= kTwoDigitYearPivot ? 1900 + twoDigitYear : 2000 + twoDigitYear;
}

}  // namespace tarnvik::core
