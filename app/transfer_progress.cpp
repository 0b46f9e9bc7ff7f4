#include "app/transfer_progress.h"

namespace tarnvik::app {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number that ends just before `end` (digits only), or nothing.
std::optional<int64_t> NumberBefore(std::string_view text, size_t end) {
  size_t start = end;
  while (start > 0 && IsDigit(text[start - 1])) --start;
  if (start == end || end - start > 12) return std::nullopt;
  int64_t value = 0;
  for (size_t i = start; i < end; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

std::optional<int64_t> NumberAt(std::string_view text, size_t start) {
  size_t end = start;
  while (end < text.size() && IsDigit(text[end])) ++end;
  if (start == end || end - start > 12) return std::nullopt;
  int64_t value = 0;
  for (size_t i = start; i < end; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

}  // namespace

std::optional<TransferProgress> ProgressOfStatus(std::string_view status) {
  constexpr std::string_view kOf = " of ";
  std::optional<TransferProgress> found;
  for (size_t at = status.find(kOf); at != std::string_view::npos; at = status.find(kOf, at + 1)) {
    std::optional<int64_t> done = NumberBefore(status, at);
    std::optional<int64_t> total = NumberAt(status, at + kOf.size());
    if (done && total && *total > 0 && *done <= *total) found = TransferProgress{*done, *total};
  }
  return found;
}

}  // namespace tarnvik::app
