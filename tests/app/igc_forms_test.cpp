#include "app/igc_forms.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "formats/igc.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

using testing::RecordingUi;
namespace fs = std::filesystem;

TEST(IgcFormatForm, StartsWithTheRememberedSettings) {
  core::Settings settings("/home/pilot");
  IgcFormatForm form = LoadIgcFormatForm(settings);
  EXPECT_EQ(form.pilot, "None");
  EXPECT_EQ(form.flightNumber, "1");
  EXPECT_EQ(form.serial, "1");
  EXPECT_EQ(form.site, "None");
  EXPECT_TRUE(form.signature);  // default flag byte 5: signature and short name
  EXPECT_TRUE(form.names.shortName);
  EXPECT_FALSE(form.names.longName);

  settings.Number(core::SettingId::IgcSaveMask) = 2;
  settings.SetText(core::SettingId::IgcPilotName, "Kari");
  form = LoadIgcFormatForm(settings);
  EXPECT_EQ(form.pilot, "Kari");
  EXPECT_FALSE(form.signature);
  EXPECT_TRUE(form.names.longName);
  EXPECT_FALSE(form.names.shortName);
}

TEST(IgcFormatForm, FileNameBoxesExcludeEachOther) {
  IgcNameBoxes boxes;
  boxes.ClickLong();
  EXPECT_TRUE(boxes.longName);
  boxes.ClickShort();
  EXPECT_TRUE(boxes.shortName);
  EXPECT_FALSE(boxes.longName);
  boxes.ClickShort();  // a checked box clicked again: neither is set
  EXPECT_FALSE(boxes.shortName);
  EXPECT_FALSE(boxes.longName);
}

TEST(IgcFormatForm, FieldsTakeAsManyCharactersAsTheirBoxes) {
  IgcFormatForm form;
  form.SetField(IgcField::Serial, "ABCD");
  form.SetField(IgcField::FlightNumber, "123456789012");
  form.SetField(IgcField::Pilot, std::string(90, 'p'));
  EXPECT_EQ(form.serial, "ABC");
  EXPECT_EQ(form.flightNumber, "1234567890");
  EXPECT_EQ(form.pilot.size(), 80u);
}

TEST(IgcFormatForm, CheckGivesTheFirstFailureInOrder) {
  struct Case {
    std::string pilot, flight, serial;
    std::string message;
  };
  const Case cases[] = {
      {"", "", "", "Missing pilot name"},
      {"Kari", "", "", "Missing flight number"},
      {"Kari", "x1", "", "Bad flight number input"},
      {"Kari", "1 ", "", "Bad flight number input"},
      {"Kari", "-", "", "Bad flight number input"},
      {"Kari", "36", "", "Flight number out of range"},
      {"Kari", "0", "", "Flight number out of range"},
      {"Kari", "-5", "", "Flight number out of range"},
      {"Kari", "9999999999", "", "Flight number out of range"},
      {"Kari", "35", "", "Missing FR serial number"},
      {"Kari", "35", "AB", "FR serial number string too short"},
      {"Kari", "35", "A-B", "FR serial number not alpha-numeric"},
      {"Kari", "35", "AB ", "FR serial number not alpha-numeric"},
  };
  for (const auto& c : cases) {
    IgcFormatForm form;
    form.pilot = c.pilot;
    form.flightNumber = c.flight;
    form.serial = c.serial;
    RecordingUi ui;
    EXPECT_EQ(CheckIgcParameters(ui, form), -1) << c.message;
    ui.ExpectOnly("Checking IGC parameters", c.message);
  }

  IgcFormatForm form;
  form.pilot = "Kari";
  form.flightNumber = "+12";
  form.serial = "a1Z";
  form.names.ClickLong();
  form.signature = true;
  RecordingUi ui;
  EXPECT_EQ(CheckIgcParameters(ui, form), 0);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(form.flightNo, 12);
  EXPECT_EQ(form.flags, kIgcSignatureBit | kIgcLongNameBit);
}

