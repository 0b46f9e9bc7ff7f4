// The built programs end to end: `tarnvik-sim magellan|graviter` serves an instrument on a
// pseudo-terminal and `tarnvik /GPS=MAGELLAN|GRAVITER ...` downloads from it through the real
// serial code: a signed KML holding the served points, an IGC file that verifies; the actions
// these types refuse; the usage text.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/records.h"
#include "formats/kml_reader.h"
#include "sim/graviter/graviter_device.h"
#include "sim/magellan/magellan_device.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik {
namespace {

namespace fs = std::filesystem;

const std::string kTarnvik = TARNVIK_BINARY_DIR "/app/tarnvik";
const std::string kSim = TARNVIK_BINARY_DIR "/sim/tarnvik-sim";

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

double Degrees(int32_t semicircles) { return semicircles * (180.0 / 2147483648.0); }

pid_t Spawn(const std::vector<std::string>& args, const fs::path& errFile, bool unprivileged) {
  std::vector<std::string> all;
  if (unprivileged) all = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  all.insert(all.end(), args.begin(), args.end());
  const pid_t pid = fork();
  if (pid == 0) {
    FILE* err = std::fopen(errFile.c_str(), "w");
    if (err) dup2(fileno(err), 2);
    FILE* out = std::fopen("/dev/null", "w");
    if (out) dup2(fileno(out), 1);
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

struct ProgramRun {
  int status = -1;
  std::string err;
};

class MagellanGraviterCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kTarnvik)) << kTarnvik;
    ASSERT_TRUE(fs::exists(kSim)) << kSim;
    static int serial = 0;
    dir_ = fs::temp_directory_path() / ("tmg_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "out");
  }
  void TearDown() override {
    StopSim();
    fs::remove_all(dir_);
  }
  bool StartSim(const std::string& family, const std::vector<std::string>& faults, bool unprivileged = false) {
    std::vector<std::string> args = {kSim, family, "--link", (dir_ / "port").string()};
    for (const auto& f : faults) {
      args.push_back("--fault");
      args.push_back(f);
    }
    sim_ = Spawn(args, dir_ / "sim.err", unprivileged);
    for (int i = 0; i < 100 && !fs::exists(dir_ / "port"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return fs::exists(dir_ / "port");
  }
  void StopSim() {
    if (sim_ <= 0) return;
    kill(sim_, SIGTERM);
    waitpid(sim_, nullptr, 0);
    sim_ = -1;
    fs::remove(dir_ / "port");
  }
  ProgramRun Tarnvik(const std::vector<std::string>& args, bool unprivileged = false) {
    std::vector<std::string> all = {kTarnvik};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t pid = Spawn(all, dir_ / "tarnvik.err", unprivileged);
    int raw = 0;
    waitpid(pid, &raw, 0);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir_ / "tarnvik.err")};
  }
  std::vector<std::string> Download(const std::string& gps, const std::string& action) {
    return {"/PORT=" + (dir_ / "port").string(), "/GPS=" + gps, action, "/EXIT", "/WIN=0"};
  }
  formats::TrackParseResult ReadKml(const fs::path& kml) {
    testing::RecordingUi ui;
    return formats::ReadKmlLog(ui, ReadText(kml));
  }

  fs::path dir_;
  pid_t sim_ = -1;
};

TEST_F(MagellanGraviterCli, MagellanKmlLogIsSignedAndHoldsTheServedPoints) {
  ASSERT_TRUE(StartSim("magellan", {"points=300"})) << ReadText(dir_ / "sim.err");
  const fs::path kml = dir_ / "out" / "m.kml";
  ProgramRun run = Tarnvik(Download("MAGELLAN", "/KML_LOG=" + kml.string()));
  StopSim();
  ASSERT_EQ(run.status, 0) << run.err;
  const formats::TrackParseResult read = ReadKml(kml);
  ASSERT_GT(read.result, 0);
  EXPECT_EQ(read.signatureFlag, formats::kKmlSignatureValid);
  sim::magellan::MagellanDevice twin;
  twin.track = sim::magellan::WalkTrack(300, 1000000000);
  const auto times = twin.ServedTimes();
  ASSERT_EQ(read.fixes.size(), times.size());
  for (size_t i = 0; i < times.size(); ++i) {
    ASSERT_EQ(read.fixes[i].time, times[i]) << i;
    ASSERT_NEAR(Degrees(read.fixes[i].latitude), twin.track[i].latitude, 2e-5) << i;
    ASSERT_NEAR(Degrees(read.fixes[i].longitude), twin.track[i].longitude, 2e-5) << i;
  }
}

