// The command line's file actions against a simulated Garmin on a pseudo-terminal, run through
// the built tarnvik program: OziExplorer and MapSource track logs, the OziExplorer waypoint
// download, waypoint uploads from each of the six layouts, and --convert of a real flight.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/file_commands.h"
#include "core/file_io.h"
#include "formats/format_text.h"
#include "formats/gpx.h"
#include "formats/mapsource.h"
#include "formats/other_tracks.h"
#include "formats/waypoint_files.h"
#include "sim/garmin/garmin_device.h"
#include "sim/memory_link.h"
#include "tests/fakes/program_run.h"
#include "tests/fakes/pty_pair.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik {
namespace {

namespace fs = std::filesystem;

using testing::ProgramRun;
using testing::ReadText;
using testing::ShellQuote;

const std::string kBinary = TARNVIK_BINARY_DIR "/app/tarnvik";
// A flight with a task declaration: the simulated unit holds its turnpoints as waypoints.
const std::string kFlight = TARNVIK_TEST_DATA "/igc/igp_2016-11-08-xcs-aaa-02.igc";

class SimulatedGarmin {
 public:
  SimulatedGarmin() {
    std::string error;
    EXPECT_GT(sim::garmin::LoadIgcIntoDevice(ReadText(kFlight), device_, error), 0) << error;
    server_ = std::jthread([this](std::stop_token stop) {
      sim::ServeDevice(pty_.instrument(), device_, core::SystemClock(), stop);
    });
  }
  bool ok() const { return pty_.ok(); }
  const std::string& path() const { return pty_.hostPath(); }
  const sim::garmin::GarminDevice& device() const { return device_; }

 private:
  testing::PtyPair pty_;
  sim::garmin::GarminDevice device_;
  std::jthread server_;
};

class CliFileActions : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kBinary)) << kBinary << " is not built";
    dir_ = fs::temp_directory_path() / ("tarnvik_cli_files_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  ProgramRun Tarnvik(const std::vector<std::string>& args) {
    std::string command = "cd " + ShellQuote(dir_.string()) + " && " + ShellQuote(kBinary);
    for (const auto& a : args) {
      command += ' ';
      command += ShellQuote(a);
    }
    command += " >";
    command += ShellQuote((dir_ / ".out").string());
    command += " 2>";
    command += ShellQuote((dir_ / ".err").string());
    ProgramRun run;
    int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(dir_ / ".out");
    run.err = ReadText(dir_ / ".err");
    fs::remove(dir_ / ".out");
    fs::remove(dir_ / ".err");
    return run;
  }
  std::vector<std::string> Download(const SimulatedGarmin& garmin, const std::string& action) {
    return {"/PORT=" + garmin.path(), "/GPS=GARMIN", action, "/EXIT", "/WIN=0"};
  }

  fs::path dir_;
};

std::vector<core::TrackPoint> DeviceFixes(const sim::garmin::GarminDevice& device) {
  std::vector<core::TrackPoint> fixes;
  for (const auto& r : device.track) {
    if (!r.header) fixes.push_back(r.point);
  }
  return fixes;
}

TEST_F(CliFileActions, TrackLogDownloadsIntoOziAndMapSourceFiles) {
  SimulatedGarmin garmin;
  ASSERT_TRUE(garmin.ok());
  const std::vector<core::TrackPoint> sent = DeviceFixes(garmin.device());
  ASSERT_GT(sent.size(), 100u);
  const std::string date = formats::FormatIsoTime(sent.front().time).substr(0, 10);
  const std::string dated = date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2);
  struct Case {
    const char* action;
    std::string file;
    std::function<formats::TrackParseResult(core::Ui&, std::string_view)> read;
  };
  const Case cases[] = {
      {"/OZI_LOG=$date.plt", dated + ".plt", formats::ReadOziTrack},
      {"/RD_LOG=rd.plt", "rd.plt", formats::ReadOziTrack},
      {"/MPS_LOG=x.mps", "x.mps", formats::ReadMapSourceTrack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    ProgramRun run = Tarnvik(Download(garmin, c.action));
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(fs::exists(dir_ / c.file)) << run.err;
    testing::RecordingUi ui;
    formats::TrackParseResult back = c.read(ui, ReadText(dir_ / c.file));
    ASSERT_EQ(back.fixes.size(), sent.size()) << (ui.shown.empty() ? "" : ui.shown[0].text);
    for (size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(back.fixes[i].time, sent[i].time) << i;
      EXPECT_NEAR(back.fixes[i].latitude, sent[i].latitude, 120) << i;
      EXPECT_NEAR(back.fixes[i].longitude, sent[i].longitude, 120) << i;
    }
  }
}