TEST(RawIgcSaveForm, CheckAndRemember) {
  struct Case {
    std::string flight, message;
  };
  for (const Case& c : {Case{"", "Missing flight number"}, Case{"a", "Bad flight number input"},
                        Case{"36", "Flight number out of range"}}) {
    RawIgcSaveForm form;
    form.flightNumber = c.flight;
    RecordingUi ui;
    EXPECT_EQ(CheckRawIgcParameters(ui, form), -1);
    ui.ExpectOnly("IGC file parameter check", c.message);
  }
  core::Settings settings("/home/pilot");
  RawIgcSaveForm form = LoadRawIgcSaveForm(settings);
  EXPECT_TRUE(form.names.shortName);
  form.SetFlightNumber("7");
  form.names.ClickLong();
  RecordingUi ui;
  ASSERT_EQ(CheckRawIgcParameters(ui, form), 0);
  EXPECT_EQ(form.flightNo, 7);
  RememberRawIgcSaveForm(form, settings);
  EXPECT_EQ(settings.Text(core::SettingId::IgcFlightNo), "7");
  EXPECT_EQ(settings.Number(core::SettingId::IgcSaveMask), kIgcSignatureBit | kIgcLongNameBit);
}

// ---- saving --------------------------------------------------------------------------------

class IgcSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarnvik_igcforms_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    settings_.SetText(core::SettingId::IgcDir, "/remembered");
    // Two fixes on 2007-12-31.
    const uint32_t t = *core::CalendarToTime(core::SystemTime{2007, 12, 0, 31, 10, 0, 0, 0});
    fixes_ = {{1, t, 643000000, 70000000, 4210}, {0, t + 5, 643000100, 70000100, 4220}};
    form_.pilot = "Kari Nordmann";
    form_.flightNumber = "10";
    form_.serial = "ABC";
    form_.site = "Hamar";
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    core::FileBytes f = core::ReadWholeFile(path);
    return std::string(f.begin(), f.size);
  }
  int Save(int sourceKind) {
    RecordingUi check;
    EXPECT_EQ(CheckIgcParameters(check, form_), 0);
    return SaveIgcTrackLog(ui_, settings_, form_, fixes_, sourceKind, "Garmin eTrex", clock_.UtcNow(), status_);
  }

  fs::path dir_;
  core::Settings settings_{"/home/pilot"};
  IgcFormatForm form_;
  std::vector<core::TrackPoint> fixes_;
  RecordingUi ui_;
  testing::FakeClock clock_;
  std::string status_;
};

TEST_F(IgcSaveTest, ProposesTheChosenNameStyle) {
  struct Case {
    bool longName, shortName;
    std::string proposed;
    size_t filters;
  };
  const Case cases[] = {{true, false, "2007-12-31-XTV-ABC-10.igc", 1},
                        {false, true, "7CVXABCA.igc", 1},
                        {false, false, "", 2}};
  for (const auto& c : cases) {
    form_.names.longName = c.longName;
    form_.names.shortName = c.shortName;
    ui_.fileRequests.clear();
    EXPECT_EQ(Save(1), 1);  // cancelled in the dialog: nothing else happens
    EXPECT_TRUE(ui_.shown.empty());
    ASSERT_EQ(ui_.fileRequests.size(), 1u);
    const core::FileRequest& r = ui_.fileRequests[0];
    EXPECT_EQ(r.title, "Save track log");
    EXPECT_EQ(r.folder, "/remembered");
    EXPECT_EQ(r.fileName, c.proposed);
    ASSERT_EQ(r.filters.size(), c.filters);
    EXPECT_EQ(r.filters[0].patterns, "*.igc");
    if (c.filters == 2) {
      EXPECT_EQ(r.filters[1].description, "All Files");
    }
  }
  EXPECT_EQ(settings_.Text(core::SettingId::IgcPilotName), "None");  // nothing remembered
}

TEST_F(IgcSaveTest, SignedSaveRemembersFormAndFolder) {
  form_.signature = true;
  ui_.files.push_back(Path("flight"));  // no extension: ".igc" is added
  ASSERT_EQ(Save(1), 0);
  EXPECT_TRUE(ui_.shown.empty());
  const std::string text = Read(Path("flight.igc"));
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), "AXTVABC Garmin eTrex\r\n");
  EXPECT_NE(text.find("LXTV Downloaded 2024-07-14  12:30:00\r\n"), std::string::npos);
  EXPECT_EQ(formats::VerifyIgcBytes(text).message, "Security check PASSED");
  EXPECT_EQ(status_, "2 positions written");
  EXPECT_EQ(settings_.Text(core::SettingId::IgcDir), dir_.string());
  EXPECT_EQ(settings_.Text(core::SettingId::IgcPilotName), "Kari Nordmann");
  EXPECT_EQ(settings_.Text(core::SettingId::IgcFlightNo), "10");
  EXPECT_EQ(settings_.Text(core::SettingId::IgcSite), "Hamar");
  EXPECT_EQ(settings_.Number(core::SettingId::IgcSaveMask), kIgcSignatureBit);
}

