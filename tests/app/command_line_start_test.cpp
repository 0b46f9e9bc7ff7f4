// The start and end of a command-line transfer run as the session drives it, with a gate that
// records the transfer requests instead of running a worker.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/command_line_run.h"
#include "app/session.h"
#include "core/file_io.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

namespace fs = std::filesystem;
using testing::RecordingUi;

class RecordingGate final : public TransferGate {
 public:
  std::vector<access::AccessRequest> requests;
  int result = 0;
  void Init() override {}
  int Start(access::AccessRequest request, uint64_t& jobId) override {
    requests.push_back(std::move(request));
    jobId = requests.size();
    return result;
  }
  int Abort() override { return 0; }
  void Shutdown() override {}
};

class CommandLineStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarnvik_clstart_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    auto text = [](const CommandLineFileData& d, std::string& bytes) {
      bytes = "points " + std::to_string(d.log.points.size()) + " waypoints " + std::to_string(d.waypoints.waypoints.size());
      return 0;
    };
    formats_.kml = text;
    formats_.igc = text;
    formats_.oziWaypoints = text;
    formats_.readWaypoints = [](core::Ui&, std::string_view bytes, std::vector<core::Waypoint>& out) {
      // One waypoint per line: "ID comment".
      std::istringstream in{std::string(bytes)};
      std::string id, comment;
      while (in >> id) {
        std::getline(in, comment);
        core::Waypoint w;
        std::strncpy(w.id, id.c_str(), 6);
        std::strncpy(w.comment, comment.empty() ? "" : comment.c_str() + 1, 40);
        out.push_back(w);
      }
      return static_cast<int>(out.size());
    };
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Parses the line and starts the run the way the window's initialisation does.
  int Start(const std::string& line, bool headless) {
    ParsedCommandLine parsed = ParseCommandLine(line, ui_);
    EXPECT_EQ(parsed.result, 0);
    if (!parsed.options) return -2;
    auto driver = std::make_unique<CommandLineDriver>(std::move(parsed.options), headless, formats_);
    outcome_ = driver->Outcome();
    session_.SetCommandLineRun(std::move(driver));
    return session_.Initialise(nullptr);
  }

  // The worker's completion of request k, carried to the main thread.
  void Complete(size_t k, int result, access::AccessData data, int count, int origin) {
    access::AccessCompletion completion;
    completion.jobId = k + 1;
    completion.accessType = gate_.requests[k].accessType;
    completion.protocol = gate_.requests[k].protocol;
    completion.result = result;
    completion.data = std::move(data);
    completion.count = count;
    completion.origin = origin;
    gate_.requests[k].callbacks.completion(std::move(completion));
    session_.queue().Drain();
  }

  fs::path dir_;
  RecordingUi ui_;
  testing::FakeClock clock_;
  RecordingGate gate_;
  Session session_{ui_, clock_, gate_, ""};
  CommandLineFormats formats_;
  std::shared_ptr<const bool> outcome_;
};

