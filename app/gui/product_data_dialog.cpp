#include "app/gui/product_data_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnvik::gui {

ProductDataDialog::ProductDataDialog(const app::ProductDataForm& form, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ProductData"));
  setWindowTitle(QString::fromLatin1(app::kProductDataCaption));
  auto* layout = new QVBoxLayout(this);
  auto* formLayout = new QFormLayout;
  for (size_t i = 0; i < app::kProductDataFieldCount; ++i) {
    // Read-only but selectable: a pilot may copy the serial number.
    auto* edit = new QLineEdit(QString::fromStdString(form.values[i]), this);
    edit->setReadOnly(true);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 20);
    formLayout->addRow(QString::fromLatin1(app::kProductDataLabels[i]), edit);
    fields_[i] = edit;
  }
  layout->addLayout(formLayout);
  auto* box = new QDialogButtonBox(this);
  ok_ = box->addButton(QDialogButtonBox::Ok);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(box);
}

}  // namespace tarnvik::gui
