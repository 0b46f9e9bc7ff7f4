#include "app/command_line_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/file_io.h"
#include "formats/igc.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

using testing::RecordingUi;
namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// 2007-06-01 10:00:00 UTC in the program's time encoding.
constexpr uint32_t kJune2007 = 6361 * 86400u + 36000;

class CommandLineFinishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarnvik_clrun_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (uint32_t i = 0; i < 3; ++i) log_.points.push_back({i == 0 ? 1u : 0u, kJune2007 + i, 0, 0, 0});
    // Plain writers: the finish step's naming and file handling are under test here, the
    // formats have their own tests.
    auto text = [](const char* kind) {
      return [kind](const CommandLineFileData& d, std::string& bytes) {
        bytes = std::string(kind) + " " + std::to_string(d.log.points.size()) + "\n";
        return 0;
      };
    };
    formats_.kml = text("kml");
    formats_.igc = text("igc");
    formats_.oziWaypoints = text("wpt");
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all);
    fs::remove_all(dir_);
  }

  bool Finish(CommandLineAction action, const std::string& fileName) {
    options_.action = action;
    options_.fileName = fileName;
    CommandLineFinishContext context{ui_,     clock_, log_, rawIgc_, waypoints_,
                                     [this](const std::string& t) { statuses_.push_back(t); },
                                     [this](const std::string& t) { products_.push_back(t); },
                                     [this](ViewMode v) { refreshed_.push_back(v); },
                                     {},
                                     {}};
    return WriteCommandLineFile(options_, formats_, context);
  }

  fs::path dir_;
  RecordingUi ui_;
  testing::FakeClock clock_;
  core::TrackLog log_;
  std::vector<uint8_t> rawIgc_;
  core::WaypointList waypoints_;
  CommandLineOptions options_;
  CommandLineFormats formats_;
  std::vector<std::string> statuses_, products_;
  std::vector<ViewMode> refreshed_;
};

TEST_F(CommandLineFinishTest, TrackFileGetsTheDateOfTheFirstFixAndKeepsBlanks) {
  fs::create_directories(dir_ / "My logs");
  ASSERT_TRUE(Finish(CommandLineAction::KmlLog, (dir_ / "My logs" / "$date-$date.kml").string()));
  const fs::path written = dir_ / "My logs" / "20070601-20070601.kml";
  EXPECT_EQ(ReadText(written), "kml 3\n");
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_EQ(statuses_, std::vector<std::string>{"3 positions written"});
  EXPECT_EQ(products_, std::vector<std::string>{written.string()});
}

TEST_F(CommandLineFinishTest, ExistingFileIsKeptUnlessOverwriteOrOk) {
  const fs::path path = dir_ / "log.kml";
  ASSERT_EQ(core::WriteFileAtomically(path.string(), "old"), "");
  EXPECT_FALSE(Finish(CommandLineAction::KmlLog, path.string()));  // the default answer: Cancel
  EXPECT_EQ(ReadText(path), "old");
  ASSERT_EQ(ui_.shown.size(), 1u);
  EXPECT_TRUE(ui_.shown[0].question);
  ui_.ExpectOnly("File creation", "File already exists, overwrite ?");

  ui_.answers.push_back(core::Answer::Ok);
  EXPECT_TRUE(Finish(CommandLineAction::KmlLog, path.string()));
  EXPECT_EQ(ReadText(path), "kml 3\n");
  ui_.shown.clear();

  ASSERT_EQ(core::WriteFileAtomically(path.string(), "old"), "");
  options_.overwrite = true;
  EXPECT_TRUE(Finish(CommandLineAction::KmlLog, path.string()));
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_EQ(ReadText(path), "kml 3\n");
}

