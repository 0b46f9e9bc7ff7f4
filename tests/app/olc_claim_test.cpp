#include "app/olc_claim.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis/olc_model.h"
#include "formats/igc.h"
#include "formats/igc_writer.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

namespace fs = std::filesystem;
using core::TrackPoint;

uint32_t At(int year, int month, int day, int hour, int minute, int second) {
  core::SystemTime t;
  t.year = static_cast<uint16_t>(year);
  t.month = static_cast<uint16_t>(month);
  t.day = static_cast<uint16_t>(day);
  t.hour = static_cast<uint16_t>(hour);
  t.minute = static_cast<uint16_t>(minute);
  t.second = static_cast<uint16_t>(second);
  return core::CalendarToTime(t).value();
}

// A position given in degrees and thousandths of a minute (the claim's own unit).
TrackPoint Fix(int latDeg, int latMilliMin, int lonDeg, int lonMilliMin, uint32_t time) {
  auto degrees = [](int deg, int milliMin) {
    double value = std::abs(deg) + milliMin / 60000.0;
    return deg < 0 ? -value : value;
  };
  TrackPoint p;
  p.time = time;
  p.latitude = core::LatitudeFromDegrees(degrees(latDeg, latMilliMin)).value();
  p.longitude = core::LongitudeFromDegrees(degrees(lonDeg, lonMilliMin)).value();
  return p;
}

OlcForm FilledForm() {
  OlcForm form;
  form.firstName = "Ana Maria";
  form.lastName = "Berg";
  form.birthDate = "5.10.71";
  form.gliderType = "R&D 2";
  form.callSign = "D+1";
  form.startPlace = "Fiesch";
  form.classRow = 2;   // "Paraglider (open)"
  form.regionRow = 0;  // "   Unknown"
  form.flightNumber = "12";
  return form;
}

TEST(OlcClaim, PercentEncodeKeepsOnlyLettersDigitsAndSafeMarks) {
  struct Case {
    const char* text;
    const char* encoded;
  };
  for (Case test : {Case{"Ana Maria", "Ana%20Maria"}, Case{"R&D 2", "R%26D%202"}, Case{"a+b", "a%2Bb"},
                    Case{"!$()*,-._", "!$()*,-._"}, Case{"10:15:30", "10%3A15%3A30"}, Case{"Z\xC3\xBCrich", "Z%C3%BCrich"},
                    Case{"a=b/c?", "a%3Db%2Fc%3F"}, Case{"", ""}}) {
    std::string out = "x";
    EXPECT_EQ(PercentEncode(out, test.text), std::string(test.encoded).size());
    EXPECT_EQ(out, std::string("x") + test.encoded) << test.text;
  }
}

TEST(OlcClaim, FileNames) {
  std::vector<TrackPoint> fixes = {Fix(46, 0, 8, 0, At(2007, 10, 5, 10, 15, 30))};
  OlcForm form = FilledForm();
  form.flightNo = 12;
  OlcClaimSource selection;
  EXPECT_EQ(OlcIgcFileName(form, fixes, selection), "7A5X000C");
  form.longFileName = true;
  EXPECT_EQ(OlcIgcFileName(form, fixes, selection), "2007-10-05-XTV-000-12");
  OlcClaimSource raw;
  raw.fromIgcBuffer = true;
  raw.buffer.firstFixTime = fixes[0].time;
  std::memcpy(raw.buffer.manufacturer, "XSK", 4);
  std::memcpy(raw.buffer.serial, "7QB", 4);
  form.longFileName = false;
  EXPECT_EQ(OlcIgcFileName(form, fixes, raw), "7A5X7QBC");
}

