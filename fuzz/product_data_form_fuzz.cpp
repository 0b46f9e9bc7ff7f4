// Arbitrary bytes as the labelled product text of the "Product Data" form: every value is one
// line without surrounding blanks, and the values written back as labelled lines read the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "app/product_data_form.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tarnvik::app::ProductDataForm;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<ProductDataForm> form = ProductDataForm::FromText(text);
  if (!form) return 0;
  std::string again;
  for (size_t i = 0; i < tarnvik::app::kProductDataFieldCount; ++i) {
    const std::string& v = form->values[i];
    if (v.find('\n') != std::string::npos) std::abort();
    if (!v.empty() && (v.front() == ' ' || v.back() == ' ' || v.back() == '\r')) std::abort();
    again += std::string(tarnvik::app::kProductDataLabels[i]) + ": " + v + "\n";
  }
  const std::optional<ProductDataForm> back = ProductDataForm::FromText(again);
  if (!back || back->values != form->values) std::abort();
  return 0;
}