TEST_F(CommandLineStartTest, DownloadUsesPortProtocolAndSpeedOfTheLine) {
  ASSERT_EQ(Start("/COM=3 /GPS=xct_mxp /KML_LOG=" + (dir_ / "$date.kml").string(), false), 0);
  EXPECT_EQ(session_.portName, "COM3:");
  ASSERT_EQ(gate_.requests.size(), 1u);
  EXPECT_EQ(gate_.requests[0].accessType, access::kAccessDownloadTrackLog);
  EXPECT_EQ(gate_.requests[0].protocol, 10);
  EXPECT_EQ(gate_.requests[0].speed, 57600);
  EXPECT_EQ(gate_.requests[0].portName, "COM3:");
  EXPECT_TRUE(session_.busy);

  access::AccessData data;
  data.points = {{1, 6361 * 86400u, 0, 0, 0}, {0, 6361 * 86400u + 5, 0, 0, 0}};
  Complete(0, 0, std::move(data), 2, 7);
  EXPECT_TRUE(*outcome_);
  EXPECT_FALSE(session_.exitFlag);  // a visible window stays open without /EXIT
  EXPECT_EQ(session_.statusLine, "2 positions written");
  EXPECT_TRUE(fs::exists(dir_ / "20070601.kml"));
  EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(CommandLineStartTest, ProtocolsOfUsbAndWaypointDownloads) {
  ASSERT_EQ(Start("/USB /IGC_LOG=" + dir_.string() + "/", true), 0);
  ASSERT_EQ(gate_.requests.size(), 1u);
  EXPECT_EQ(gate_.requests[0].protocol, 8);
  // A failed transfer ends the run without a file.
  Complete(0, -1, {}, 0, 0);
  EXPECT_TRUE(session_.exitFlag);
  EXPECT_FALSE(*outcome_);
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(CommandLineStartTest, WaypointDownloadFromIqCompeoAndItsFile) {
  ASSERT_EQ(Start("/GPS=IQCOMPEO /RD_WPT=" + (dir_ / "w.wpt").string(), true), 0);
  ASSERT_EQ(gate_.requests.size(), 1u);
  EXPECT_EQ(gate_.requests[0].accessType, access::kAccessDownloadWaypoints);
  EXPECT_EQ(gate_.requests[0].protocol, 4);
  access::AccessData data;
  data.waypoints.resize(3);
  Complete(0, 0, std::move(data), 3, 5);
  EXPECT_TRUE(*outcome_);
  EXPECT_TRUE(session_.exitFlag);  // a run without a window always ends
  EXPECT_EQ(session_.statusLine, "3 waypoints written");
}

TEST_F(CommandLineStartTest, RefusedStartClosesOnlyWithExitOrWithoutWindow) {
  gate_.result = -1;
  EXPECT_EQ(Start("/KML_LOG=x.kml", false), 0);  // the window stays open
  EXPECT_FALSE(session_.exitFlag);
}

TEST_F(CommandLineStartTest, RefusedStartWithExitEndsTheRun) {
  gate_.result = -1;
  EXPECT_EQ(Start("/KML_LOG=x.kml /EXIT", false), -1);
  EXPECT_TRUE(session_.exitFlag);
}

TEST_F(CommandLineStartTest, FormatThisBuildCannotWriteIsRefusedBeforeDownloading) {
  formats_.mapSource = nullptr;
  EXPECT_EQ(Start("/MPS_LOG=x.mps", true), -1);
  EXPECT_TRUE(gate_.requests.empty());
  ui_.ExpectOnly("Download track log", "MapSource files cannot be written by this build");
}

TEST_F(CommandLineStartTest, WaypointUploadReadsTheFileAndAppliesTheIqCompeoRule) {
  const std::string file = (dir_ / "task.wpt").string();
  ASSERT_EQ(core::WriteFileAtomically(file, "TAKEOF\nLAND FIELD\n"), "");
  ASSERT_EQ(Start("/GPS=IQCOMPEO /WR_WPT2=" + file, true), 0);
  EXPECT_EQ(session_.waypoints.waypoints.size(), 2u);
  EXPECT_EQ(session_.statusLine, "2 waypoints read");
  EXPECT_EQ(session_.productLine, file);
  EXPECT_EQ(session_.viewMode, ViewMode::Waypoints);
  ASSERT_EQ(gate_.requests.size(), 1u);
  const access::AccessRequest& upload = gate_.requests[0];
  EXPECT_EQ(upload.accessType, access::kAccessUploadWaypoints);
  EXPECT_EQ(upload.protocol, 4);
  EXPECT_EQ(upload.count, 2);
  ASSERT_EQ(upload.data.waypoints.size(), 2u);
  EXPECT_STREQ(upload.data.waypoints[1].comment, "LAND FIELD");
  EXPECT_STREQ(session_.waypoints.waypoints[1].comment, "FIELD");  // the list keeps the file's text
  Complete(0, 0, {}, 0, 0);
  EXPECT_TRUE(*outcome_);
  EXPECT_TRUE(session_.exitFlag);
}

TEST_F(CommandLineStartTest, WaypointFileFailures) {
  EXPECT_EQ(Start("/WR_WPT=" + (dir_ / "missing.wpt").string(), true), -1);
  ui_.ExpectOnly("Error opening waypoint file", "No such file or directory");
}

TEST_F(CommandLineStartTest, EmptyWaypointFile) {
  const std::string file = (dir_ / "empty.wpt").string();
  ASSERT_EQ(core::WriteFileAtomically(file, ""), "");
  EXPECT_EQ(Start("/WR_WPT=" + file, false), 0);  // a visible window stays open
  ui_.ExpectOnly("Reading waypoint file", "File is empty");
  EXPECT_TRUE(gate_.requests.empty());
}

}  // namespace
}  // namespace tarnvik::app