TEST(OlcClaim, ClaimLineGolden) {
  const uint32_t start = At(2007, 10, 5, 10, 15, 30);
  std::vector<TrackPoint> fixes = {
      Fix(46, 30500, 8, 15250, start),           Fix(46, 31000, 8, 20000, start + 600),
      Fix(46, 40123, 8, 5007, start + 1200),      Fix(-33, 59999, -70, 1, start + 1800),  // south-west
      Fix(46, 30600, 8, 15300, start + 7261),
  };
  core::Settings settings("/home/pilot");
  testing::RecordingUi ui;
  OlcForm form = FilledForm();
  ASSERT_EQ(CheckOlcForm(ui, settings, form), 0);
  const int32_t points[5] = {0, 1, 2, 3, 4};
  const std::string expected =
      "OLCvnolc=Ana%20Maria&na=Berg&geb=05.10.71&gty=R%26D%202&sta=Fiesch&gid=D%2B1&klasse=3&igcfn=7A5X000C"
      "&flugzeug=1&ft=148565&s0=10%3A15%3A30"
      "&w0bh=N&w0bg=46&w0bm=30&w0bmd=500&w0lh=E&w0lg=8&w0lm=15&w0lmd=250"
      "&w1bh=N&w1bg=46&w1bm=31&w1bmd=000&w1lh=E&w1lg=8&w1lm=20&w1lmd=000"
      "&w2bh=N&w2bg=46&w2bm=40&w2bmd=123&w2lh=E&w2lg=8&w2lm=05&w2lmd=007"
      "&w3bh=S&w3bg=33&w3bm=59&w3bmd=999&w3lh=W&w3lg=70&w3lm=00&w3lmd=001"
      "&w4bh=N&w4bg=46&w4bm=30&w4bmd=600&w4lh=E&w4lg=8&w4lm=15&w4lmd=300"
      "&s4=12%3A16%3A31&software=Tarnvik406";
  EXPECT_EQ(BuildOlcLine(form, fixes, points, OlcClaimSource{}), expected);

  form.regionRow = 9;  // "CH Switzerland / Schweiz"
  std::string withRegion = BuildOlcLine(form, fixes, points, OlcClaimSource{});
  EXPECT_NE(withRegion.find("&sta=Fiesch&region=CH&gid="), std::string::npos);
}

TEST(OlcClaim, FormCheckInOrder) {
  struct Case {
    OlcField field;
    const char* value;
    const char* message;
  };
  const Case cases[] = {
      {OlcField::FirstName, "", "Missing first name"},
      {OlcField::LastName, "", "Missing last name"},
      {OlcField::BirthDate, "", "Missing birth date"},
      {OlcField::BirthDate, "32.1.70", "Bad birth date format"},
      {OlcField::BirthDate, "1.13.70", "Bad birth date format"},
      {OlcField::BirthDate, "1.1.100", "Bad birth date format"},
      {OlcField::BirthDate, "0.1.70", "Bad birth date format"},
      {OlcField::BirthDate, "99999999999.1.1", "Bad birth date format"},
      {OlcField::BirthDate, "1-1-70", "Bad birth date format"},
      {OlcField::GliderType, "", "Missing glider type"},
      {OlcField::StartPlace, "", "Missing start place"},
      {OlcField::FlightNumber, "", "Missing flight number"},
      {OlcField::FlightNumber, "1a", "Bad flight number input"},
      {OlcField::FlightNumber, "36", "Flight number out of range"},
      {OlcField::FlightNumber, "0", "Flight number out of range"},
      {OlcField::FlightNumber, "99999999999999999999", "Flight number out of range"},
  };
  for (const Case& test : cases) {
    core::Settings settings("/home/pilot");
    testing::RecordingUi ui;
    OlcForm form = FilledForm();
    form.Field(test.field) = test.value;
    EXPECT_EQ(CheckOlcForm(ui, settings, form), -1) << test.value;
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].caption, "User information input");
    EXPECT_EQ(ui.shown[0].text, test.message) << test.value;
    EXPECT_EQ(settings.Text(core::SettingId::OlcFirstName), "");  // nothing stored
  }
  for (int row : {-1, 5}) {
    core::Settings settings("/home/pilot");
    testing::RecordingUi ui;
    OlcForm form = FilledForm();
    form.classRow = row;
    EXPECT_EQ(CheckOlcForm(ui, settings, form), -1);
    EXPECT_EQ(ui.shown.at(0).text, "Combo box read error");
  }
  // The call sign may be empty; a passing check stores the texts, class text and region code.
  core::Settings settings("/home/pilot");
  testing::RecordingUi ui;
  OlcForm form = FilledForm();
  form.callSign = "";
  form.regionRow = 9;
  ASSERT_EQ(CheckOlcForm(ui, settings, form), 0);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(form.birthDate, "05.10.71");
  EXPECT_EQ(form.flightNo, 12);
  EXPECT_EQ(settings.Text(core::SettingId::OlcBirthDate), "05.10.71");
  EXPECT_EQ(settings.Text(core::SettingId::OlcGliderClass), "Paraglider (open)");
  EXPECT_EQ(settings.Text(core::SettingId::OlcRegion), "CH");

  // Loaded back: rows found by class text and region code; unknown values select the first row.
  OlcForm loaded = LoadOlcForm(settings, "7");
  EXPECT_EQ(loaded.classRow, 2);
  EXPECT_EQ(loaded.regionRow, 9);
  EXPECT_EQ(loaded.flightNumber, "7");
  EXPECT_EQ(loaded.firstName, "Ana Maria");
  settings.SetText(core::SettingId::OlcGliderClass, "Hot air balloon");
  settings.SetText(core::SettingId::OlcRegion, "XX");
  loaded = LoadOlcForm(settings, "");
  EXPECT_EQ(loaded.classRow, 0);
  EXPECT_EQ(loaded.regionRow, 0);
  // Fields are cut to 80 characters.
  loaded.SetField(OlcField::FirstName, std::string(100, 'a'));
  EXPECT_EQ(loaded.firstName.size(), 80u);
}

