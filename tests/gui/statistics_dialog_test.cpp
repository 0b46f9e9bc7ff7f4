// "Flight statistics" on real flights: computed on the worker, Halt, Save into a signed KML
// that verifies, and closing while the search runs.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <sstream>

#include "app/command_line_program.h"
#include "app/gui/dialogs.h"
#include "tests/fakes/fake_clock.h"
#include "tests/gui/gui_rig.h"

namespace tarnvik::gui::testing {
namespace {

TEST(StatisticsDialogTest, ARealFlightDownloadedFromTheUnitIsComputedAndSavedAsASignedKml) {
  const std::vector<core::TrackPoint> flight = RealFlight("igp_lad_lod_extensions.igc");
  ASSERT_GT(flight.size(), 100u);
  GuiRig rig(flight);
  rig.StartDownload();
  ASSERT_TRUE(rig.WaitIdle()) << rig.BoxTexts();
  ASSERT_EQ(rig.session().track.log.points.size(), flight.size());
  rig.window().actionFor(40042)->trigger();  // Select all

  const std::string kml = (rig.folder / "flight.kml").string();
  rig.files.push_back(kml);
  bool shown = false;
  std::string lines;
  std::string copied;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    auto& statistics = dynamic_cast<StatisticsDialog&>(dialog);
    shown = true;
    ASSERT_TRUE(WaitFor([&] { return statistics.Finished(); })) << statistics.statusField()->text().toStdString();
    WaitFor([] { return false; }, std::chrono::milliseconds(20));
    lines = statistics.linesField()->toPlainText().toStdString();
    statistics.copyButton()->click();
    copied = QGuiApplication::clipboard()->text().toStdString();
    statistics.description()->setPlainText(QStringLiteral("Test flight"));
    statistics.saveButton()->click();
    statistics.exitButton()->click();
  };
  rig.window().buttonFor(1315)->click();
  ASSERT_TRUE(shown) << rig.BoxTexts();
  EXPECT_EQ(lines.rfind("Flight statistics", 0), 0u) << lines;
  EXPECT_NE(lines.find("Greatest distance using 5 points"), std::string::npos);
  EXPECT_EQ(lines.find("\r"), std::string::npos);
  // The clipboard gets the block as the model joins it, with its own line ends.
  EXPECT_EQ(copied.rfind("Flight statistics\r\n\r\n", 0), 0u) << copied;
  EXPECT_NE(copied.find("Sum  "), std::string::npos) << copied;
  EXPECT_EQ(lines.find("\n A\n"), std::string::npos) << "the point lines are filled: " << lines;
  EXPECT_TRUE(rig.session().track.saved) << rig.BoxTexts();
  std::ostringstream verified;
  EXPECT_EQ(app::VerifyFiles({kml}, verified), 0) << verified.str() << rig.BoxTexts();
  EXPECT_NE(verified.str().find("Signature OK"), std::string::npos) << verified.str();
}

// A statistics run over a long real flight, with a save that only counts its calls.
struct LongRun {
  app::FlightStatisticsRun run;
  int saves = 0;
  LongRun() {
    run.selected = RealFlight("igp_2016-11-08-xcs-aaa-02.igc");
    run.sourceKind = 1;
    run.sourceFlag = 1;
    run.save = [this](const core::FlightSummary&, const std::string&) { return ++saves, 0; };
  }
};

TEST(StatisticsDialogTest, HaltStopsTheSearchAndSaveIsThenRefused) {
  GuiRig rig;
  LongRun job;
  ASSERT_GT(job.run.selected.size(), 5000u);
  tarnvik::testing::FakeClock clock;
  StatisticsDialog dialog(job.run, rig.ui(), clock, &rig.window());
  ASSERT_TRUE(dialog.Open());
  dialog.show();
  dialog.haltButton()->click();
  ASSERT_TRUE(WaitFor([&] { return dialog.statusField()->text() == QStringLiteral("Computation halted"); },
                      std::chrono::seconds(5)))
      << dialog.statusField()->text().toStdString();
  EXPECT_FALSE(dialog.Finished());
  dialog.saveButton()->click();
  EXPECT_TRUE(rig.Shown("Save track log", "Statistics not yet finished")) << rig.BoxTexts();
  EXPECT_EQ(job.saves, 0);
  dialog.exitButton()->click();
  EXPECT_FALSE(dialog.isVisible());
}

TEST(StatisticsDialogTest, ClosingWhileTheSearchRunsEndsItsWorker) {
  GuiRig rig;
  LongRun job;
  tarnvik::testing::FakeClock clock;
  {
    auto dialog = std::make_unique<StatisticsDialog>(job.run, rig.ui(), clock, &rig.window());
    ASSERT_TRUE(dialog->Open());
    dialog->show();
    dialog->close();
    EXPECT_FALSE(dialog->Finished());
  }
  {
    // Destroyed while the search runs, without a close first.
    auto dialog = std::make_unique<StatisticsDialog>(job.run, rig.ui(), clock, &rig.window());
    ASSERT_TRUE(dialog->Open());
  }
  // Texts the workers posted before they ended reach nothing.
  WaitFor([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(job.saves, 0);
}

TEST(StatisticsDialogTest, TooFewSelectedPositionsCloseTheDialogWithTheModelsMessage) {
  GuiRig rig;
  app::FlightStatisticsRun run;
  run.selected = SyntheticPoints(5);
  tarnvik::testing::FakeClock clock;
  StatisticsDialog dialog(run, rig.ui(), clock, &rig.window());
  EXPECT_FALSE(dialog.Open());
  EXPECT_TRUE(rig.Shown("Initialize track statistics dialog box", "Too few positions selected")) << rig.BoxTexts();
}

}  // namespace
}  // namespace tarnvik::gui::testing
