// "OLC statistics" on real flights: the search runs on its worker and shows its six lines, the
// claim is saved through the form, Halt leaves nothing to save, and closing or destroying the
// dialog while the search runs ends its worker.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/gui/olc_dialog.h"
#include "tests/gui/gui_rig.h"

namespace tarnvik::gui::testing {
namespace {

const std::string kIgcData = TARNVIK_TEST_DATA "/igc/";

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(OlcDialogTest, AnOpenedFlightIsScoredAndItsClaimSavedFromTheIgcBuffer) {
  GuiRig rig;
  InstallOlcDialog(rig.session(), rig.ui(), &rig.window());
  rig.window().UpdateCommandStates();
  auto recorded = rig.ui().chooseFile;
  rig.ui().chooseFile = [recorded](core::FileRequest& request, bool save) {
    if (!save) request.filterIndex = 7;  // "IGC files"
    return recorded(request, save);
  };
  rig.files.push_back(kIgcData + "xcs_marcourt.igc");
  rig.window().RunCommand(40117);  // Open log
  ASSERT_FALSE(rig.session().track.log.points.empty()) << rig.BoxTexts();
  const std::string claim = (rig.folder / "claim.olc").string();
  rig.files.push_back(claim);

  bool shown = false;
  std::string results;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    auto& olc = dynamic_cast<OlcDialog&>(dialog);
    shown = true;
    ASSERT_TRUE(WaitFor([&] { return olc.Finished(); })) << olc.statusField()->text().toStdString();
    WaitFor([&] { return !olc.resultsField()->toPlainText().isEmpty(); }, std::chrono::seconds(5));
    results = olc.resultsField()->toPlainText().toStdString();
    // A form that fails its check keeps the dialog and writes nothing.
    olc.saveOlcButton()->click();
    EXPECT_TRUE(dialog.isVisible());
    olc.field(app::OlcField::FirstName)->setText(QStringLiteral("Ana Maria"));
    olc.field(app::OlcField::LastName)->setText(QStringLiteral("Lund"));
    olc.field(app::OlcField::BirthDate)->setText(QStringLiteral("5.3.71"));
    olc.field(app::OlcField::GliderType)->setText(QStringLiteral("Ozone Rush"));
    olc.field(app::OlcField::StartPlace)->setText(QStringLiteral("Marcourt"));
    olc.field(app::OlcField::FlightNumber)->setText(QStringLiteral("2"));
    olc.regionList()->setCurrentIndex(5);  // "BE Belgium"
    olc.saveIgcButton()->click();
    EXPECT_EQ(olc.field(app::OlcField::BirthDate)->text(), QStringLiteral("05.03.71"));
    olc.exitButton()->click();
  };
  rig.window().actionFor(40095)->trigger();  // OLC statistics (use IGC buffer)
  ASSERT_TRUE(shown) << rig.BoxTexts();
  // The six lines, in order, the best result last.
  for (const char* start : {"Max. distance: ", "Free distance: ", "Out-and-return: ", "Free triangle: ",
                            "FAI triangle: ", "Best result is "}) {
    EXPECT_NE(results.find(start), std::string::npos) << start << " in " << results;
  }
  EXPECT_LT(results.find("Max. distance: "), results.find("Best result is ")) << results;
  ASSERT_FALSE(rig.boxes.empty());
  EXPECT_EQ(rig.boxes.front().caption, "User information input") << rig.BoxTexts();
  EXPECT_TRUE(rig.Shown("Save OLC data", "File written")) << rig.BoxTexts();
  const std::string line = ReadText(claim);
  EXPECT_EQ(line.rfind("OLCvnolc=Ana%20Maria&na=Lund&geb=05.03.71", 0), 0u) << line.substr(0, 80);
  EXPECT_NE(line.find("&region=BE&"), std::string::npos);
  // The raw IGC log follows as it was read.
  const std::string igc = ReadText(kIgcData + "xcs_marcourt.igc");
  const size_t at = line.find("&IGCigcIGC=");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(line.substr(at + 11), igc);
  // The form is kept in the settings for the next claim.
  EXPECT_EQ(rig.session().settings.Text(core::SettingId::OlcLastName), "Lund");
}

// A run over a long real flight, opened on the dialog directly.
struct LongRun {
  app::OlcStatisticsRun run;
  std::string flightNumber;
  LongRun() { run.fixes = RealFlight("igp_2016-11-08-xcs-aaa-02.igc"); }
};

TEST(OlcDialogTest, HaltEndsTheSearchAndTheSavesThenDoNothing) {
  GuiRig rig;
  LongRun job;
  ASSERT_GT(job.run.fixes.size(), 5000u);
  OlcDialog dialog(job.run, rig.ui(), rig.session().settings, job.flightNumber, &rig.window());
  ASSERT_TRUE(dialog.Open());
  dialog.show();
  // The progress field is polled while the search runs: "n %".
  EXPECT_TRUE(WaitFor([&] { return dialog.progressField()->text().endsWith(QStringLiteral(" %")); },
                      std::chrono::seconds(10)))
      << dialog.progressField()->text().toStdString();
  EXPECT_FALSE(dialog.WorkerEnded());
  dialog.haltButton()->click();
  ASSERT_TRUE(WaitFor([&] { return dialog.WorkerEnded(); }, std::chrono::seconds(30)));
  EXPECT_FALSE(dialog.Saveable());
  WaitFor([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_TRUE(dialog.resultsField()->toPlainText().isEmpty()) << dialog.resultsField()->toPlainText().toStdString();
  rig.files.push_back((rig.folder / "never.olc").string());
  dialog.saveOlcButton()->click();
  dialog.saveIgcButton()->click();
  EXPECT_EQ(rig.files.size(), 1u) << "no file was asked for";
  EXPECT_TRUE(rig.boxes.empty()) << rig.BoxTexts();
  EXPECT_FALSE(std::filesystem::exists(rig.folder / "never.olc"));
  dialog.exitButton()->click();
  EXPECT_FALSE(dialog.isVisible());
}

TEST(OlcDialogTest, ClosingOrDestroyingWhileTheSearchRunsEndsItsWorker) {
  GuiRig rig;
  LongRun job;
  {
    auto dialog = std::make_unique<OlcDialog>(job.run, rig.ui(), rig.session().settings, job.flightNumber,
                                              &rig.window());
    ASSERT_TRUE(dialog->Open());
    dialog->show();
    dialog->field(app::OlcField::FlightNumber)->setText(QStringLiteral("7"));
    dialog->close();
    EXPECT_TRUE(dialog->WorkerEnded());
    EXPECT_FALSE(dialog->Saveable());
  }
  // The flight number typed stays for the next dialog of this run.
  EXPECT_EQ(job.flightNumber, "7");
  {
    // Destroyed while the search runs, without a close first.
    auto dialog = std::make_unique<OlcDialog>(job.run, rig.ui(), rig.session().settings, job.flightNumber,
                                              &rig.window());
    EXPECT_EQ(dialog->field(app::OlcField::FlightNumber)->text(), QStringLiteral("7"));
    ASSERT_TRUE(dialog->Open());
  }
  // Texts the workers posted before they ended reach nothing.
  WaitFor([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_TRUE(rig.boxes.empty()) << rig.BoxTexts();
}

TEST(OlcDialogTest, FewerThanFivePositionsCloseTheDialogWithTheModelsMessage) {
  GuiRig rig;
  app::OlcStatisticsRun run;
  run.fixes = SyntheticPoints(4);
  std::string flightNumber;
  OlcDialog dialog(run, rig.ui(), rig.session().settings, flightNumber, &rig.window());
  EXPECT_FALSE(dialog.Open());
  EXPECT_TRUE(rig.Shown("Initialize OLC statistics", "Number of positions must be 5 or more")) << rig.BoxTexts();
}

}  // namespace
}  // namespace tarnvik::gui::testing