// ---- saving -----------------------------------------------------------------------------------

class OlcSave : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarnvik_olc_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // A small square flight, 40 fixes.
    const uint32_t start = At(2007, 10, 5, 10, 0, 0);
    for (int i = 0; i < 40; ++i) {
      int side = i / 10, step = i % 10;
      int north = side == 0 ? step * 500 : side == 1 ? 5000 : side == 2 ? 5000 - step * 500 : 0;
      int east = side == 0 ? 0 : side == 1 ? step * 500 : side == 2 ? 5000 : 5000 - step * 500;
      fixes_.push_back(Fix(46, north * 60000 / 111195, 8, east * 60000 / 77240, start + 20 * i));
    }
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Finish(analysis::OlcModel& model) {
    ASSERT_TRUE(model.Open(fixes_));
    model.Join();
    ASSERT_TRUE(model.Saveable());
  }

  fs::path dir_;
  std::vector<TrackPoint> fixes_;
  testing::RecordingUi ui_;
  testing::RecordingOperation status_;
  core::Settings settings_{"/home/pilot"};
};

TEST_F(OlcSave, OlcOnlyWritesTheLineAndRemembersTheFolder) {
  analysis::OlcModel model(ui_, status_);
  Finish(model);
  OlcForm form = FilledForm();
  ui_.files.push_back((dir_ / "claim").string());
  ASSERT_EQ(SaveOlcFile(ui_, settings_, model, form, OlcClaimSource{}, false), 0);
  ASSERT_FALSE(ui_.fileRequests.empty());
  EXPECT_EQ(ui_.fileRequests[0].title, "Save OLC file");
  EXPECT_EQ(ui_.fileRequests[0].fileName, "7A5X000C");
  EXPECT_EQ(ui_.fileRequests[0].folder, "/home/pilot");
  const std::string written = Read(dir_ / "claim.olc");
  EXPECT_EQ(written, BuildOlcLine(form, fixes_, model.Outcome()->bestPoints, OlcClaimSource{}));
  EXPECT_EQ(written.find('\n'), std::string::npos);
  EXPECT_EQ(ui_.shown.back().caption, "Save OLC data");
  EXPECT_EQ(ui_.shown.back().text, "File written");
  EXPECT_NE(settings_.Text(core::SettingId::OlcDir).find(dir_.filename().string()), std::string::npos);
}

