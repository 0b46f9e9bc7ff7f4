#include "formats/format_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "formats/kml_reader.h"

namespace tarnvik::formats {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view text, bool crEndsLine) {
  if (size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  std::vector<std::string_view> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\n' || (crEndsLine && c == '\r')) {
      std::string_view line = text.substr(start, i - start);
      if (!crEndsLine && !line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines.push_back(line);
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
    ++i;
  }
  if (start < text.size()) {
    std::string_view line = text.substr(start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
  }
  return lines;
}

bool SplitQuotedFields(std::string_view line, char separator, std::vector<std::string>& fields) {
  fields.clear();
  // Runs of blanks shrink to one; the line's leading and trailing blanks go.
  std::string text;
  text.reserve(line.size());
  for (char c : line) {
    if (IsBlank(c)) {
      if (!text.empty() && text.back() != ' ') text.push_back(' ');
    } else {
      text.push_back(c);
    }
  }
  if (!text.empty() && text.back() == ' ') text.pop_back();

  size_t i = 0;
  for (;;) {
    while (i < text.size() && text[i] == ' ') ++i;
    std::string field;
    if (i < text.size() && text[i] == '"') {
      size_t close = text.find('"', i + 1);
      if (close == std::string::npos) return false;
      field = text.substr(i + 1, close - i - 1);
      size_t next = text.find(separator, close + 1);
      i = next == std::string::npos ? text.size() : next;
    } else {
      size_t next = text.find(separator, i);
      size_t end = next == std::string::npos ? text.size() : next;
      field = text.substr(i, end - i);
      if (field.find('"') != std::string::npos) return false;
      while (!field.empty() && field.back() == ' ') field.pop_back();
      i = end;
    }
    if (fields.size() < kMaxCsvFields) fields.push_back(std::move(field));
    if (i >= text.size()) break;
    ++i;  // past the separator
  }
  return true;
}

std::vector<std::string_view> SplitCommaFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    size_t comma = line.find(',', start);
    std::string_view field = line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    while (!field.empty() && IsBlank(field.front())) field.remove_prefix(1);
    fields.push_back(field);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

std::optional<double> ParseNumber(std::string_view text) {
  text = TrimBlanks(text);
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0 || i != text.size()) return std::nullopt;
  std::string copy(text);
  double value = std::strtod(copy.c_str(), nullptr);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<uint32_t> ParseIsoTimeWithFraction(std::string_view text) {
  std::string copy(text);
  if (copy.find('\0') != std::string::npos) return std::nullopt;
  // The seconds end after the second ':' that follows the 'T' and its digits.
  double fraction = 0;
  size_t t = copy.find('T');
  if (t != std::string::npos) {
    size_t colon = copy.find(':', t);
    if (colon != std::string::npos) colon = copy.find(':', colon + 1);
    if (colon != std::string::npos) {
      size_t p = colon + 1;
      while (p < copy.size() && IsDigit(copy[p])) ++p;
      if (p < copy.size() && copy[p] == '.') {
        size_t q = p + 1;
        while (q < copy.size() && IsDigit(copy[q])) ++q;
        if (q == p + 1) return std::nullopt;  // a point without digits
        fraction = std::strtod(copy.substr(p, q - p).c_str(), nullptr);
        copy.erase(p, q - p);
      }
    }
  }
  int utcFlag = 0;
  int64_t time = ParseIsoTime(copy.c_str(), utcFlag);
  if (time < 0) return std::nullopt;
  if (time > 0 && fraction >= 0.5) ++time;
  if (time > int64_t{UINT32_MAX}) return std::nullopt;
  return static_cast<uint32_t>(time);
}

std::string FormatIsoTime(const core::SystemTime& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

std::string FormatIsoTime(uint32_t time) { return FormatIsoTime(core::TimeToCalendar(time)); }

IdOutcome ResolveWaypointId(core::Ui& ui, std::string_view name, WaypointIdQuestion& question, char (&id)[7]) {
  // A NUL inside the name ends it, as in the NUL-terminated texts of the file readers.
  if (size_t nul = name.find('\0'); nul != std::string_view::npos) name = name.substr(0, nul);
  const int strict = core::NormaliseWaypointId(name, id, false);
  if (strict == 0) return IdOutcome::Taken;
  if (strict != -2) return IdOutcome::Bad;
  if (!question.interactive) return IdOutcome::Bad;
  if (!question.yesToAll) {
    const core::Answer answer =
        ui.Ask(kModifyIdCaption, std::string(name) + "\n\n" + kModifyIdText, core::Buttons::YesYesToAllNoCancel,
               core::Answer::Yes, core::Icon::Question);
    switch (answer) {
      case core::Answer::Yes: break;
      case core::Answer::YesToAll: question.yesToAll = true; break;
      case core::Answer::No: return IdOutcome::Skip;
      default: return IdOutcome::Cancel;
    }
  }
  return core::NormaliseWaypointId(name, id, true) == 0 ? IdOutcome::Taken : IdOutcome::Bad;
}

}  // namespace tarnvik::formats