TEST_F(CommandLineFinishTest, FailuresOfTrackAndWaypointFiles) {
  // A name that "$date" pushes beyond 260 characters is refused, not cut.
  std::string longName = (dir_ / std::string(200, 'n')).string();
  longName.resize(258, 'n');
  longName += "$date";
  EXPECT_FALSE(Finish(CommandLineAction::OziLog, longName));
  ui_.ExpectOnly("Download track log", "Too long file name");

  // Overwrite into a folder that does not exist: the system's text, and a visible window stays.
  options_.overwrite = true;
  options_.exitWhenDone = true;
  EXPECT_FALSE(Finish(CommandLineAction::KmlLog, (dir_ / "missing" / "x.kml").string()));
  ui_.ExpectOnly("Error opening file", "No such file or directory");
  EXPECT_FALSE(options_.exitWhenDone);
  EXPECT_EQ(refreshed_, std::vector<ViewMode>{ViewMode::Tracklog});

  EXPECT_FALSE(Finish(CommandLineAction::MpsLog, (dir_ / "x.mps").string()));
  ui_.ExpectOnly("Download track log", "MapSource files cannot be written by this build");

  EXPECT_FALSE(Finish(CommandLineAction::ReadWaypoints, (dir_ / "x.wpt").string()));
  ui_.ExpectOnly("Download waypoints", "No waypoints");
  waypoints_.waypoints.resize(2);
  EXPECT_TRUE(Finish(CommandLineAction::ReadWaypoints, (dir_ / "$date.wpt").string()));
  EXPECT_TRUE(fs::exists(dir_ / "$date.wpt"));  // no date in waypoint file names
  EXPECT_EQ(statuses_.back(), "2 waypoints written");

  log_.points.clear();
  EXPECT_FALSE(Finish(CommandLineAction::KmlLog, (dir_ / "y.kml").string()));
  ui_.ExpectOnly("Download track log", "No positions");
}

TEST_F(CommandLineFinishTest, IgcFolderTakesTheNextFreeFlightNumber) {
  const std::string folder = dir_.string() + "/";
  for (int n : {1, 2}) {
    std::ofstream(dir_ / IgcShortName(kJune2007, false, "000", n)) << "taken";
  }
  ASSERT_TRUE(Finish(CommandLineAction::IgcLog, folder));
  EXPECT_EQ(IgcShortName(kJune2007, false, "000", 3), "2007-06-01-xtv-000-03.igc");
  EXPECT_EQ(ReadText(dir_ / "2007-06-01-xtv-000-03.igc"), "igc 3\n");
  EXPECT_EQ(ReadText(dir_ / "2007-06-01-xtv-000-01.igc"), "taken");
  EXPECT_TRUE(ui_.shown.empty());

  for (int n = 4; n <= 35; ++n) std::ofstream(dir_ / IgcShortName(kJune2007, false, "000", n)) << "taken";
  options_.exitWhenDone = true;
  EXPECT_FALSE(Finish(CommandLineAction::IgcLog, folder));
  ui_.ExpectOnly("Save IGC log", "No free flight number available");
  EXPECT_FALSE(options_.exitWhenDone);

  options_.overwrite = true;  // replaces flight 1
  EXPECT_TRUE(Finish(CommandLineAction::IgcLog, folder));
  EXPECT_EQ(ReadText(dir_ / "2007-06-01-xtv-000-01.igc"), "igc 3\n");
}

TEST_F(CommandLineFinishTest, IgcCreateErrorsStopAtOnce) {
  // A folder that does not exist is not tried 35 times.
  // The system's reason stands beside the message.
  EXPECT_FALSE(Finish(CommandLineAction::IgcLog, (dir_ / "missing").string() + "/"));
  ui_.ExpectOnly("Save IGC log", "File open error: " + std::error_code(ENOENT, std::generic_category()).message());
  // A plain file name is tried once.
  std::ofstream(dir_ / "flight.igc") << "mine";
  EXPECT_FALSE(Finish(CommandLineAction::IgcLog, (dir_ / "flight.igc").string()));
  ui_.ExpectOnly("Save IGC log", "File open error: " + std::error_code(EEXIST, std::generic_category()).message());
  EXPECT_EQ(ReadText(dir_ / "flight.igc"), "mine");
  EXPECT_TRUE(Finish(CommandLineAction::IgcLog, (dir_ / "$date.igc").string()));
  EXPECT_EQ(ReadText(dir_ / "20070601.igc"), "igc 3\n");
  // A folder name with the short name reaching 260 characters.
  std::string deep = dir_.string() + "/" + std::string(260 - dir_.string().size() - 26, 'd') + "/";
  EXPECT_FALSE(Finish(CommandLineAction::IgcLog, deep));
  ui_.ExpectOnly("Save IGC log", "Too long file name");
}

