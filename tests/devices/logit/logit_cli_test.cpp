// The built programs end to end: `tarnvik-sim logit|mlr` serves a logger on a pseudo-terminal
// and `tarnvik /GPS=LOGIT|MLR ...` downloads from it through the real serial code, switching
// the line between 4800 and the transfer speed: a signed KML holding the served points, an IGC
// file that verifies, a 10,000-point Tracklogger log read whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "formats/kml_reader.h"
#include "sim/logit/logit_device.h"
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

double Degrees(int32_t semicircles) { return semicircles * (180.0 / 2147483648.0); }

class LogItCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kTarnvik)) << kTarnvik;
    ASSERT_TRUE(fs::exists(kSim)) << kSim;
    static int serial = 0;
    dir_ = fs::temp_directory_path() / ("tlg_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "out");
    fs::permissions(dir_, fs::perms::all);
    fs::permissions(dir_ / "out", fs::perms::all);
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
  void ExpectKmlHoldsServedPoints(const fs::path& kml, int points, const std::string& what) {
    const std::string text = ReadText(kml);
    testing::RecordingUi ui;
    formats::TrackParseResult read = formats::ReadKmlLog(ui, text);
    ASSERT_GT(read.result, 0) << what;
    EXPECT_EQ(read.signatureFlag, formats::kKmlSignatureValid) << what;
    const std::vector<sim::logit::LoggerPoint> served = sim::logit::WalkPoints(points, 1000000000);
    ASSERT_EQ(read.fixes.size(), served.size()) << what;
    for (size_t i = 0; i < served.size(); ++i) {
      ASSERT_EQ(read.fixes[i].time, served[i].time) << what << " point " << i;
      ASSERT_NEAR(Degrees(read.fixes[i].latitude), Degrees(served[i].latitude), 2e-6) << what;
      ASSERT_NEAR(Degrees(read.fixes[i].longitude), Degrees(served[i].longitude), 2e-6) << what;
    }
  }

  fs::path dir_;
  pid_t sim_ = -1;
};

TEST_F(LogItCli, KmlLogIsSignedAndHoldsTheServedPoints) {
  const struct {
    const char* family;
    const char* gps;
    std::vector<std::string> faults;
  } links[] = {
      {"logit", "LOGIT", {"points=300"}},
      {"logit", "LOGIT", {"points=300", "model=tracklogger", "damage=100"}},
      {"mlr", "MLR", {"points=300"}},
      {"mlr", "MLR", {"points=300", "software=2.71"}},
  };
  for (const auto& link : links) {
    const std::string what = std::string(link.gps) + " " + link.faults.back();
    ASSERT_TRUE(StartSim(link.family, link.faults)) << ReadText(dir_ / "sim.err");
    const fs::path kml = dir_ / "out" / "log.kml";
    fs::remove(kml);
    ProgramRun run = Tarnvik(Download(link.gps, "/KML_LOG=" + kml.string()));
    StopSim();
    ASSERT_EQ(run.status, 0) << what << ": " << run.err;
    ExpectKmlHoldsServedPoints(kml, 300, what);
  }
}

TEST_F(LogItCli, TenThousandTrackloggerPointsReadWhole) {
  ASSERT_TRUE(StartSim("logit", {"points=10000", "model=tracklogger"})) << ReadText(dir_ / "sim.err");
  const fs::path kml = dir_ / "out" / "big.kml";
  const auto start = std::chrono::steady_clock::now();
  ProgramRun run = Tarnvik(Download("LOGIT", "/KML_LOG=" + kml.string()));
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  StopSim();
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectKmlHoldsServedPoints(kml, 10000, "tracklogger");
  std::printf("10000 Tracklogger points over the pty: %.1f s\n", seconds);
}

TEST_F(LogItCli, TenThousandMlrPointsReadWhole) {
  ASSERT_TRUE(StartSim("mlr", {"points=10000"})) << ReadText(dir_ / "sim.err");
  const fs::path kml = dir_ / "out" / "big.kml";
  const auto start = std::chrono::steady_clock::now();
  ProgramRun run = Tarnvik(Download("MLR", "/KML_LOG=" + kml.string()));
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  StopSim();
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectKmlHoldsServedPoints(kml, 10000, "mlr");
  std::printf("10000 MLR points over the pty at 38400: %.1f s\n", seconds);
}

