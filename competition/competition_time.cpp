#include "competition/competition_time.h"

#include <cstdio>
#include <string_view>

#include "core/records.h"

namespace tarnvik::competition {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Three unsigned numbers of at most `widths` digits separated by `separator`; nothing else.
bool ParseThree(std::string_view text, char separator, const int (&widths)[3], int (&values)[3]) {
  size_t at = 0;
  for (int part = 0; part < 3; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != separator) return false;
      ++at;
    }
    int digits = 0, value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      if (++digits > widths[part]) return false;
      value = value * 10 + (text[at++] - '0');
    }
    if (digits == 0) return false;
    values[part] = value;
  }
  return at == text.size();
}

}  // namespace

std::string FormatCompetitionDate(uint32_t time) {
  const core::SystemTime t = core::TimeToCalendar(time);
  char text[32];
  std::snprintf(text, sizeof text, "%d-%02d-%02d", t.year, t.month, t.day);
  return text;
}

std::string FormatCompetitionClock(uint32_t time) {
  const core::SystemTime t = core::TimeToCalendar(time);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return text;
}

int ParseCompetitionTime(core::Ui& ui, const std::string& date, const std::string& clock, uint32_t& time) {
  const std::string_view dateText = Trim(date), clockText = Trim(clock);
  auto fail = [&ui](const char* text) {
    ui.ShowMessage(kCompTimeCaption, text, core::Icon::Error);
    return -1;
  };
  if (dateText.empty()) return fail("Missing date");
  if (clockText.empty()) return fail("Missing time");
  int d[3] = {}, c[3] = {};
  if (!ParseThree(dateText, '-', {4, 2, 2}, d) || d[1] < 1 || d[1] > 12 || d[2] < 1 || d[2] > 31 || d[0] > 2099 ||
      (d[0] < 1990 && !(d[0] == 1989 && d[1] == 12 && d[2] == 31))) {
    return fail("Bad date");
  }
  if (!ParseThree(clockText, ':', {2, 2, 2}, c) || c[0] > 23 || c[1] > 59 || c[2] > 59) return fail("Bad time");
  core::SystemTime calendar;
  calendar.year = static_cast<uint16_t>(d[0]);
  calendar.month = static_cast<uint16_t>(d[1]);
  calendar.day = static_cast<uint16_t>(d[2]);
  calendar.hour = static_cast<uint16_t>(c[0]);
  calendar.minute = static_cast<uint16_t>(c[1]);
  calendar.second = static_cast<uint16_t>(c[2]);
  const std::optional<uint32_t> value = core::CalendarToTime(calendar);
  if (!value) return fail("Bad date");
  time = *value;
  return 0;
}

}  // namespace tarnvik::competition
