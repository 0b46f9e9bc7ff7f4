// Feeds arbitrary bytes to the IGC parser. The text is handed over without a terminator, so
// any read past its end is caught; a failure must carry one of the parser's own messages.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>
#include <string_view>

#include "formats/igc.h"

namespace {

bool KnownMessage(const std::string& message) {
  static const char* const kFixed[] = {"Memory allocation error",
                                       "Multiple date lines",
                                       "Multiple A-records",
                                       "Too short A-record",
                                       "Bad IGC manufacturer found in the A-record",
                                       "Bad serial number found in the A-record",
                                       "Missing date line",
                                       "No A-record found",
                                       "No positions found"};
  for (const char* fixed : kFixed) {
    if (message == fixed) return true;
  }
  static const std::regex numbered("(Date error 1|Pos\\. error ([1-9]|1[0-8])) on line [1-9][0-9]*");
  return std::regex_match(message, numbered);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tarnvik::formats::IgcParseResult r = tarnvik::formats::ParseIgcLog(text);
  if (r.count > 0) {
    if (static_cast<size_t>(r.count) != r.fixes.size() || !r.error.empty()) __builtin_trap();
    if (r.fixes[0].flags != 1 || std::strlen(r.manufacturer) != 3 || std::strlen(r.serial) > 3) __builtin_trap();
  } else if (r.count != 0 || !r.fixes.empty() || !KnownMessage(r.error)) {
    __builtin_trap();
  }
  return 0;
}
