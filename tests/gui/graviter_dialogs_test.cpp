// Graviter's dialogs as the window shows them: "No log positions" with its check box, and
// "Write GPS name" sized by the instrument's name field (8 characters for Graviter, 9 for LogIt).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "access/access_engine.h"
#include "app/gui/graviter_dialogs.h"
#include "tests/gui/gui_rig.h"

namespace tarnvik::gui::testing {
namespace {

TEST(GraviterDialogsTest, NoLogPositionsSkipsOnlyWhenOkTakesATickedBox) {
  GuiRig rig;
  InstallGraviterDialogs(rig.session(), rig.ui(), &rig.window());
  const std::string text = "The track log starting at 2024-07-16  10:00 does not contain any valid GPS positions";
  struct Case {
    bool tick;
    bool ok;
    bool skip;
  };
  for (const Case& test : {Case{true, true, true}, Case{false, true, false}, Case{true, false, false}}) {
    bool shown = false;
    rig.ui().driveDialog = [&](QDialog& dialog) {
      auto& note = dynamic_cast<NoLogPositionsDialog&>(dialog);
      shown = true;
      EXPECT_EQ(dialog.windowTitle(), QStringLiteral("No log positions"));
      EXPECT_EQ(note.textField()->text().toStdString(), text);
      EXPECT_EQ(note.skipBox()->text(), QStringLiteral("&Skip further notifications"));
      EXPECT_FALSE(note.skipBox()->isChecked());
      if (test.tick) note.skipBox()->click();
      if (test.ok) note.okButton()->click();
    };
    app::NoLogPositionsForm form;
    form.text = text;
    rig.session().dialogs.noLogPositions(form);
    EXPECT_TRUE(shown);
    EXPECT_EQ(form.skipFurther, test.skip) << test.tick << test.ok;
  }
}

TEST(GraviterDialogsTest, WriteGpsNameTakesTheInstrumentsNameLength) {
  GuiRig rig;
  struct Case {
    int protocol;
    int maxLength;
    const char* typed;
    const char* name;
  };
  // Characters, not bytes, for Graviter: the umlaut is one of its 8.
  for (const Case& test : {Case{access::kProtocolGraviter, 8, "Eva  Lundgren", "Eva Lun "},
                           Case{access::kProtocolGraviter, 8, "M\xc3\xbcller Hans", "M\xc3\xbcller H"},
                           Case{access::kProtocolLogIt, 9, "Eva  Lundgren", "Eva Lund "}}) {
    rig.ui().driveDialog = [&](QDialog& dialog) {
      auto& input = dynamic_cast<QInputDialog&>(dialog);
      EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Write GPS name"));
      EXPECT_EQ(input.labelText(), QStringLiteral("Fill in the name:"));
      QLineEdit* edit = input.findChild<QLineEdit*>();
      ASSERT_NE(edit, nullptr);
      EXPECT_EQ(edit->maxLength(), test.maxLength);
      edit->setText(QString::fromUtf8(test.typed));
      input.accept();
    };
    EXPECT_EQ(rig.session().dialogs.ownerName(test.protocol), std::optional<std::string>(test.name)) << test.typed;
  }
  // An empty name is Cancel for Graviter as well.
  rig.ui().driveDialog = [](QDialog& dialog) {
    auto& input = dynamic_cast<QInputDialog&>(dialog);
    input.findChild<QLineEdit*>()->setText(QStringLiteral("  "));
    input.accept();
  };
  EXPECT_EQ(rig.session().dialogs.ownerName(access::kProtocolGraviter), std::nullopt);
}

}  // namespace
}  // namespace tarnvik::gui::testing