TEST_F(LogItCli, IgcLogVerifies) {
  for (const char* family : {"logit", "mlr"}) {
    fs::remove_all(dir_ / "out");
    fs::create_directories(dir_ / "out");
    ASSERT_TRUE(StartSim(family, {"points=200"})) << ReadText(dir_ / "sim.err");
    ProgramRun run = Tarnvik(Download(std::string(family) == "mlr" ? "MLR" : "LOGIT",
                                      "/IGC_LOG=" + (dir_ / "out").string() + "/"));
    StopSim();
    ASSERT_EQ(run.status, 0) << family << ": " << run.err;
    std::vector<fs::path> written;
    for (const auto& e : fs::directory_iterator(dir_ / "out")) written.push_back(e.path());
    ASSERT_EQ(written.size(), 1u) << family;
    ProgramRun verify = Tarnvik({"--verify", written[0].string()});
    EXPECT_EQ(verify.status, 0) << family << ": " << verify.err;
  }
}

TEST_F(LogItCli, MlrWaypointsRoundTripThroughAFile) {
  // The receiver repeats its list from its second waypoint; the file gets each once.
  ASSERT_TRUE(StartSim("mlr", {"nmea=1"})) << ReadText(dir_ / "sim.err");
  const fs::path wpt = dir_ / "out" / "mlr.wpt";
  ProgramRun run = Tarnvik(Download("MLR", "/RD_WPT=" + wpt.string()));
  StopSim();
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string file = ReadText(wpt);
  EXPECT_NE(file.find("TAKEOF"), std::string::npos) << file;
  EXPECT_NE(file.find("GOAL"), std::string::npos) << file;

  const fs::path record = dir_ / "uploads.txt";
  std::vector<std::string> args = {kSim, "mlr", "--link", (dir_ / "port").string(), "--record", record.string()};
  sim_ = Spawn(args, dir_ / "sim.err", false);
  for (int i = 0; i < 100 && !fs::exists(dir_ / "port"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (const char* action : {"/WR_WPT=", "/WR_WPT2="}) {
    fs::remove(record);
    run = Tarnvik(Download("MLR", action + wpt.string()));
    ASSERT_EQ(run.status, 0) << action << run.err;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string uploads = ReadText(record);
    EXPECT_NE(uploads.find("$GPWPL,"), std::string::npos) << action << uploads;
    EXPECT_NE(uploads.find(",TAKEOF0"), std::string::npos) << action << uploads;
    EXPECT_NE(uploads.find(",GOAL  0"), std::string::npos) << action << uploads;
  }
  StopSim();
}

TEST_F(LogItCli, SilentLoggerEndsTheRunWithAMessage) {
  ASSERT_TRUE(StartSim("logit", {"points=200", "silent=3"}));
  const auto start = std::chrono::steady_clock::now();
  ProgramRun run = Tarnvik(Download("LOGIT", "/KML_LOG=" + (dir_ / "out" / "x.kml").string()));
  EXPECT_NE(run.status, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_NE(run.err.find("E206 Track log timeout"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir_ / "out" / "x.kml"));
}

TEST_F(LogItCli, HelpNoLongerListsTheTypesAsMissing) {
  const std::string command = kTarnvik + " --help > " + (dir_ / "help.out").string();
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string usage = ReadText(dir_ / "help.out");
  const size_t notYet = usage.find("Not yet in this build");
  if (notYet == std::string::npos) return;
  const std::string section = usage.substr(notYet, usage.find("\n\n", notYet) - notYet);
  for (const char* gps : {"LOGIT", "MLR"}) EXPECT_EQ(section.find(gps), std::string::npos) << section;
}

TEST_F(LogItCli, AnUnprivilegedUserDownloads) {
  if (std::system("/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups /bin/true 2>/dev/null") != 0) {
    GTEST_SKIP() << "cannot drop privileges here (setpriv to uid 65534 failed)";
  }
  ASSERT_TRUE(StartSim("logit", {"points=100"}, true)) << ReadText(dir_ / "sim.err");
  const fs::path kml = dir_ / "out" / "u.kml";
  ProgramRun run = Tarnvik(Download("LOGIT", "/KML_LOG=" + kml.string()), true);
  StopSim();
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectKmlHoldsServedPoints(kml, 100, "unprivileged");
}

}  // namespace
}  // namespace tarnvik
