#include "app/file_commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "analysis/statistics_model.h"
#include "app/commands.h"
#include "core/file_io.h"
#include "tests/fakes/fake_clock.h"
#include "tests/formats/dat_file_builder.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

namespace fs = std::filesystem;
using core::Answer;

class NoGate : public TransferGate {
 public:
  void Init() override {}
  int Start(access::AccessRequest, uint64_t&) override { return -1; }
  int Abort() override { return 0; }
  void Shutdown() override {}
};

// A Ui whose file dialogs also report the filter the user picked.
class DialogUi : public testing::RecordingUi {
 public:
  std::deque<int> pickedFilters;  // empty: the dialog's own index stays
  std::optional<std::string> ChooseOpenFile(core::FileRequest& request) override { return Pick(request, false); }
  std::optional<std::string> ChooseSaveFile(core::FileRequest& request) override { return Pick(request, true); }

 private:
  std::optional<std::string> Pick(core::FileRequest& request, bool save) {
    if (!pickedFilters.empty()) {
      request.filterIndex = pickedFilters.front();
      pickedFilters.pop_front();
    }
    return save ? RecordingUi::ChooseSaveFile(request) : RecordingUi::ChooseOpenFile(request);
  }
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

const std::string kIgcFile = std::string(TARNVIK_TEST_DATA) + "/igc/igl_no_time_increment.igc";

class FileCommandsTest : public ::testing::Test {
 protected:
  FileCommandsTest() : session(ui, clock, gate, "/home/pilot") {
    dir = fs::temp_directory_path() / ("tarnvik_filecmd_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    session.Initialise(nullptr);
  }
  ~FileCommandsTest() override { fs::remove_all(dir); }

  // Opens a track log file through "&Open log" with the filter the user picks.
  void Open(const std::string& path, int filter) {
    ui.files = {path};
    ui.pickedFilters = {filter};
    DispatchCommand(session, 40117);
  }
  void SelectAllRows() { DispatchCommand(session, 40042); }

  DialogUi ui;
  testing::FakeClock clock;
  NoGate gate;
  Session session;
  fs::path dir;
};

TEST_F(FileCommandsTest, OpeningAnIgcFileReplacesTheLogAndRemembersFolderAndType) {
  Open(kIgcFile, 16);  // "IGC files (*.*)" folds back onto IGC
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  const core::FileRequest& request = ui.fileRequests[0];
  EXPECT_EQ(request.title, "Read track log");
  ASSERT_EQ(request.filters.size(), 18u);
  EXPECT_EQ(request.filters[0].description, "Hangarium files (*.kml)");
  EXPECT_EQ(request.filters[0].patterns, "*.kml");
  EXPECT_EQ(request.filters[15].description, "IGC files (*.*)");
  EXPECT_EQ(request.folder, "/home/pilot");
  EXPECT_TRUE(ui.shown.empty()) << ui.shown[0].text;

  ASSERT_TRUE(session.track.present);
  EXPECT_EQ(session.track.log.points.size(), 200u);
  EXPECT_EQ(session.track.log.origin, 0);
  EXPECT_EQ(session.statusLine, "200 positions read  (Bad/missing signature)");
  EXPECT_EQ(session.track.rawIgc.size(), fs::file_size(kIgcFile));
  EXPECT_EQ(session.viewMode, ViewMode::Tracklog);
  EXPECT_EQ(session.settings.Number(core::SettingId::LogImportExt), 7);
  EXPECT_EQ(session.settings.Text(core::SettingId::TrackLogDir), std::string(TARNVIK_TEST_DATA) + "/igc");
  formats::IgcBuffer buffer = session.IgcBufferOfLog();
  EXPECT_EQ(buffer.firstFixTime, session.track.log.points.front().time);
}

TEST_F(FileCommandsTest, AFailedOpenKeepsTheLogAndItsRawIgcLog) {
  Open(kIgcFile, 7);
  session.track.saved = true;
  std::vector<uint8_t> raw = session.track.rawIgc;
  std::string broken = (dir / "broken.igc").string();
  ASSERT_EQ(core::WriteFileAtomically(broken, "AXXX001\r\nHFDTE010203\r\nnothing else\r\n"), "");
  Open(broken, 7);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Reading IGC log file");
  EXPECT_EQ(session.track.log.points.size(), 200u);
  EXPECT_EQ(session.track.rawIgc, raw);
  EXPECT_EQ(session.statusLine, "No positions found");

  ui.shown.clear();
  std::string empty = (dir / "empty.kml").string();
  ASSERT_EQ(core::WriteFileAtomically(empty, ""), "");
  Open(empty, 1);
  ui.ExpectOnly("Read track log file", "File is empty");
  Open((dir / "missing.kml").string(), 1);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Error opening track log file");
  ui.shown.clear();
  Open(kIgcFile, 4);  // the chosen type's reader decides: an IGC file is no Top Navigator log
  ui.ExpectOnly("Reading Top Navigator Log File", "Missing start record");
  EXPECT_EQ(session.track.log.points.size(), 200u);
  EXPECT_EQ(session.track.rawIgc, raw);

  // An unsaved log asks first; Cancel opens no dialog.
  session.track.saved = false;
  ui.answers = {Answer::Cancel};
  size_t dialogs = ui.fileRequests.size();
  Open(kIgcFile, 7);
  ui.ExpectOnly("Unsaved track log", "Current track log will be overwritten. Continue ?");
  EXPECT_EQ(ui.fileRequests.size(), dialogs);
}

TEST_F(FileCommandsTest, TheIgcSaveMarksTheLogSavedOnlyWhenTheFileWasWritten) {
  Open(kIgcFile, 7);
  SelectAllRows();
  session.dialogs.igcFormat = [this](IgcFormatForm& form) {
    form.SetField(IgcField::Serial, "AB1");
    return CheckIgcParameters(ui, form) == 0;
  };
  std::string path = (dir / "flight").string();
  ui.files = {path};
  ASSERT_EQ(DispatchCommand(session, 40043), CommandOutcome::Done);
  // A log read from a file is not signed, and the save says so.
  ui.ExpectOnly("Security record NOT included", "Track log source is not valid for G-record");
  EXPECT_EQ(ReadText(path + ".igc").substr(0, 4), "AXTV");
  EXPECT_EQ(session.statusLine, "200 positions written");
  EXPECT_TRUE(session.track.saved);

  // Saving again over the same name: the default answer keeps the old file, the log stays unsaved.
  session.track.saved = false;
  ui.files = {path + ".igc"};
  DispatchCommand(session, 40043);
  ui.ExpectOnly("File creation", "File already exists, overwrite ?");
  EXPECT_FALSE(session.track.saved);
  // A cancelled file dialog leaves it unsaved too.
  DispatchCommand(session, 40043);
  EXPECT_FALSE(session.track.saved);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(FileCommandsTest, TheRawIgcLogIsSavedUnchanged) {
  session.dialogs.rawIgcSave = [this](RawIgcSaveForm& form) { return CheckRawIgcParameters(ui, form) == 0; };
  DispatchCommand(session, 40072);
  ui.ExpectOnly("Save IGC log", "No raw IGC log stored");
  Open(kIgcFile, 7);
  std::string path = (dir / "raw.igc").string();
  ui.files = {path};
  DispatchCommand(session, 40072);
  EXPECT_TRUE(ui.shown.empty()) << ui.shown[0].text;
  EXPECT_EQ(ReadText(path), ReadText(kIgcFile));
  EXPECT_TRUE(session.track.saved);
}

TEST_F(FileCommandsTest, TheKmlSaveGoesThroughTheStatisticsAndReadsBackSigned) {
  // The fixes of a real flight as if an instrument had delivered them (source kind 1).
  Open(kIgcFile, 7);
  std::vector<core::TrackPoint> points = session.track.log.points;
  session.ReplaceTrackLog(points, 1, 1);
  session.ChangeView(ViewMode::Tracklog, true);
  SelectAllRows();

  testing::RecordingOperation status;
  int saved = -9;
  session.dialogs.flightStatistics = [&](FlightStatisticsRun& run) {
    EXPECT_EQ(run.selected.size(), 200u);
    EXPECT_TRUE(run.filterOn);
    analysis::StatisticsModel model(ui, status, clock);
    ASSERT_TRUE(model.Open(run.selected, false, run.sourceKind, run.sourceFlag));
    for (int i = 0; i < 5000 && !model.Finished(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(model.Finished());
    saved = model.Save("Morning flight", run.save);
  };
  std::string path = (dir / "logbook.kml").string();
  ui.files = {path};
  EXPECT_FALSE(session.track.saved);
  ASSERT_EQ(DispatchCommand(session, 40115), CommandOutcome::Done);
  EXPECT_EQ(saved, 0);
  EXPECT_TRUE(session.track.saved);
  EXPECT_EQ(session.settings.Text(core::SettingId::TrackLogDir), dir.string());
  ASSERT_TRUE(fs::exists(path));

  ui.shown.clear();
  Open(path, 1);
  EXPECT_EQ(session.statusLine, "200 positions read  (Signature OK)");
  EXPECT_EQ(session.track.log.sourceKind, 7);
  EXPECT_TRUE(session.track.rawIgc.empty());  // a KML log replaced the IGC one
}

TEST_F(FileCommandsTest, SaveLogAsWritesTheRawTopNavigatorLog) {
  std::string path = (dir / "topnav").string();
  ui.files = {path};
  ui.pickedFilters = {3};
  DispatchCommand(session, 40116);
  ui.ExpectOnly("Save track log", "No TopNav log downloaded");
  session.track.present = true;
  session.track.rawDevice = {'T', 'N', 0, 1, 2};
  ui.files = {path};
  ui.pickedFilters = {3};
  DispatchCommand(session, 40116);
  ui.ExpectOnly("Save track log", "File written");
  EXPECT_EQ(ReadText(path + ".tnc"), std::string("TN\0\1\2", 5));
  EXPECT_EQ(session.productLine, path + ".tnc");
  EXPECT_EQ(session.settings.Number(core::SettingId::LogExportExt), 3);
  EXPECT_TRUE(session.track.saved);

  // A name longer than a dialog takes.
  ui.files = {std::string(300, 'x')};
  ui.pickedFilters = {3};
  DispatchCommand(session, 40116);
  ui.ExpectOnly("Error opening file", "Too long file name");
}

TEST_F(FileCommandsTest, OldLogbookFilesReadWithTheirValidation) {
  for (bool validation : {true, false}) {
    std::string path = (dir / (validation ? "valid.dat" : "plain.dat")).string();
    ASSERT_EQ(core::WriteFileAtomically(path, testing::BuildDatFile(testing::SampleDatFlight(true, validation))), "");
    session.track.saved = true;
    Open(path, 3);
    EXPECT_TRUE(ui.shown.empty()) << ui.Texts()[0];
    EXPECT_EQ(session.statusLine, validation ? "5 positions read  (Signature OK)"
                                             : "5 positions read  (Bad/missing signature)");
    EXPECT_EQ(session.track.log.sourceKind, validation ? 7 : 0);
  }
}

TEST(FileDialogs, FilterIndicesFoldOntoTheirTypes) {
  EXPECT_EQ(FoldFilterIndex(1, 9), 1);
  EXPECT_EQ(FoldFilterIndex(9, 9), 9);
  EXPECT_EQ(FoldFilterIndex(10, 9), 1);
  EXPECT_EQ(FoldFilterIndex(18, 9), 9);
  EXPECT_EQ(FoldFilterIndex(19, 9), 1);
  EXPECT_EQ(FoldFilterIndex(0, 5), 1);
}

}  // namespace
}  // namespace tarnvik::app

namespace tarnvik::app {
namespace {

// "Save log As" in each format writer's type, then "Open log" of that file with the same type.
TEST_F(FileCommandsTest, SaveLogAsFormatsReadBackThroughOpenLog) {
  Open(kIgcFile, 7);
  const std::vector<core::TrackPoint> original = session.track.log.points;
  struct Type {
    int save;  // filter index of "Save track log"
    int open;  // filter index of "Read track log"
    const char* extension;
  };
  const Type types[] = {{1, 2, ".plt"}, {2, 5, ".mps"}, {4, 8, ".gpx"}, {5, 9, ".csv"}};
  for (const Type& t : types) {
    SCOPED_TRACE(t.extension);
    session.ChangeView(ViewMode::Tracklog, true);
    SelectAllRows();
    session.track.saved = false;
    const std::string path = (dir / "saved").string();
    ui.files = {path};
    ui.pickedFilters = {t.save};
    DispatchCommand(session, 40116);
    ui.ExpectOnly("Save track log", "File written");
    EXPECT_EQ(session.statusLine, "200 positions written");
    EXPECT_EQ(session.productLine, path + t.extension);
    EXPECT_TRUE(session.track.saved);
    EXPECT_EQ(session.settings.Number(core::SettingId::LogExportExt), t.save);

    Open(path + t.extension, t.open);
    EXPECT_TRUE(ui.shown.empty()) << ui.Texts()[0];
    ASSERT_EQ(session.track.log.points.size(), original.size());
    EXPECT_EQ(session.track.log.sourceKind, 0);
    EXPECT_EQ(session.statusLine, "200 positions read  (Bad/missing signature)");
    for (size_t i = 0; i < original.size(); ++i) {
      EXPECT_EQ(session.track.log.points[i].time, original[i].time) << i;
      EXPECT_NEAR(session.track.log.points[i].latitude, original[i].latitude, 120) << i;
    }
    EXPECT_TRUE(session.track.rawIgc.empty());
    fs::remove(path + t.extension);
  }
}

TEST_F(FileCommandsTest, SaveLogAsKeepsAnExistingFileUnlessConfirmed) {
  Open(kIgcFile, 7);
  SelectAllRows();
  const std::string path = (dir / "kept.gpx").string();
  ASSERT_EQ(core::WriteFileAtomically(path, "old"), "");
  ui.files = {path};
  ui.pickedFilters = {4};
  ui.answers = {Answer::Cancel};
  DispatchCommand(session, 40116);
  ui.ExpectOnly("File creation", "File already exists, overwrite ?");
  EXPECT_EQ(ReadText(path), "old");
  EXPECT_FALSE(session.track.saved);

  // The waypoint view has no fixes to save.
  session.ChangeView(ViewMode::Waypoints);
  ui.files = {path};
  ui.pickedFilters = {4};
  DispatchCommand(session, 40116);
  ui.ExpectOnly("Save track log", "Incorrect view mode");
}

core::Waypoint Wpt(const char* id, double lat, double lon, int32_t altitude) {
  core::Waypoint w;
  std::snprintf(w.id, sizeof w.id, "%s", id);
  w.latitude = core::LatitudeFromDegrees(lat).value();
  w.longitude = core::LongitudeFromDegrees(lon).value();
  w.altitude = altitude;
  return w;
}

TEST_F(FileCommandsTest, WaypointsSavedInEachTypeOpenAgainAndAppendWithTheDuplicateQuestion) {
  const std::vector<core::Waypoint> list = {Wpt("TOP", 46.5, 8.25, 1850), Wpt("LZ", 46.4, 8.3, 600)};
  for (int type = 1; type <= 6; ++type) {
    SCOPED_TRACE(type);
    session.waypoints.waypoints = list;
    session.waypoints.shownCount = 2;
    session.ChangeView(ViewMode::Waypoints, true);
    SelectAllRows();
    const std::string path = (dir / ("list" + std::to_string(type))).string();
    ui.files = {path};
    ui.pickedFilters = {type};
    DispatchCommand(session, 40118);
    ui.ExpectOnly("Save waypoints", "File written");
    EXPECT_EQ(session.statusLine, "2 waypoints written");
    const std::string written = path + std::string(SaveWaypointTypes()[static_cast<size_t>(type - 1)].extension);
    ASSERT_TRUE(fs::exists(written));

    // Replace: No to the append question.
    session.waypoints.waypoints = {Wpt("OLD", 1, 2, 3)};
    ui.files = {written};
    ui.answers = {Answer::No};
    DispatchCommand(session, 40047);
    ui.ExpectOnly("Read waypoint file", "Append new waypoints to existing list ?");
    EXPECT_EQ(session.statusLine, "2 waypoints read");
    ASSERT_EQ(session.waypoints.waypoints.size(), 2u);
    EXPECT_STREQ(session.waypoints.waypoints[0].id, "TOP");
    EXPECT_EQ(session.waypoints.waypoints[1].altitude, 600);
    EXPECT_EQ(session.viewMode, ViewMode::Waypoints);

    // Append: Yes, and the duplicate TOP asks before it replaces.
    session.waypoints.waypoints = {Wpt("OLD", 1, 2, 3), Wpt("TOP", 1, 2, 3)};
    ui.files = {written};
    ui.answers = {Answer::Yes, Answer::Yes};
    DispatchCommand(session, 40047);
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[1].text, "Waypoint TOP already exists, overwrite ?");
    ui.shown.clear();
    ASSERT_EQ(session.waypoints.waypoints.size(), 3u);
    EXPECT_EQ(session.waypoints.waypoints[1].altitude, 1850);
    EXPECT_STREQ(session.waypoints.waypoints[2].id, "LZ");
    fs::remove(written);
  }
  EXPECT_EQ(session.settings.Number(core::SettingId::WptExportExt), 6);
}

TEST_F(FileCommandsTest, OpenWaypointsAsksAboutIdsAndAFailedReadKeepsTheList) {
  session.waypoints.waypoints = {Wpt("OLD", 1, 2, 3)};
  const std::string path = (dir / "names.wpt").string();
  ASSERT_EQ(core::WriteFileAtomically(path, "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nR\r\nR\r\n"
                                            "1,low,1,2,,0,1,3,0,65535,c,0,0,0,0\r\n"
                                            "2,BAD,1,195,,0,1,3,0,65535,c,0,0,0,0\r\n"),
            "");
  ui.files = {path};
  ui.answers = {Answer::Yes};
  DispatchCommand(session, 40047);
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[0].caption, "Modify waypoint ID");
  EXPECT_EQ(ui.shown[1].text, "Bad line 6");
  ASSERT_EQ(session.waypoints.waypoints.size(), 1u);
  EXPECT_STREQ(session.waypoints.waypoints[0].id, "OLD");

  ui.shown.clear();
  ui.files = {(dir / "none.wpt").string()};
  DispatchCommand(session, 40047);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Error opening waypoint file");

  // Nothing selected to save.
  ui.shown.clear();
  session.ChangeView(ViewMode::Waypoints, true);
  DispatchCommand(session, 40118);
  ui.ExpectOnly("Save waypoints", "No waypoints selected");
}

}  // namespace
}  // namespace tarnvik::app
