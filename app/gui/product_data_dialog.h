// "Product Data" over its toolkit-free form (app/product_data_form.h): the logger's model, user
// name, serial number and software in read-only fields, and OK.
#pragma once

#include <QDialog>

#include <array>

#include "app/product_data_form.h"

class QLineEdit;
class QPushButton;

namespace tarnvik::gui {

class ProductDataDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit ProductDataDialog(const app::ProductDataForm& form, QWidget* parent = nullptr);
  QLineEdit* field(app::ProductDataField field) const { return fields_[static_cast<size_t>(field)]; }
  QPushButton* okButton() const { return ok_; }

 private:
  std::array<QLineEdit*, app::kProductDataFieldCount> fields_ = {};
  QPushButton* ok_ = nullptr;
};

}  // namespace tarnvik::gui
