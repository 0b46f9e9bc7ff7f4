#include "app/product_data_form.h"

namespace tarnvik::app {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<ProductDataForm> ProductDataForm::FromText(std::string_view text) {
  ProductDataForm form;
  std::array<bool, kProductDataFieldCount> found = {};
  bool any = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view label = Trimmed(line.substr(0, colon));
    for (size_t i = 0; i < kProductDataFieldCount; ++i) {
      if (found[i] || label != kProductDataLabels[i]) continue;
      form.values[i] = std::string(Trimmed(line.substr(colon + 1)));
      found[i] = true;
      any = true;
      break;
    }
  }
  if (!any) return std::nullopt;
  return form;
}

}  // namespace tarnvik::app
