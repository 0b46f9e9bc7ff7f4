// "Product Data" as the window shows it: the four labelled fields of the logger's reply, read
// only, closed by OK.
#include <gtest/gtest.h>

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/gui/product_data_dialog.h"
#include "tests/gui/gui_rig.h"

namespace tarnvik::gui::testing {
namespace {

TEST(ProductDataDialogTest, ShowsTheFourFieldsReadOnlyUntilOk) {
  GuiRig rig;
  ASSERT_TRUE(rig.session().dialogs.productData) << "the window sets the hook";
  std::optional<app::ProductDataForm> form =
      app::ProductDataForm::FromText("Model: TRACKLOGGER\nUser name: EVA LUND\nSerial No.: 0042\nSoftware: 2.31");
  ASSERT_TRUE(form);
  const char* expected[] = {"TRACKLOGGER", "EVA LUND", "0042", "2.31"};
  int shown = 0;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    auto& data = dynamic_cast<ProductDataDialog&>(dialog);
    ++shown;
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Product Data");
    auto* layout = dialog.findChild<QFormLayout*>();
    ASSERT_NE(layout, nullptr);
    for (size_t i = 0; i < app::kProductDataFieldCount; ++i) {
      QLineEdit* field = data.field(static_cast<app::ProductDataField>(i));
      ASSERT_NE(field, nullptr);
      EXPECT_EQ(field->text().toStdString(), expected[i]);
      EXPECT_TRUE(field->isReadOnly());
      auto* label = qobject_cast<QLabel*>(layout->labelForField(field));
      ASSERT_NE(label, nullptr);
      EXPECT_EQ(label->text().toStdString(), app::kProductDataLabels[i]);
    }
    data.okButton()->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  };
  rig.session().dialogs.productData(*form);
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(rig.boxes.empty()) << rig.BoxTexts();
}

}  // namespace
}  // namespace tarnvik::gui::testing
