// "Edit CTR" and "CTR error notification" as the window shows them over a real session: the
// edited zone replaces the selected one, a failed check keeps the dialog, a reader warning
// during the check opens the notification, and a cancelled "New CTR" adds nothing.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <string>

#include "airspace/openair.h"
#include "app/gui/ctr_dialogs.h"
#include "tests/gui/gui_rig.h"

namespace tarnvik::gui::testing {
namespace {

constexpr const char* kZone =
    "AC R\r\nAN Lake Zone\r\nAL GND\r\nAH FL100\r\nDP 45:00:00 N 006:00:00 E\r\nDP 45:10:00 N 006:00:00 E\r\n"
    "DP 45:10:00 N 006:10:00 E\r\n";

// A rig with one zone in its CTR list, shown and selected, and the CTR dialogs installed.
void ShowOneZone(GuiRig& rig) {
  InstallCtrDialogs(rig.session(), rig.ui(), &rig.window());
  rig.window().UpdateCommandStates();
  ASSERT_EQ(airspace::ParseOpenAir(rig.ui(), kZone, rig.session().ctrs, {}), 1) << rig.BoxTexts();
  rig.session().ChangeView(app::ViewMode::Ctr, true);
  rig.session().SetSelection({0});
}

TEST(CtrDialogsTest, EditChangesTheSelectedZoneAfterTheChecksAndWarningsOfItsText) {
  GuiRig rig;
  ShowOneZone(rig);
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  int edits = 0;
  std::string shownZone;
  std::string warning;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    if (auto* note = dynamic_cast<CtrNotificationDialog*>(&dialog)) {
      warning = note->textField()->text().toStdString();
      EXPECT_TRUE(note->skipBox()->isChecked()) << "ticked when it opens";
      note->skipBox()->setChecked(false);
      note->okButton()->click();
      return;
    }
    auto& edit = dynamic_cast<CtrEditDialog&>(dialog);
    ++edits;
    shownZone = edit.textField()->toPlainText().toStdString();
    edit.warningDistance()->setText(QStringLiteral("12a"));
    edit.okButton()->click();
    EXPECT_TRUE(dialog.isVisible()) << "a failed check keeps the dialog open";
    // The first zone is dropped by its DA record (the warning), the second is taken.
    edit.textField()->setPlainText(QStringLiteral(
        "AC R\nAN Dropped\nAL GND\nAH FL100\nV X=45:00:00 N 006:00:00 E\nDA 2, 0, 90\n"
        "AC C\nAN Changed Zone\nAL GND\nAH 2000 ft\nV X=45:05:00 N 006:05:00 E\nDC 2\n"));
    edit.warningDistance()->setText(QStringLiteral("350"));
    edit.okButton()->click();
    EXPECT_FALSE(dialog.isVisible());
  };
  rig.window().actionFor(40104)->trigger();  // Edit CTR
  EXPECT_EQ(edits, 1);
  EXPECT_NE(shownZone.find("Lake Zone"), std::string::npos) << shownZone;
  EXPECT_TRUE(rig.Shown("Edit CTR", "Bad warning distance format")) << rig.BoxTexts();
  EXPECT_NE(warning.find("DA record (not implemented)"), std::string::npos) << warning;
  ASSERT_EQ(rig.session().ctrs.size(), 1u);
  const core::CtrRecord& zone = rig.session().ctrs.front();
  EXPECT_EQ(std::string(zone.name), "Changed Zone");
  EXPECT_EQ(zone.warningDistance, 350);
  ASSERT_EQ(zone.segments.size(), 1u);
  EXPECT_EQ(zone.segments.front().radius, 3704);  // 2 NM
}

TEST(CtrDialogsTest, NotificationClosedSkipsNothingAndOkKeepsTheBox) {
  GuiRig rig;
  InstallCtrDialogs(rig.session(), rig.ui(), &rig.window());
  struct Case {
    bool ok;
    bool untick;
    bool skip;
  };
  for (const Case& test : {Case{true, false, true}, Case{true, true, false}, Case{false, false, false}}) {
    rig.ui().driveDialog = [&](QDialog& dialog) {
      auto& note = dynamic_cast<CtrNotificationDialog&>(dialog);
      if (test.untick) note.skipBox()->setChecked(false);
      if (test.ok) note.okButton()->click();
    };
    app::CtrNotificationForm form;
    form.text = "CTR at line 30:  DA record (not implemented)";
    rig.session().dialogs.ctrNotification(form);
    EXPECT_EQ(form.skipFurther, test.skip) << test.ok << test.untick;
  }
}

TEST(CtrDialogsTest, CancelledNewZoneAddsNothing) {
  GuiRig rig;
  ShowOneZone(rig);
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  bool shown = false;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    auto& edit = dynamic_cast<CtrEditDialog&>(dialog);
    shown = true;
    EXPECT_NE(edit.textField()->toPlainText().indexOf(QStringLiteral("AN Put airspace name here")), -1);
    EXPECT_EQ(edit.warningDistance()->text(), QStringLiteral("200"));
    edit.reject();
  };
  rig.window().actionFor(40105)->trigger();  // New CTR
  EXPECT_TRUE(shown);
  EXPECT_EQ(rig.session().ctrs.size(), 1u);
}

}  // namespace
}  // namespace tarnvik::gui::testing