TEST_F(OlcSave, WithIgcOfTheSelectionSignsWhenTheSourceAllows) {
  analysis::OlcModel model(ui_, status_);
  Finish(model);
  for (int kind : {1, 9}) {
    OlcForm form = FilledForm();
    OlcClaimSource source;
    source.sourceKind = kind;
    source.instrumentName = "Garmin eTrex";
    source.downloadTime = core::TimeToCalendar(At(2007, 10, 5, 18, 0, 0));
    const fs::path path = dir_ / ("k" + std::to_string(kind) + ".olc");
    ui_.files.push_back(path.string());
    ASSERT_EQ(SaveOlcFile(ui_, settings_, model, form, source, true), 0);
    const std::string written = Read(path);
    const size_t marker = written.find("&IGCigcIGC=");
    ASSERT_NE(marker, std::string::npos);
    const std::string igc = written.substr(marker + 11);
    formats::IgcVerification check = formats::VerifyIgcBytes(igc);
    if (kind == 1) {
      EXPECT_EQ(check.outcome, formats::IgcCheck::Passed);
      EXPECT_EQ(ui_.shown.back().text, "File written");
    } else {
      EXPECT_NE(check.outcome, formats::IgcCheck::Passed);
      EXPECT_EQ(ui_.shown.back().text, "File written. NO security record");
    }
    EXPECT_NE(igc.find("HOPLTPILOT: Berg"), std::string::npos) << igc.substr(0, 400);
    EXPECT_EQ(formats::ParseIgcLog(igc).count, static_cast<int>(fixes_.size()));
  }
}

TEST_F(OlcSave, WithIgcOfTheBufferAppendsItsBytesUnchanged) {
  analysis::OlcModel model(ui_, status_);
  Finish(model);
  OlcClaimSource source;
  source.fromIgcBuffer = true;
  source.buffer.bytes = "AXSK7QB any text\r\nHFDTE051007\r\nB1000004600000N00800000EA0000000000\r\nGABC";
  std::memcpy(source.buffer.manufacturer, "XSK", 4);
  std::memcpy(source.buffer.serial, "7QB", 4);
  source.buffer.firstFixTime = fixes_[0].time;
  OlcForm form = FilledForm();
  ui_.files.push_back((dir_ / "raw.olc").string());
  ASSERT_EQ(SaveOlcFile(ui_, settings_, model, form, source, true), 0);
  const std::string written = Read(dir_ / "raw.olc");
  const std::string tail = "&IGCigcIGC=" + source.buffer.bytes;
  ASSERT_GE(written.size(), tail.size());
  EXPECT_EQ(written.substr(written.size() - tail.size()), tail);
  EXPECT_NE(written.find("&igcfn=7A5X7QBC&"), std::string::npos);
}

TEST_F(OlcSave, HaltedOrUnfinishedRunsSaveNothing) {
  analysis::OlcModel model(ui_, status_);
  OlcForm form = FilledForm();
  ui_.files.push_back((dir_ / "never.olc").string());
  EXPECT_EQ(SaveOlcFile(ui_, settings_, model, form, OlcClaimSource{}, false), 1);  // nothing run
  Finish(model);
  model.Halt();
  EXPECT_EQ(SaveOlcFile(ui_, settings_, model, form, OlcClaimSource{}, true), 1);
  EXPECT_TRUE(ui_.fileRequests.empty());
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_FALSE(fs::exists(dir_ / "never.olc"));
}

TEST_F(OlcSave, FailedWriteKeepsTheOldFile) {
  analysis::OlcModel model(ui_, status_);
  Finish(model);
  const fs::path path = dir_ / "claim.olc";
  { std::ofstream(path, std::ios::binary) << "old claim"; }
  OlcForm form = FilledForm();
  OlcClaimSource source;
  source.sourceKind = 1;
  ui_.files.push_back(path.string());
  ui_.answers.push_back(core::Answer::Ok);  // replace the file
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int result = SaveOlcFile(ui_, settings_, model, form, source, true);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(ui_.shown.back().caption, "File write error");
  EXPECT_EQ(Read(path), "old claim");
  EXPECT_EQ(settings_.Text(core::SettingId::OlcDir), "/home/pilot");  // not remembered
}

}  // namespace
}  // namespace tarnvik::app
