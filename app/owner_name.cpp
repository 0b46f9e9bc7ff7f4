#include "app/owner_name.h"

namespace tarnvik::app {

std::optional<std::string> OwnerNameFromInput(std::string_view typed) {
  if (typed.size() > kOwnerNameLength) {
    // The field holds bytes; a character cut in two would reach the logger as a broken byte,
    // so a character that does not fit whole is left out (continuation bytes go with it).
    size_t end = kOwnerNameLength;
    while (end > 0 && (static_cast<unsigned char>(typed[end]) & 0xC0) == 0x80) --end;
    typed = typed.substr(0, end);
  }
  std::string name;
  bool blank = false;
  for (char c : typed) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = !name.empty();
      continue;
    }
    if (blank) name.push_back(' ');
    blank = false;
    name.push_back(c);
  }
  if (name.empty()) return std::nullopt;
  name.resize(kOwnerNameLength, ' ');
  return name;
}

}  // namespace tarnvik::app
