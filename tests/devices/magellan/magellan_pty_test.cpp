// The Magellan and Graviter routines through the real serial code against the simulated
// instruments behind a pseudo-terminal, in real time; and gpsbabel's "magellan" serial format,
// an independent Magellan host, against the same simulated receiver.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "access/serial_port.h"
#include "devices/graviter/graviter_transfers.h"
#include "devices/magellan/magellan_transfers.h"
#include "sim/graviter/graviter_device.h"
#include "sim/magellan/magellan_device.h"
#include "sim/pty_device.h"
#include "tests/fakes/recording_ui.h"
#include "access/debug_capture.h"

namespace tarnvik::devices {
namespace {

namespace fs = std::filesystem;

struct HostJob {
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  std::unique_ptr<access::AccessJob> job;
  HostJob(access::Transport& port, int accessType, int protocol) {
    job = std::make_unique<access::AccessJob>(accessType, protocol, port, core::SystemClock(), operation, capture);
    job->link().SetSpeed(access::OpeningSpeed(protocol, accessType));
  }
  std::string LastFailure() const { return operation.failures.empty() ? "" : operation.failures.back().text; }
};

std::unique_ptr<access::Transport> Open(sim::PtyDevice& pty, std::string& error) {
  std::string caption;
  return access::OpenSerialPort(pty.hostPath(), caption, error);
}

TEST(MagellanOverPty, TenThousandPointTrack) {
  sim::magellan::MagellanDevice device;
  device.track = sim::magellan::WalkTrack(10000, 1000000000);
  std::string error;
  auto pty = sim::PtyDevice::Create(device, "", error);
  ASSERT_TRUE(pty) << error;
  pty->Start();
  auto port = Open(*pty, error);
  ASSERT_TRUE(port) << error;
  HostJob run(*port, access::kAccessDownloadTrackLog, access::kProtocolMagellan);
  ASSERT_EQ(magellan::ReadMagellanTrack(*run.job), 0) << run.LastFailure();
  const auto times = device.ServedTimes();
  ASSERT_EQ(run.job->data.points.size(), 10000u);
  for (size_t i = 0; i < times.size(); ++i) ASSERT_EQ(run.job->data.points[i].time, times[i]) << i;
}

TEST(MagellanOverPty, WaypointsDownAndUp) {
  sim::magellan::MagellanDevice device;
  device.waypoints = sim::magellan::SampleWaypoints();
  std::string error;
  auto pty = sim::PtyDevice::Create(device, "", error);
  ASSERT_TRUE(pty) << error;
  pty->Start();
  std::vector<core::Waypoint> got;
  {
    auto port = Open(*pty, error);
    ASSERT_TRUE(port) << error;
    HostJob run(*port, access::kAccessDownloadWaypoints, access::kProtocolMagellan);
    ASSERT_EQ(magellan::ReadMagellanWaypoints(*run.job), 0) << run.LastFailure();
    got = run.job->data.waypoints;
    ASSERT_EQ(got.size(), 4u);
    EXPECT_STREQ(got[0].comment, "START- WEST SLOPE");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto port = Open(*pty, error);
  ASSERT_TRUE(port) << error;
  HostJob run(*port, access::kAccessUploadWaypoints, access::kProtocolMagellan);
  run.job->data.waypoints = got;
  ASSERT_EQ(magellan::SendMagellanWaypoints(*run.job), 0) << run.LastFailure();
  // The receiver serves on its own thread: its records are read under the hold.
  auto ended = [&] {
    auto hold = pty->Hold();
    return device.uploadEnded();
  };
  for (int i = 0; i < 40 && !ended(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto hold = pty->Hold();
  EXPECT_TRUE(device.uploadEnded());
  ASSERT_EQ(device.uploads().size(), 4u);
  EXPECT_NE(device.uploads()[0].find(",GERLIT,START- WEST SLOPE"), std::string::npos);
}

TEST(GraviterOverPty, FullImageAndNameWrite) {
  sim::graviter::GraviterDevice device;
  device.tracks = sim::graviter::SampleTracks(5000);
  std::string error;
  auto pty = sim::PtyDevice::Create(device, "", error);
  ASSERT_TRUE(pty) << error;
  pty->Start();
  {
    auto port = Open(*pty, error);
    ASSERT_TRUE(port) << error;
    HostJob run(*port, access::kAccessDownloadTrackLog, access::kProtocolGraviter);
    ASSERT_EQ(graviter::ReadGraviterTrack(*run.job), 0) << run.LastFailure();
    auto hold = pty->Hold();
    EXPECT_EQ(run.job->data.points.size(), device.Served().size());
    EXPECT_EQ(run.operation.products.front(), "GRAVITER GR-1       ");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto port = Open(*pty, error);
  ASSERT_TRUE(port) << error;
  HostJob run(*port, access::kAccessWriteOwnerName, access::kProtocolGraviter);
  run.job->data.text = "Anne \xc3\xa8";
  ASSERT_EQ(graviter::UploadGraviterName(*run.job), 0) << run.LastFailure();
  auto written = [&] {
    auto hold = pty->Hold();
    return device.writes().size();
  };
  for (int i = 0; i < 40 && written() < 8; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto hold = pty->Hold();
  ASSERT_EQ(device.writes().size(), 8u);
  EXPECT_EQ(device.writes().at(208), 'A');
  EXPECT_EQ(device.writes().at(213), 0xE8);  // sent as W000213232
  EXPECT_EQ(device.writes().at(215), ' ');
}

// gpsbabel as the host: its track and waypoint downloads from the simulated receiver.
class MagellanGpsbabel : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access("/usr/bin/gpsbabel", X_OK) != 0) GTEST_SKIP() << "gpsbabel is not installed";
    dir_ = fs::temp_directory_path() / ("tmag_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  int Run(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
      FILE* out = std::fopen((dir_ / "gpsbabel.log").c_str(), "w");
      if (out) {
        dup2(fileno(out), 1);
        dup2(fileno(out), 2);
      }
      std::vector<char*> argv;
      std::vector<std::string> all = args;
      for (auto& a : all) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv("/usr/bin/gpsbabel", argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Read(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir_;
};

TEST_F(MagellanGpsbabel, DownloadsTheSimulatorsTrackAndWaypoints) {
  sim::magellan::MagDeviceConfig config;
  // A receiver left in handshaking: downloads skip its acknowledgements. gpsbabel's upload still
  // gets through, one acknowledgement behind and resending (magellan_gpsbabel_upload_test.cpp).
  config.handshake = true;
  sim::magellan::MagellanDevice device(config);
  device.track = sim::magellan::WalkTrack(120, 1000000000);
  device.waypoints = sim::magellan::SampleWaypoints();
  std::string error;
  auto pty = sim::PtyDevice::Create(device, "", error);
  ASSERT_TRUE(pty) << error;
  pty->Start();
  const std::string gpx = (dir_ / "t.gpx").string();
  ASSERT_EQ(Run({"gpsbabel", "-t", "-i", "magellan,baud=9600", "-f", pty->hostPath(), "-o", "gpx", "-F", gpx}), 0)
      << Read(dir_ / "gpsbabel.log");
  const std::string text = Read(gpx);
  // Every served point, its time to the hundredth and its altitude.
  const std::regex point("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\">\\s*<ele>([-0-9.]+)</ele>\\s*<time>([^<]+)</time>");
  std::vector<std::smatch> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), point); it != std::sregex_iterator(); ++it) {
    found.push_back(*it);
  }
  ASSERT_EQ(found.size(), device.track.size()) << text.substr(0, 2000);
  for (size_t i = 0; i < found.size(); ++i) {
    const auto& f = device.track[i];
    EXPECT_NEAR(std::stod(found[i][1]), f.latitude, 1e-5) << i;
    EXPECT_NEAR(std::stod(found[i][2]), f.longitude, 1e-5) << i;
    EXPECT_NEAR(std::stod(found[i][3]), f.altitude, 1e-6) << i;
    const core::SystemTime t = core::TimeToCalendar(f.time);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    std::string want = expected;
    // gpsbabel writes the fraction in milliseconds, and none for a whole second.
    if (f.hundredths != 0) {
      std::snprintf(expected, sizeof expected, ".%02d", f.hundredths);
      want += expected;
    } else {
      want += "Z";
    }
    EXPECT_EQ(found[i][4].str().substr(0, want.size()), want) << i;
  }

  const std::string wpts = (dir_ / "w.gpx").string();
  ASSERT_EQ(Run({"gpsbabel", "-w", "-i", "magellan,baud=9600", "-f", pty->hostPath(), "-o", "gpx", "-F", wpts}), 0)
      << Read(dir_ / "gpsbabel.log");
  const std::string w = Read(wpts);
  for (const auto& sw : device.waypoints) EXPECT_NE(w.find("<name>" + sw.name + "</name>"), std::string::npos) << sw.name;
  // The escaped comma reaches gpsbabel as a comma.
  EXPECT_NE(w.find("<cmt>Start, west slope</cmt>"), std::string::npos);

  // gpsbabel's upload, with the receiver acknowledging every sentence (each may arrive more than once).
  ASSERT_EQ(Run({"gpsbabel", "-w", "-i", "gpx", "-f", wpts, "-o", "magellan,baud=9600", "-F", pty->hostPath()}), 0)
      << Read(dir_ / "gpsbabel.log");
  auto received = [&] {
    auto hold = pty->Hold();
    return device.uploads().size();
  };
  for (int i = 0; i < 40 && received() < device.waypoints.size(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  auto hold = pty->Hold();
  std::string uploaded;
  for (const auto& u : device.uploads()) uploaded += u + "\n";
  EXPECT_NE(uploaded.find(",GERLITZ,"), std::string::npos) << uploaded;
  EXPECT_NE(uploaded.find(",TURNPOINT 3,"), std::string::npos) << uploaded;
}

}  // namespace
}  // namespace tarnvik::devices
