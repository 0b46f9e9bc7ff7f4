#include "app/graviter_forms.h"

#include "access/access_engine.h"
#include "app/owner_name.h"

namespace tarnvik::app {

std::optional<std::string> GraviterNameFromInput(std::string_view typed) {
  // Cut after the 8th code point (continuation bytes belong to the character before them).
  size_t characters = 0;
  size_t end = 0;
  for (; end < typed.size(); ++end) {
    const unsigned char c = static_cast<unsigned char>(typed[end]);
    if ((c & 0xC0) == 0x80) continue;
    if (characters == kGraviterNameLength) break;
    ++characters;
  }
  typed = typed.substr(0, end);
  std::string name;
  bool blank = false;
  size_t kept = 0;
  for (char c : typed) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = !name.empty();
      continue;
    }
    if (blank) {
      name.push_back(' ');
      ++kept;
    }
    blank = false;
    name.push_back(c);
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++kept;
  }
  if (name.empty()) return std::nullopt;
  // Padded to 8 characters (not bytes: a multi-byte character is one).
  for (; kept < kGraviterNameLength; ++kept) name.push_back(' ');
  return name;
}

size_t GpsNameLength(int protocol) {
  return protocol == access::kProtocolGraviter ? kGraviterNameLength : kOwnerNameLength;
}

std::optional<std::string> GpsNameFromInput(int protocol, std::string_view typed) {
  return protocol == access::kProtocolGraviter ? GraviterNameFromInput(typed) : OwnerNameFromInput(typed);
}

bool NoLogPositionsNotices::Notify(const std::string& text) {
  if (skip_) return true;
  NoLogPositionsForm form;
  form.text = text;
  ++shown_;
  if (dialog_) dialog_(form);
  skip_ = form.skipFurther;
  return skip_;
}

}  // namespace tarnvik::app
