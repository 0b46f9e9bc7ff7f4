// The main window over a real session, the access engine and the simulated Garmin unit.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QHeaderView>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include "app/commands.h"
#include "app/gui/list_model.h"
#include "app/views.h"
#include "tests/gui/gui_rig.h"

namespace tarnvik::gui::testing {
namespace {

std::string Text(const QString& text) { return text.toStdString(); }

// The menu text as the table gives it, without the shortcut after the tab.
std::string MenuText(std::string_view text) {
  return std::string(text.substr(0, text.find('\t')));
}

TEST(MainWindowTest, MenusButtonsAndShortcutsComeFromTheCommandTable) {
  GuiRig rig;
  MainWindow& w = rig.window();
  // Every menu command is an item with its text and mnemonic.
  for (const app::CommandInfo& c : app::CommandTable()) {
    if (c.text.empty() || c.id < 40000) continue;
    QAction* action = w.actionFor(c.id);
    ASSERT_NE(action, nullptr) << c.text;
    EXPECT_EQ(Text(action->text()), MenuText(c.text));
  }
  // Every accelerator reaches a command of its kind with Ctrl and its key.
  for (const app::Accelerator& a : app::Accelerators()) {
    const app::CommandInfo* target = app::FindCommand(a.commandId);
    const QKeySequence expected(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_A + (a.key - 'A')));
    bool found = false;
    for (auto& [action, c] : w.actions()) {
      if (action->shortcut() == expected) {
        EXPECT_EQ(c->kind, target->kind) << a.key;
        found = true;
      }
    }
    EXPECT_TRUE(found) << "Ctrl+" << a.key;
  }
  for (const app::CommandButton& b : app::CommandButtons()) {
    QPushButton* button = w.buttonFor(b.commandId);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(Text(button->text()), std::string(b.text));
  }
  EXPECT_EQ(Text(w.buttonFor(1315)->text()), "Save log\n(Flight &Data)");
  EXPECT_TRUE(w.actionFor(40088)->isCheckable());
  EXPECT_EQ(Text(w.windowTitle()), "Tarnvik 4.06, /dev/simulated");
}

TEST(MainWindowTest, CommandsThisBuildCannotRunAreGreyedAndComeAliveWithTheirDialog) {
  GuiRig rig;
  MainWindow& w = rig.window();
  EXPECT_TRUE(w.actionFor(40029)->isEnabled());   // Read Garmin: the family is registered
  EXPECT_FALSE(w.actionFor(40032)->isEnabled());  // Convert Position: no dialog in this build
  EXPECT_TRUE(w.actionFor(40043)->isEnabled());   // Save log in IGC format: its dialog is set

  auto igcFormat = rig.session().dialogs.igcFormat;
  rig.session().dialogs.igcFormat = nullptr;
  w.UpdateCommandStates();
  EXPECT_FALSE(w.actionFor(40043)->isEnabled());
  // A greyed command shows nothing when reached anyway (its shortcut, a script).
  EXPECT_EQ(w.RunCommand(40043), app::CommandOutcome::NotAvailable);
  EXPECT_TRUE(rig.boxes.empty()) << rig.BoxTexts();
  rig.session().dialogs.igcFormat = igcFormat;
  w.UpdateCommandStates();
  EXPECT_TRUE(w.actionFor(40043)->isEnabled());
}

TEST(MainWindowTest, DownloadFillsTheTracklogViewWithTheViewsCellTextsAndUtmSwitchesColumns) {
  GuiRig rig(SyntheticPoints(120));
  rig.StartDownload();
  ASSERT_TRUE(rig.WaitIdle()) << rig.BoxTexts();
  app::Session& s = rig.session();
  ASSERT_EQ(s.track.log.points.size(), 120u) << rig.BoxTexts();
  ListModel& model = *rig.window().model();
  ASSERT_EQ(model.rowCount(), 120);
  ASSERT_EQ(static_cast<size_t>(model.columnCount()), app::ViewColumns(app::ViewMode::Tracklog, false).size());
  for (int row : {0, 1, 59, 119}) {
    for (int column = 0; column < model.columnCount(); ++column) {
      EXPECT_EQ(Text(model.data(model.index(row, column)).toString()),
                app::TrackCellText(s.track.log.points, static_cast<size_t>(row), static_cast<size_t>(column), false));
    }
  }
  EXPECT_EQ(Text(model.headerData(2, Qt::Horizontal).toString()), "Latitude");

  rig.window().utmBox()->click();
  EXPECT_TRUE(s.utmView);
  ASSERT_EQ(static_cast<size_t>(model.columnCount()), app::ViewColumns(app::ViewMode::Tracklog, true).size());
  EXPECT_EQ(Text(model.headerData(2, Qt::Horizontal).toString()), "Zone");
  EXPECT_EQ(Text(model.data(model.index(7, 3)).toString()), app::TrackCellText(s.track.log.points, 7, 3, true));
  // The columns are wide enough for their cells and headers: nothing is cut.
  QTableView* list = rig.window().list();
  for (int column = 0; column < model.columnCount(); ++column) {
    const QString header = model.headerData(column, Qt::Horizontal).toString();
    EXPECT_LT(list->horizontalHeader()->fontMetrics().horizontalAdvance(header), list->columnWidth(column))
        << header.toStdString();
    for (int row : {0, 60, 119}) {
      const QString cell = model.data(model.index(row, column)).toString();
      EXPECT_LT(list->fontMetrics().horizontalAdvance(cell), list->columnWidth(column)) << cell.toStdString();
    }
  }

  // Select all reaches the list, and a selection in the list reaches the session.
  rig.window().actionFor(40042)->trigger();
  EXPECT_EQ(s.selection().size(), 120u);
  EXPECT_EQ(rig.window().list()->selectionModel()->selectedRows().size(), 120);
  rig.window().list()->selectRow(5);
  ASSERT_EQ(s.selection().size(), 1u);
  EXPECT_EQ(s.selection()[0], 5u);
}

TEST(MainWindowTest, GuardedCommandWhileBusyShowsBusyAndAbortEndsTheDownload) {
  GuiRig rig(SyntheticPoints(400), 5);
  rig.StartDownload();
  // A second download while one runs is refused through the Qt Ui and leaves the first running.
  rig.window().buttonFor(40029)->click();
  EXPECT_TRUE(rig.Shown("Download track log", "Busy GPS driver")) << rig.BoxTexts();
  EXPECT_TRUE(rig.session().busy);
  rig.window().actionFor(40025)->trigger();
  EXPECT_TRUE(rig.Shown("Change view mode", "Busy GPS driver")) << rig.BoxTexts();

  // The status line shows the download's progress with a bar.
  ASSERT_TRUE(WaitFor([&] { return rig.window().progressBar()->isVisible(); })) << Text(rig.window().statusLine()->text());
  EXPECT_EQ(rig.window().progressBar()->maximum(), 401);  // the track header and 400 points

  rig.window().findChild<QPushButton*>(QStringLiteral("abortButton"))->click();
  EXPECT_FALSE(rig.session().busy);
  EXPECT_FALSE(rig.window().progressBar()->isVisible());
  // Whatever the stopped worker still sends is dropped: no log, no message.
  const size_t boxes = rig.boxes.size();
  WaitFor([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_FALSE(rig.session().track.present && !rig.session().track.log.points.empty());
  EXPECT_EQ(rig.boxes.size(), boxes) << rig.BoxTexts();
  // A new download runs to its end.
  rig.StartDownload();
  ASSERT_TRUE(rig.WaitIdle()) << rig.BoxTexts();
  EXPECT_EQ(rig.session().track.log.points.size(), 400u);
}

TEST(MainWindowTest, ClosingTheWindowDuringADownloadEndsCleanly) {
  GuiRig rig(SyntheticPoints(400), 5);
  rig.StartDownload();
  ASSERT_TRUE(WaitFor([&] { return rig.window().progressBar()->isVisible(); }));
  rig.window().close();
  EXPECT_TRUE(rig.session().exitFlag);
  EXPECT_FALSE(rig.session().busy);
  EXPECT_FALSE(rig.window().isVisible());
  rig.DestroyWindow();
  // The worker's late texts find no window.
  WaitFor([] { return false; }, std::chrono::milliseconds(300));
  rig.session().queue().Drain();
}

TEST(MainWindowTest, StatusTextsAreCoalescedAndTheLastOneWins) {
  GuiRig rig;
  MainWindow& w = rig.window();
  w.FlushTexts();
  const QString before = w.statusLine()->text();
  for (int i = 0; i < 5000; ++i) w.StatusText("Track log record " + std::to_string(i) + " of 5000 received");
  w.ProductText("Unit");
  // Nothing is drawn until the interval passed; then only the last text.
  EXPECT_EQ(w.statusLine()->text(), before);
  ASSERT_TRUE(WaitFor([&] { return w.statusLine()->text() != before; }, std::chrono::seconds(2)));
  EXPECT_EQ(Text(w.statusLine()->text()), "Track log record 4999 of 5000 received");
  EXPECT_EQ(Text(w.productLine()->text()), "Unit");
}

TEST(MainWindowTest, ALongTrackLogIsShownWithoutCopyingAndScrollsAtOnce) {
  GuiRig rig;
  std::vector<core::TrackPoint> points = SyntheticPoints(40000);
  rig.session().ReplaceTrackLog(points, 0, 0);
  rig.session().ChangeView(app::ViewMode::Tracklog, true);
  ListModel& model = *rig.window().model();
  ASSERT_EQ(model.rowCount(), 40000);
  QTableView* list = rig.window().list();
  list->scrollToBottom();
  QCoreApplication::processEvents();
  EXPECT_EQ(Text(model.data(model.index(39999, 1)).toString()),
            app::TrackCellText(rig.session().track.log.points, 39999, 1, false));
}

}  // namespace
}  // namespace tarnvik::gui::testing
