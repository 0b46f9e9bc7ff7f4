// Text forms of positions and times: what the lists, dialogs and text files show, and the parsers
// that read dialog fields and file fields back. Every parser takes NUL-terminated text, never reads
// past the NUL, and leaves its outputs untouched on failure. Blanks are spaces and tabs.
#pragma once

#include <cstdint>
#include <string>

namespace tarnvik::geo {

// "N 60  30  00.00" / "E 008  15  00.00": value in hundredths of a second of arc (360000 per
// degree), negative south or west.
std::string FormatDmsHundredths(int32_t value, bool isLatitude);

// "N 60 30 00.00000" / "W 008 15 00.00000" from radians; the fraction of a second is rounded to
// five digits and carried into the whole seconds before they are split.
std::string FormatDmsPrecise(double radians, bool isLatitude);

// UTM fields: "%02d%c" (zone and band), "%012.4f" (coordinate tools) and "%07d" of the value
// rounded half up (lists).
std::string FormatUtmZone(int32_t zone, char band);
std::string FormatUtmMetresPrecise(double metres);
std::string FormatUtmMetresRounded(double metres);

// Free latitude or longitude: optional hemisphere or sign, then degrees with a fraction, degrees
// and minutes with a fraction, or degrees, minutes and seconds with a fraction ("." or ",").
// 0, or -1 on any fault.
int ParseAngle(const char* text, bool isLatitude, double& radians);

// Zone number and band letter ("32V", "32 v"): 0; -1 zone above 60; -2 no leading digit or zone 0;
// -3 missing or bad band letter; -4 anything after the band.
int ParseUtmZone(const char* text, int32_t& zone, char& band);

// Signed decimal number ("." or "," before the fraction): 0; -1 no sign and no leading digit;
// -2 integer part too large; -4 anything after the number.
int ParseDecimal(const char* text, double& value);

// ddmm.mmmH / dddmm.mmmH with the hemisphere letter right after the fraction: 0 or -1.
int ParseNmeaAngle(const char* text, bool isLatitude, double& radians);

// dddmm.mmm without hemisphere (the "." and fraction optional): 0 or -1.
int ParseMinutesAngle(const char* text, double& radians);

// hhmmss with an optional fraction: seconds of the day and the fraction apart. 0 or -1.
int ParseHhmmss(const char* text, int32_t& seconds, double& fraction);

}  // namespace tarnvik::geo
