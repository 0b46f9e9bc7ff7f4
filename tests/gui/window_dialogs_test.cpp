// The dialogs of the session's commands as the window shows them: the IGC forms, the COM port
// chooser, About, the owner name.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>

#include <sstream>

#include "app/command_line_program.h"
#include "app/gui/dialogs.h"
#include "tests/gui/gui_rig.h"

namespace tarnvik::gui::testing {
namespace {

TEST(WindowDialogsTest, IgcFileFormatKeepsItsFieldsUntilTheCheckPassesAndSavesASignedIgc) {
  GuiRig rig(SyntheticPoints(30));
  rig.StartDownload();
  ASSERT_TRUE(rig.WaitIdle()) << rig.BoxTexts();
  rig.window().actionFor(40042)->trigger();
  const std::string igc = (rig.folder / "flight.igc").string();
  rig.files.push_back(igc);
  int saveClicks = 0;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    auto& form = dynamic_cast<IgcFormatDialog&>(dialog);
    // The two file-name boxes exclude each other.
    form.longNameBox()->click();
    form.shortNameBox()->click();
    EXPECT_TRUE(form.shortNameBox()->isChecked());
    EXPECT_FALSE(form.longNameBox()->isChecked());
    form.shortNameBox()->click();
    form.field(app::IgcField::Pilot)->setText(QStringLiteral("Eva Lund"));
    form.field(app::IgcField::FlightNumber)->setText(QStringLiteral("1"));
    form.field(app::IgcField::Serial)->setText(QStringLiteral("A1"));  // too short
    form.saveButton()->click();
    ++saveClicks;
    EXPECT_TRUE(dialog.isVisible()) << "a failed check keeps the dialog open";
    form.field(app::IgcField::Serial)->setText(QStringLiteral("A1B"));
    form.signatureBox()->setChecked(true);
    form.saveButton()->click();
    ++saveClicks;
    EXPECT_FALSE(dialog.isVisible());
  };
  rig.window().actionFor(40043)->trigger();
  EXPECT_EQ(saveClicks, 2);
  ASSERT_FALSE(rig.boxes.empty());
  EXPECT_EQ(rig.boxes.front().caption, "Checking IGC parameters") << rig.BoxTexts();
  std::ostringstream verified;
  EXPECT_EQ(app::VerifyFiles({igc}, verified), 0) << verified.str() << rig.BoxTexts();
}

TEST(WindowDialogsTest, CancelledIgcFormatWritesNothing) {
  GuiRig rig(SyntheticPoints(30));
  rig.StartDownload();
  ASSERT_TRUE(rig.WaitIdle());
  rig.window().actionFor(40042)->trigger();
  rig.files.push_back((rig.folder / "never.igc").string());
  rig.ui().driveDialog = [](QDialog& dialog) { dialog.reject(); };
  rig.window().actionFor(40043)->trigger();
  EXPECT_FALSE(std::filesystem::exists(rig.folder / "never.igc"));
  EXPECT_EQ(rig.files.size(), 1u) << "no file was asked for";
}

TEST(WindowDialogsTest, SelectComPortPreselectsTheSessionsPortAndTakesATypedDevicePath) {
  GuiRig rig;
  std::string preselected;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    auto& chooser = dynamic_cast<ComPortDialog&>(dialog);
    preselected = chooser.ports()->currentText().toStdString();
    chooser.ports()->setEditText(QStringLiteral("  ./gps "));
    chooser.accept();
  };
  rig.window().actionFor(40006)->trigger();
  EXPECT_EQ(preselected, "/dev/simulated") << rig.BoxTexts();
  // A relative link is remembered by its absolute path.
  const std::string gps = (std::filesystem::current_path() / "gps").string();
  EXPECT_EQ(rig.session().portName, gps);
  EXPECT_EQ(rig.session().settings.Text(core::SettingId::PortName), gps);
  EXPECT_EQ(rig.window().windowTitle().toStdString(), "Tarnvik 4.06, " + gps);

  // Cancel keeps the port.
  rig.ui().driveDialog = [](QDialog& dialog) { dialog.reject(); };
  rig.window().actionFor(40006)->trigger();
  EXPECT_EQ(rig.session().portName, gps);
}

TEST(WindowDialogsTest, DumpDebugDataWritesTheBytesOfTheLastTransferAndClearEmptiesIt) {
  GuiRig rig(SyntheticPoints(10));
  rig.StartDownload();
  ASSERT_TRUE(rig.WaitIdle()) << rig.BoxTexts();
  const std::filesystem::path dump = rig.folder / "debug.log";
  rig.files.push_back(dump.string());
  rig.window().actionFor(40079)->trigger();
  ASSERT_TRUE(std::filesystem::exists(dump)) << rig.BoxTexts();
  EXPECT_GT(std::filesystem::file_size(dump), 0u);
  rig.window().actionFor(40080)->trigger();
  rig.boxes.clear();
  rig.window().actionFor(40079)->trigger();
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.BoxTexts();
  EXPECT_EQ(rig.boxes[0].text, "Buffer is empty");
}

TEST(WindowDialogsTest, AboutShowsTheVersionWithTheInformationIcon) {
  GuiRig rig;
  rig.window().actionFor(40005)->trigger();
  ASSERT_EQ(rig.boxes.size(), 1u);
  EXPECT_EQ(rig.boxes[0].caption, "About Tarnvik");
  EXPECT_EQ(rig.boxes[0].text, "Version 4.06");
  EXPECT_EQ(rig.boxes[0].icon, core::Icon::Information);
}

TEST(WindowDialogsTest, TheOwnerNameDialogTakesNineCharactersAndAnEmptyNameCancels) {
  GuiRig rig;
  QString typed;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    auto& input = dynamic_cast<QInputDialog&>(dialog);
    QLineEdit* edit = input.findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->setText(typed);
    input.accept();
  };
  typed = QStringLiteral("Eva  Lund and more");
  EXPECT_EQ(rig.session().dialogs.ownerName(access::kProtocolLogIt), std::optional<std::string>("Eva Lund "));
  typed = QStringLiteral("   ");
  EXPECT_EQ(rig.session().dialogs.ownerName(access::kProtocolLogIt), std::nullopt);
}

}  // namespace
}  // namespace tarnvik::gui::testing

namespace tarnvik::gui::testing {
namespace {

TEST(QtNameFilterTest, TheFilterOffersEveryPatternOfTheType) {
  EXPECT_EQ(QtNameFilter({"IGC files (*.igc)", "*.igc;*.IGC"}), "IGC files (*.igc *.IGC)");
  EXPECT_EQ(QtNameFilter({"Hangarium files (*.*)", "*.*"}), "Hangarium files (*.*)");
  EXPECT_EQ(QtNameFilter({"All Files", ""}), "All Files (*)");
}

}  // namespace
}  // namespace tarnvik::gui::testing