TEST_F(CliFileActions, WaypointDownloadIntoAnOziFileThatGpsbabelReadsToo) {
  SimulatedGarmin garmin;
  ASSERT_TRUE(garmin.ok());
  const std::vector<core::Waypoint>& held = garmin.device().waypoints;
  ASSERT_FALSE(held.empty());
  ProgramRun run = Tarnvik(Download(garmin, "/RD_WPT=w.wpt"));
  ASSERT_EQ(run.status, 0) << run.err;
  testing::RecordingUi ui;
  std::vector<core::Waypoint> read;
  ASSERT_EQ(formats::DetectWaypointFormat(ui, ReadText(dir_ / "w.wpt"), read, {.interactive = false}),
            static_cast<int>(held.size()));
  for (size_t i = 0; i < held.size(); ++i) {
    EXPECT_STREQ(read[i].id, held[i].id) << i;
    EXPECT_NEAR(read[i].latitude, held[i].latitude, 120) << i;
    EXPECT_NEAR(read[i].longitude, held[i].longitude, 120) << i;
  }
  if (std::system("gpsbabel -V > /dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel not installed";
  const std::string csv = (dir_ / "w.csv").string();
  ASSERT_EQ(std::system(("gpsbabel -w -i ozi -f " + ShellQuote((dir_ / "w.wpt").string()) + " -o unicsv -F " +
                         ShellQuote(csv) + " 2>/dev/null")
                            .c_str()),
            0);
  const std::string text = ReadText(csv);
  for (const core::Waypoint& w : held) {
    EXPECT_NE(text.find(std::string(",\"") + w.id + "\","), std::string::npos) << w.id;
  }
}

TEST_F(CliFileActions, WaypointUploadsFromEachLayout) {
  SimulatedGarmin garmin;
  ASSERT_TRUE(garmin.ok());
  std::vector<core::Waypoint> list;
  for (int i = 0; i < 3; ++i) {
    core::Waypoint w;
    std::snprintf(w.id, sizeof w.id, "TP%d", i + 1);
    std::snprintf(w.comment, sizeof w.comment, "TURN %d", i + 1);
    w.latitude = core::LatitudeFromDegrees(46.1 + i * 0.25).value();
    w.longitude = core::LongitudeFromDegrees(7.9 - i * 0.5).value();
    w.altitude = 900 + 100 * i;
    list.push_back(w);
  }
  size_t uploaded = 0;
  for (int type = 1; type <= 6; ++type) {
    for (const char* action : {"/WR_WPT=", "/WR_WPT2="}) {
      SCOPED_TRACE(std::to_string(type) + action);
      const std::string file = "list" + std::to_string(type) +
                               std::string(app::SaveWaypointTypes()[static_cast<size_t>(type - 1)].extension);
      ASSERT_EQ(core::WriteFileAtomically((dir_ / file).string(),
                                          *app::FormatWaypointFile(type, list, core::SystemTime{2024, 7, 0, 14})),
                "");
      ProgramRun run = Tarnvik(Download(garmin, action + file));
      ASSERT_EQ(run.status, 0) << run.err;
      const auto& got = garmin.device().uploads().waypoints;
      ASSERT_EQ(got.size(), uploaded + list.size());
      for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_STREQ(got[uploaded + i].id, list[i].id);
        EXPECT_NEAR(got[uploaded + i].latitude, list[i].latitude, 1200);
        EXPECT_NEAR(got[uploaded + i].longitude, list[i].longitude, 1200);
      }
      uploaded = got.size();
    }
  }
  // A lower-case ID is refused: nothing is sent.
  ASSERT_EQ(core::WriteFileAtomically((dir_ / "lower.wpt").string(),
                                      "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nR\r\nR\r\n"
                                      "1,top,46.5,8.25,,0,1,3,0,65535,c,0,0,0,0\r\n"),
            "");
  ProgramRun refused = Tarnvik(Download(garmin, "/WR_WPT=lower.wpt"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "Decoding waypoint file: Bad line 5\n");
  EXPECT_EQ(garmin.device().uploads().waypoints.size(), uploaded);
}

TEST_F(CliFileActions, ConvertARealFlightToEveryTypeAndBack) {
  const std::string flight = TARNVIK_TEST_DATA "/formats/xctrack-2022-04-07.igc";
  for (const char* type : {".kml", ".igc", ".gpx", ".plt", ".csv", ".mps"}) {
    SCOPED_TRACE(type);
    const std::string there = std::string("flight") + type;
    ProgramRun to = Tarnvik({"--convert", flight, there});
    ASSERT_EQ(to.status, 0) << to.err;
    EXPECT_EQ(to.out, "294 positions written\n");
    EXPECT_EQ(to.err, "");
    ProgramRun back = Tarnvik({"--convert", there, there + ".csv"});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(back.out, "294 positions written\n");
  }
  ProgramRun unknown = Tarnvik({"--convert", "x.xyz", "y.kml"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err, "Convert: Unknown input file type \".xyz\"\n");
  ProgramRun help = Tarnvik({"--help"});
  EXPECT_NE(help.out.find("--convert"), std::string::npos);
}

// As an unprivileged user (CI runs as root): an input it may not read and an output folder it
// may not write are refused with the system's text, and nothing is written.
TEST_F(CliFileActions, ConvertAsAnUnprivilegedUser) {
  const std::string drop = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  if (::geteuid() != 0 || std::system((drop + " true 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "cannot drop privileges here (not root, or no setpriv)";
  }
  const std::string flight = TARNVIK_TEST_DATA "/formats/xctrack-2022-04-07.igc";
  fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  fs::copy_file(flight, dir_ / "secret.igc");
  fs::permissions(dir_ / "secret.igc", fs::perms::owner_read | fs::perms::owner_write);
  auto run = [&](const std::string& input, const std::string& output) {
    const std::string command = "cd " + ShellQuote(dir_.string()) + " && " + drop + " " + ShellQuote(kBinary) +
                                " --convert " + ShellQuote(input) + " " + ShellQuote(output) + " 2>&1";
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
    const int status = pipe ? ::pclose(pipe) : -1;
    return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, text);
  };
  auto denied = run(flight, (dir_ / "out.gpx").string());
  EXPECT_EQ(denied.first, 1);
  EXPECT_EQ(denied.second, "File write error: Permission denied\n");
  auto unreadable = run((dir_ / "secret.igc").string(), "/tmp/never-" + std::to_string(::getpid()) + ".gpx");
  EXPECT_EQ(unreadable.first, 1);
  EXPECT_EQ(unreadable.second, "Error opening file: Permission denied\n");
  EXPECT_FALSE(fs::exists("/tmp/never-" + std::to_string(::getpid()) + ".gpx"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace tarnvik
