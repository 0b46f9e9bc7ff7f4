// The "Product Data" form: the four fields taken back out of the LogIt routine's labelled text,
// leniently when lines are missing, and no form for a text without those labels.
#include <gtest/gtest.h>

#include "app/product_data_form.h"
#include "devices/logit/logit_transfers.h"

namespace tarnvik::app {
namespace {

using Values = std::array<std::string, kProductDataFieldCount>;

TEST(ProductDataForm, TakesBackTheFieldsTheLogItRoutineLabels) {
  const devices::logit::ProductFields fields = {"TRACKLOGGER", "EVA LUND", "0042: B", "2.31"};
  const std::optional<ProductDataForm> form = ProductDataForm::FromText(devices::logit::LogItProductText(fields));
  ASSERT_TRUE(form);
  EXPECT_EQ(form->value(ProductDataField::Model), "TRACKLOGGER");
  EXPECT_EQ(form->value(ProductDataField::UserName), "EVA LUND");
  EXPECT_EQ(form->value(ProductDataField::SerialNo), "0042: B");  // a colon in a value stays
  EXPECT_EQ(form->value(ProductDataField::Software), "2.31");
}

TEST(ProductDataForm, LenientWithMissingReorderedAndUnknownLines) {
  struct Case {
    const char* text;
    Values values;
  } cases[] = {
      {"Model: LOGIT", {"LOGIT", "", "", ""}},
      {"Software: 1.20\r\nModel:  LOGIT \r\n", {"LOGIT", "", "", "1.20"}},
      {"Battery: low\nUser name: \nSerial No.:123\n\nSoftware: 1.2", {"", "", "123", "1.2"}},
      {"Model: A\nModel: B\nmodel: C", {"A", "", "", ""}},  // the first line of a label counts
      {"User name: JO DOE\nSerial No.: 7\nSoftware", {"", "JO DOE", "7", ""}},
  };
  for (const Case& c : cases) {
    const std::optional<ProductDataForm> form = ProductDataForm::FromText(c.text);
    ASSERT_TRUE(form) << c.text;
    EXPECT_EQ(form->values, c.values) << c.text;
  }
}

TEST(ProductDataForm, NoFormForATextWithoutTheLabels) {
  for (const char* text : {"", "\n\n", "SP24 XC  SW2.80", "Serial: 12345\nVersion: 2.80", "Model LOGIT"}) {
    EXPECT_FALSE(ProductDataForm::FromText(text)) << text;
  }
}

}  // namespace
}  // namespace tarnvik::app
