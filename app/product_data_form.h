// The "Product Data" dialog of a LogIt or Tracklogger without a toolkit: four read-only fields,
// "Model", "User name", "Serial No." and "Software", and an OK button. The routine that reads the
// logger's product reply hands them over as labelled lines ("Model: LOGIT\nUser name: ..."); the
// form takes them back apart.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tarnvik::app {

constexpr const char* kProductDataCaption = "Product Data";

enum class ProductDataField { Model = 0, UserName = 1, SerialNo = 2, Software = 3 };
constexpr size_t kProductDataFieldCount = 4;
// The fields' labels in the dialog's order, as the routine's lines name them.
constexpr std::array<const char*, kProductDataFieldCount> kProductDataLabels = {"Model", "User name", "Serial No.",
                                                                               "Software"};

struct ProductDataForm {
  std::array<std::string, kProductDataFieldCount> values;

  const std::string& value(ProductDataField field) const { return values[static_cast<size_t>(field)]; }

  // The four values of a text of labelled lines ("Label: value", LF or CR LF, any order; blanks
  // around the value dropped). A missing line leaves its field empty, a repeated label keeps its
  // first line, other lines are ignored. Nothing when no line carries one of the four labels:
  // such a text is not for this dialog.
  static std::optional<ProductDataForm> FromText(std::string_view text);
};

}  // namespace tarnvik::app
