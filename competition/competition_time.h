// The competition start time: shown and typed as UTC date and time; fixes before it are left
// out of competition logs.
#pragma once

#include <cstdint>
#include <string>

#include "core/ports.h"

namespace tarnvik::competition {

inline constexpr const char* kCompTimeCaption = "Read comp. time";

// "%d-%02d-%02d" and "%02d:%02d:%02d" of a program time (UTC).
std::string FormatCompetitionDate(uint32_t time);
std::string FormatCompetitionClock(uint32_t time);

// Parses the two fields of "Set Competition Time". On a fault shows "Missing date", "Missing
// time", "Bad date" or "Bad time" (caption "Read comp. time") and returns -1 with `time`
// untouched. A date is year-month-day with "-" separators (month 1-12, day 1-31, no later than
// 2099, no earlier than 1989-12-31); a time hours:minutes:seconds with ":" separators (0-23,
// 0-59, 0-59). Blanks around a field are ignored.
int ParseCompetitionTime(core::Ui& ui, const std::string& date, const std::string& clock, uint32_t& time);

}  // namespace tarnvik::competition