TEST_F(IgcSaveTest, LogReadFromAFileIsSavedWithoutG) {
  form_.signature = true;
  for (int kind : {0, 7, 9}) {
    ui_.files.push_back(Path("read" + std::to_string(kind) + ".igc"));
    ASSERT_EQ(Save(kind), 0);
    ui_.ExpectOnly("Security record NOT included", "Track log source is not valid for G-record");
    EXPECT_EQ(formats::VerifyIgcBytes(Read(Path("read" + std::to_string(kind) + ".igc"))).message,
              "No security record");
  }
}

TEST_F(IgcSaveTest, ExistingFileNamesAndFailures) {
  fs::path existing = dir_ / "old.igc";
  core::WriteFileAtomically(existing.string(), "old");
  ui_.files.push_back(existing.string());
  EXPECT_EQ(Save(1), 1);  // Cancel is the default: the old file stays
  ui_.ExpectOnly("File creation", "File already exists, overwrite ?");
  EXPECT_EQ(Read(existing.string()), "old");
  EXPECT_EQ(settings_.Text(core::SettingId::IgcPilotName), "None");

  ui_.files.push_back(existing.string());
  ui_.answers.push_back(core::Answer::Ok);
  EXPECT_EQ(Save(1), 0);
  ui_.ExpectOnly("File creation", "File already exists, overwrite ?");
  EXPECT_EQ(formats::ParseIgcLog(Read(existing.string())).count, 2);

  ui_.files.push_back("/" + std::string(256, 'x'));
  EXPECT_EQ(Save(1), -1);
  ui_.ExpectOnly("Error opening file", "Too long file name");

  // A name with an extension of its own keeps it.
  ui_.files.push_back(Path("flight.txt"));
  EXPECT_EQ(Save(1), 0);
  EXPECT_TRUE(fs::exists(dir_ / "flight.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "flight.txt.igc"));
}

TEST_F(IgcSaveTest, RawLogIsSavedUnchanged) {
  formats::IgcBuffer buffer;
  EXPECT_EQ(CheckRawIgcLogStored(ui_, buffer), -1);
  ui_.ExpectOnly("Save IGC log", "No raw IGC log stored");

  core::FileBytes file = core::ReadWholeFile(std::string(TARNVIK_TEST_DATA) + "/igc/hack_885B0912.IGC");
  const std::string bytes(file.begin(), file.size);
  ASSERT_GT(formats::ReadIgcFileBuffer(ui_, bytes, buffer).result, 0);
  EXPECT_EQ(CheckRawIgcLogStored(ui_, buffer), 0);

  RawIgcSaveForm form;
  form.SetFlightNumber("3");
  form.names.ClickLong();
  ASSERT_EQ(CheckRawIgcParameters(ui_, form), 0);
  ui_.files.push_back(Path("2018-08-05-FLY-080-03.igc"));
  EXPECT_EQ(SaveRawIgcLog(ui_, settings_, form, buffer), 0);
  EXPECT_TRUE(ui_.shown.empty());
  ASSERT_EQ(ui_.fileRequests.size(), 1u);
  EXPECT_EQ(ui_.fileRequests[0].fileName, "2018-08-05-FLY-080-03.igc");
  EXPECT_EQ(Read(Path("2018-08-05-FLY-080-03.igc")), bytes);
  EXPECT_EQ(settings_.Text(core::SettingId::IgcFlightNo), "3");
  EXPECT_EQ(settings_.Text(core::SettingId::IgcDir), dir_.string());
  EXPECT_EQ(settings_.Number(core::SettingId::IgcSaveMask), kIgcSignatureBit | kIgcLongNameBit);
}

}  // namespace
}  // namespace tarnvik::app