// An existing folder named without its trailing separator is that folder; a name that is no
// folder stays a file name.
TEST_F(CommandLineFinishTest, IgcFolderWithoutItsSeparator) {
  fs::create_directories(dir_ / "logs");
  ASSERT_TRUE(Finish(CommandLineAction::IgcLog, (dir_ / "logs").string()));
  EXPECT_EQ(ReadText(dir_ / "logs" / "2007-06-01-xtv-000-01.igc"), "igc 3\n");
  ASSERT_TRUE(Finish(CommandLineAction::IgcLog, (dir_ / "logs").string()));
  EXPECT_TRUE(fs::exists(dir_ / "logs" / "2007-06-01-xtv-000-02.igc"));
  ASSERT_TRUE(Finish(CommandLineAction::IgcLog, (dir_ / "plain").string()));
  EXPECT_EQ(ReadText(dir_ / "plain"), "igc 3\n");
  EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(CommandLineFinishTest, IgcFromTheInstrumentIsWrittenAsDelivered) {
  options_.gpsType = GpsType::IqCompeo;
  EXPECT_FALSE(Finish(CommandLineAction::IgcLog, dir_.string() + "/"));
  ui_.ExpectOnly("Save IGC log", "No log stored");
  const std::string igc =
      "AFLY05094\r\nHFDTE150619\r\nB1157274518573N00553456EA0151301653\r\n";
  rawIgc_.assign(igc.begin(), igc.end());
  ASSERT_TRUE(Finish(CommandLineAction::IgcLog, dir_.string() + "/"));
  EXPECT_EQ(ReadText(dir_ / "2019-06-15-xxx-050-01.igc"), igc);
}

TEST_F(CommandLineFinishTest, BuiltInIgcWriterSignsAndCarriesThePilot) {
  formats_ = BuiltInCommandLineFormats();
  log_.points[1].latitude = 1 << 29;  // 45 degrees north
  log_.points[2].longitude = -(1 << 28);
  log_.points[2].height = 15130;
  log_.sourceKind = 1;
  options_.pilotName = "Ann Berg";
  options_.gliderId = "D-1234";
  ASSERT_TRUE(Finish(CommandLineAction::IgcLog, dir_.string() + "/"));
  const std::string text = ReadText(dir_ / "2007-06-01-xtv-000-01.igc");
  EXPECT_NE(text.find("HOPLTPILOT: Ann Berg\r\n"), std::string::npos);
  EXPECT_NE(text.find("HOGTYGLIDERID: D-1234\r\n"), std::string::npos);
  EXPECT_EQ(formats::VerifyIgcBytes(text).outcome, formats::IgcCheck::Passed);
  formats::IgcParseResult back = formats::ParseIgcLog(text);
  ASSERT_EQ(back.count, 3) << back.error;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(back.fixes[i].time, log_.points[i].time);
    EXPECT_NEAR(back.fixes[i].latitude, log_.points[i].latitude, 200);  // thousandths of a minute
    EXPECT_NEAR(back.fixes[i].longitude, log_.points[i].longitude, 200);
  }
  EXPECT_EQ(back.fixes[2].height, 15130);
}

TEST(CommandLineRun, IqCompeoCommentRules) {
  std::vector<core::Waypoint> w(2);
  std::strcpy(w[0].id, "TAKEOF");
  std::strcpy(w[1].id, "LAND");
  std::strcpy(w[1].comment, "FIELD BY THE RIVER NEAR THE OLD BRIDGE X");  // 40 characters
  auto onlyName = w;
  ApplyIqCompeoCommentRule(onlyName, false);
  EXPECT_STREQ(onlyName[0].comment, "TAKEOF");
  EXPECT_STREQ(onlyName[1].comment, "FIELD BY THE RIVER NEAR THE OLD BRIDGE X");
  ApplyIqCompeoCommentRule(w, true);
  EXPECT_STREQ(w[0].comment, "TAKEOF ");
  EXPECT_STREQ(w[1].comment, "LAND FIELD BY THE RIVER NEAR THE OLD BRI");
}

}  // namespace
}  // namespace tarnvik::app
