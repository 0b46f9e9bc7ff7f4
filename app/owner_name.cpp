#include "app/owner_name.h"

namespace tarnvik::app {

std::optional<std::string> OwnerNameFromInput(std::string_view typed) {
  if (typed.size() > kOwnerNameLength) typed = typed.substr(0, kOwnerNameLength);
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
