// Competition mode through the window's real dialogs: the toggle with "Set Competition Time",
// a download from the simulated Garmin unit confirmed in "Set competition ID", and the log
// saved for the competition without a question.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

#include "app/gui/competition_dialogs.h"
#include "core/settings.h"
#include "tests/gui/gui_rig.h"

namespace tarnvik::gui::testing {
namespace {

TEST(CompetitionDialogsTest, ToggleConfirmAndSaveThroughTheDialogs) {
  GuiRig rig(SyntheticPoints(60));
  InstallCompetitionDialogs(rig.session(), rig.ui(), &rig.window());
  rig.window().UpdateCommandStates();
  const std::filesystem::path logs = rig.folder / "logs";
  std::filesystem::create_directories(logs);
  rig.session().settings.SetText(core::SettingId::CompDir, logs.string());

  int timeDialogs = 0, idDialogs = 0;
  std::string shownDate;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    if (auto* time = dynamic_cast<CompTimeDialog*>(&dialog)) {
      ++timeDialogs;
      shownDate = time->dateField()->text().toStdString();
      time->dateField()->setText(QStringLiteral("1999-13-01"));
      time->okButton()->click();
      EXPECT_TRUE(dialog.isVisible()) << "a bad date keeps the dialog open";
      time->dateField()->setText(QStringLiteral("2000-01-01"));
      time->timeField()->setText(QStringLiteral("00:00:00"));
      time->okButton()->click();
    } else if (auto* ids = dynamic_cast<PilotIdsDialog*>(&dialog)) {
      ++idDialogs;
      EXPECT_EQ(ids->listButton()->text().toStdString(), "&Select pilot from list");
      ids->competitionField()->setText(QStringLiteral("77"));
      ids->okButton()->click();
    }
  };

  QAction* toggle = rig.window().actionFor(40121);
  ASSERT_NE(toggle, nullptr);
  ASSERT_TRUE(toggle->isEnabled());
  toggle->trigger();
  EXPECT_EQ(timeDialogs, 1);
  EXPECT_EQ(shownDate, "1989-12-31");
  EXPECT_TRUE(rig.session().competitionMode);
  EXPECT_TRUE(toggle->isChecked());
  EXPECT_TRUE(rig.window().windowTitle().contains(QStringLiteral(", Competition mode")));
  ASSERT_TRUE(rig.Shown("Read comp. time", "Bad date")) << rig.BoxTexts();
  rig.boxes.clear();

  rig.StartDownload();
  ASSERT_TRUE(rig.WaitIdle()) << rig.BoxTexts();
  EXPECT_EQ(idDialogs, 1);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(logs)) names.push_back(entry.path().filename().string());
  ASSERT_EQ(names.size(), 1u) << rig.BoxTexts();
  EXPECT_EQ(names[0].rfind("[pilot name].77.[CIVLID].", 0), 0u) << names[0];
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.BoxTexts();
  EXPECT_EQ(rig.boxes[0].caption, "Save log for competition");
  EXPECT_NE(rig.boxes[0].text.find("\r\nFile saved, signature OK"), std::string::npos);
  EXPECT_TRUE(rig.session().track.saved);

  toggle->trigger();
  EXPECT_FALSE(rig.session().competitionMode);
  EXPECT_FALSE(toggle->isChecked());
}

}  // namespace
}  // namespace tarnvik::gui::testing