TEST_F(MagellanGraviterCli, GraviterKmlLogIsSignedAndHoldsTheDecodedPoints) {
  ASSERT_TRUE(StartSim("graviter", {"wrap"})) << ReadText(dir_ / "sim.err");
  const fs::path kml = dir_ / "out" / "g.kml";
  ProgramRun run = Tarnvik(Download("GRAVITER", "/KML_LOG=" + kml.string()));
  StopSim();
  ASSERT_EQ(run.status, 0) << run.err;
  const formats::TrackParseResult read = ReadKml(kml);
  ASSERT_GT(read.result, 0);
  EXPECT_EQ(read.signatureFlag, formats::kKmlSignatureValid);
  sim::graviter::GraviterDevice twin;
  twin.tracks = sim::graviter::SampleTracks();
  const auto served = twin.Served();
  ASSERT_EQ(read.fixes.size(), served.size());
  for (size_t i = 0; i < served.size(); ++i) {
    ASSERT_EQ(read.fixes[i].time, served[i].time) << i;
    ASSERT_NEAR(Degrees(read.fixes[i].latitude), served[i].latitude * core::kDegreesPerRadian, 2e-5) << i;
  }
}

TEST_F(MagellanGraviterCli, MagellanIgcLogVerifies) {
  ASSERT_TRUE(StartSim("magellan", {})) << ReadText(dir_ / "sim.err");
  ProgramRun run = Tarnvik(Download("MAGELLAN", "/IGC_LOG=" + (dir_ / "out").string() + "/"));
  StopSim();
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<fs::path> written;
  for (const auto& e : fs::directory_iterator(dir_ / "out")) written.push_back(e.path());
  ASSERT_EQ(written.size(), 1u);
  ProgramRun verify = Tarnvik({"--verify", written[0].string()});
  EXPECT_EQ(verify.status, 0) << verify.err;
}

TEST_F(MagellanGraviterCli, RefusedActions) {
  struct Case {
    const char* gps;
    const char* action;
    const char* message;
  } cases[] = {
      {"GRAVITER", "/IGC_LOG=", "Unsupported GPS for IGC track log download"},
      {"MAGELLAN", "/RD_WPT=", "Unsupported GPS for waypoint download"},
      {"MAGELLAN", "/WR_WPT=", "Unsupported GPS for track log upload"},
  };
  for (const Case& c : cases) {
    ProgramRun run = Tarnvik({"/PORT=/dev/null", std::string("/GPS=") + c.gps,
                              std::string(c.action) + (dir_ / "w.wpt").string(), "/EXIT", "/WIN=0"});
    EXPECT_NE(run.status, 0) << c.gps << c.action;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

TEST_F(MagellanGraviterCli, SilentGraviterEndsTheRunWithAMessage) {
  ASSERT_TRUE(StartSim("graviter", {"silent"}));
  ProgramRun run = Tarnvik(Download("GRAVITER", "/KML_LOG=" + (dir_ / "out" / "x.kml").string()));
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("E205 Format error 1"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir_ / "out" / "x.kml"));
}

TEST_F(MagellanGraviterCli, HelpNoLongerListsTheTypesAsMissing) {
  const std::string command = kTarnvik + " --help > " + (dir_ / "help.out").string();
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string usage = ReadText(dir_ / "help.out");
  const size_t notYet = usage.find("Not yet in this build");
  if (notYet == std::string::npos) return;
  const std::string section = usage.substr(notYet, usage.find("\n\n", notYet) - notYet);
  for (const char* gps : {"MAGELLAN", "GRAVITER"}) EXPECT_EQ(section.find(gps), std::string::npos) << section;
}

TEST_F(MagellanGraviterCli, AnUnprivilegedUserDownloads) {
  if (std::system("/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups /bin/true 2>/dev/null") != 0) {
    GTEST_SKIP() << "cannot drop privileges here (not root, or no setpriv)";
  }
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(dir_ / "out", fs::perms::all);
  for (const char* family : {"magellan", "graviter"}) {
    ASSERT_TRUE(StartSim(family, {}, true)) << ReadText(dir_ / "sim.err");
    const fs::path kml = dir_ / "out" / (std::string(family) + ".kml");
    ProgramRun run = Tarnvik(Download(family == std::string("magellan") ? "MAGELLAN" : "GRAVITER", "/KML_LOG=" + kml.string()), true);
    StopSim();
    ASSERT_EQ(run.status, 0) << family << ": " << run.err;
    EXPECT_TRUE(fs::exists(kml)) << family;
  }
}

}  // namespace
}  // namespace tarnvik
