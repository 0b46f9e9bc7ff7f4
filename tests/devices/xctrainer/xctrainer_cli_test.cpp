// The built programs end to end: `tarnvik-sim xctrainer` serves an instrument on a
// pseudo-terminal and `tarnvik /GPS=XCTRAINER|TOPNAV|XCT_MXP ...` downloads from it through the
// real serial code: a signed KML holding the served fixes in UTC, an IGC file that verifies.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "formats/kml_reader.h"
#include "formats/mapsource.h"
#include "sim/xctrainer/xctrainer_device.h"
#include "tests/devices/xctrainer/xctrainer_test_support.h"

namespace tarnvik {
namespace {

namespace fs = std::filesystem;

const std::string kTarnvik = TARNVIK_BINARY_DIR "/app/tarnvik";
const std::string kSim = TARNVIK_BINARY_DIR "/sim/tarnvik-sim";
const std::string kFlight = std::string(TARNVIK_TEST_DATA) + "/igc/xcs_marcourt.igc";

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

class XcTrainerCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kTarnvik)) << kTarnvik;
    ASSERT_TRUE(fs::exists(kSim)) << kSim;
    static int serial = 0;
    dir_ = fs::temp_directory_path() / ("txc_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "out");
    std::ofstream(dir_ / "unit.txt") << "igc " << kFlight << "\n";
  }
  void TearDown() override {
    StopSim();
    fs::remove_all(dir_);
  }
  bool StartSim(const std::vector<std::string>& faults, bool unprivileged = false) {
    std::vector<std::string> args = {kSim, "xctrainer", "--link", (dir_ / "port").string(), "--data",
                                     (dir_ / "unit.txt").string()};
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
  // The instrument as the simulator builds it from the same data and faults.
  sim::xctrainer::XcTrainerDevice Twin(const std::vector<std::string>& faults) {
    sim::xctrainer::XcTrainerDevice twin;
    std::string error;
    EXPECT_TRUE(sim::xctrainer::LoadXcTrainerData((dir_ / "unit.txt").string(), twin, error)) << error;
    for (const auto& f : faults) EXPECT_TRUE(sim::xctrainer::ApplyXcTrainerFault(f, twin.config(), error)) << error;
    return twin;
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

  fs::path dir_;
  pid_t sim_ = -1;
};

struct Link {
  const char* gps;
  std::vector<std::string> faults;
  int utc = 0;  // the KML's time stamps carry "Z": the log's time base is known to be UTC
};

TEST_F(XcTrainerCli, KmlLogIsSignedAndHoldsTheServedFixesInUtc) {
  const Link links[] = {
      {"XCTRAINER", {"send=tnc", "model=xc", "offset=2", "sprinkle=11"}, 1},
      {"TOPNAV", {"send=tnc", "model=tn", "offset=-7"}, 1},
      {"XCT_MXP", {"send=mxp", "model=xc"}, 0},
  };
  for (const Link& link : links) {
    ASSERT_TRUE(StartSim(link.faults)) << ReadText(dir_ / "sim.err");
    const fs::path kml = dir_ / "out" / (std::string(link.gps) + ".kml");
    ProgramRun run = Tarnvik(Download(link.gps, "/KML_LOG=" + kml.string()));
    StopSim();
    ASSERT_EQ(run.status, 0) << link.gps << ": " << run.err;
    const std::string text = ReadText(kml);
    testing::RecordingUi ui;
    formats::TrackParseResult read = formats::ReadKmlLog(ui, text);
    ASSERT_GT(read.result, 0) << link.gps;
    EXPECT_EQ(read.signatureFlag, formats::kKmlSignatureValid) << link.gps;
    EXPECT_EQ(read.extra, link.utc) << link.gps;
    const std::vector<sim::xctrainer::XcSimFix> served = Twin(link.faults).ServedFixes();
    ASSERT_EQ(read.fixes.size(), served.size()) << link.gps;
    for (size_t i = 0; i < served.size(); ++i) {
      ASSERT_EQ(read.fixes[i].time, served[i].time) << link.gps << " fix " << i;
      ASSERT_NEAR(testing::xctrainer::Degrees(read.fixes[i].latitude), served[i].latitude, 2e-6) << link.gps;
      ASSERT_NEAR(testing::xctrainer::Degrees(read.fixes[i].longitude), served[i].longitude, 2e-6) << link.gps;
    }
  }
}

TEST_F(XcTrainerCli, IgcLogVerifies) {
  for (const Link& link : {Link{"XCTRAINER", {"send=tnc"}}, Link{"XCT_MXP", {"send=mxp"}}}) {
    fs::remove_all(dir_ / "out");
    fs::create_directories(dir_ / "out");
    ASSERT_TRUE(StartSim(link.faults)) << ReadText(dir_ / "sim.err");
    ProgramRun run = Tarnvik(Download(link.gps, "/IGC_LOG=" + (dir_ / "out").string() + "/"));
    StopSim();
    ASSERT_EQ(run.status, 0) << link.gps << ": " << run.err;
    std::vector<fs::path> written;
    for (const auto& e : fs::directory_iterator(dir_ / "out")) written.push_back(e.path());
    ASSERT_EQ(written.size(), 1u) << link.gps;
    ProgramRun verify = Tarnvik({"--verify", written[0].string()});
    EXPECT_EQ(verify.status, 0) << link.gps << ": " << verify.err;
  }
}

TEST_F(XcTrainerCli, SilentInstrumentEndsTheRunWithAMessage) {
  ASSERT_TRUE(StartSim({"send=tnc", "silent=20"}));
  const auto start = std::chrono::steady_clock::now();
  ProgramRun run = Tarnvik(Download("XCTRAINER", "/KML_LOG=" + (dir_ / "out" / "x.kml").string()));
  EXPECT_NE(run.status, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_NE(run.err.find("E204 No data received"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir_ / "out" / "x.kml"));
}

TEST_F(XcTrainerCli, WaypointActionsAreRefusedForTheseInstruments) {
  for (const char* gps : {"XCTRAINER", "TOPNAV", "XCT_MXP"}) {
    ProgramRun run = Tarnvik({"/PORT=/dev/null", std::string("/GPS=") + gps, "/RD_WPT=" + (dir_ / "w.wpt").string(),
                              "/EXIT", "/WIN=0"});
    EXPECT_NE(run.status, 0) << gps;
    EXPECT_NE(run.err.find("Unsupported GPS for waypoint download"), std::string::npos) << run.err;
    run = Tarnvik({"/PORT=/dev/null", std::string("/GPS=") + gps, "/WR_WPT=" + (dir_ / "w.wpt").string(), "/EXIT",
                   "/WIN=0"});
    EXPECT_NE(run.status, 0) << gps;
    EXPECT_NE(run.err.find("Unsupported GPS for"), std::string::npos) << run.err;
  }
}

TEST_F(XcTrainerCli, HelpNoLongerListsTheTypesAsMissing) {
  const std::string command = kTarnvik + " --help > " + (dir_ / "help.out").string();
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string usage = ReadText(dir_ / "help.out");
  const size_t notYet = usage.find("Not yet in this build");
  if (notYet == std::string::npos) return;
  const std::string section = usage.substr(notYet, usage.find("\n\n", notYet) - notYet);
  for (const char* gps : {"XCTRAINER", "TOPNAV", "XCT_MXP"}) EXPECT_EQ(section.find(gps), std::string::npos) << section;
}

TEST_F(XcTrainerCli, AnUnprivilegedUserDownloads) {
  if (std::system("/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups /bin/true 2>/dev/null") != 0) {
    GTEST_SKIP() << "cannot drop privileges here (not root, or no setpriv)";
  }
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(dir_ / "out", fs::perms::all);
  fs::permissions(dir_ / "unit.txt", fs::perms::all);
  ASSERT_TRUE(StartSim({"send=mxp"}, true)) << ReadText(dir_ / "sim.err");
  ProgramRun run = Tarnvik(Download("XCT_MXP", "/KML_LOG=" + (dir_ / "out" / "u.kml").string()), true);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(dir_ / "out" / "u.kml"));
}

// The track points of gpsbabel's GPX output: time (seconds since 1989-12-31, rounded to the
// nearest second), latitude and longitude.
struct GpxPoint {
  uint32_t time = 0;
  double latitude = 0;
  double longitude = 0;
};
std::vector<GpxPoint> GpxTrackPoints(const std::string& gpx) {
  std::vector<GpxPoint> points;
  for (size_t at = gpx.find("<trkpt "); at != std::string::npos; at = gpx.find("<trkpt ", at + 1)) {
    GpxPoint p;
    const size_t lat = gpx.find("lat=\"", at), lon = gpx.find("lon=\"", at);
    const size_t time = gpx.find("<time>", at), end = gpx.find("</trkpt>", at);
    if (lat == std::string::npos || lon == std::string::npos || time == std::string::npos || time > end) break;
    p.latitude = std::stod(gpx.substr(lat + 5));
    p.longitude = std::stod(gpx.substr(lon + 5));
    core::SystemTime t;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double sec = 0;
    if (std::sscanf(gpx.c_str() + time + 6, "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &sec) != 6) break;
    t.year = static_cast<uint16_t>(y);
    t.month = static_cast<uint16_t>(mo);
    t.day = static_cast<uint16_t>(d);
    t.hour = static_cast<uint16_t>(h);
    t.minute = static_cast<uint16_t>(mi);
    p.time = *core::CalendarToTime(t) + static_cast<uint32_t>(std::lround(sec));
    points.push_back(p);
  }
  return points;
}

TEST_F(XcTrainerCli, OziAndMapSourceLogsHoldTheServedFixesAsGpsbabelReadsThem) {
  if (std::system("gpsbabel -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel is not installed";
  struct Case {
    const char* gps;
    std::vector<std::string> faults;
    const char* action;
    const char* file;
    const char* babelFormat;
  };
  const Case cases[] = {
      {"XCTRAINER", {"send=tnc", "model=xc", "offset=2"}, "/OZI_LOG=", "tnc.plt", "ozi"},
      {"XCT_MXP", {"send=mxp", "model=xc"}, "/OZI_LOG=", "mxp.plt", "ozi"},
      {"TOPNAV", {"send=tnc", "model=tn", "offset=-7"}, "/MPS_LOG=", "tnc.mps", "mapsource"},
      {"XCT_MXP", {"send=mxp", "model=xc"}, "/MPS_LOG=", "mxp.mps", "mapsource"},
  };
  const bool mapsource = std::system("gpsbabel -i mapsource -f /dev/null -o gpx -F /dev/null 2>&1 | grep -q 'not recognized'") != 0;
  for (const Case& c : cases) {
    ASSERT_TRUE(StartSim(c.faults)) << ReadText(dir_ / "sim.err");
    const fs::path file = dir_ / "out" / c.file;
    ProgramRun run = Tarnvik(Download(c.gps, c.action + file.string()));
    StopSim();
    ASSERT_EQ(run.status, 0) << c.file << ": " << run.err;
    std::vector<GpxPoint> read;
    if (std::string(c.babelFormat) == "mapsource" && !mapsource) {
      // GPSBabel 1.8 no longer reads MapSource files: this program's own reader takes them.
      testing::RecordingUi ui;
      const formats::TrackParseResult mps = formats::ReadMapSourceTrack(ui, ReadText(file));
      ASSERT_GT(mps.result, 0) << c.file;
      for (const core::TrackPoint& f : mps.fixes) {
        read.push_back({f.time, testing::xctrainer::Degrees(f.latitude), testing::xctrainer::Degrees(f.longitude)});
      }
    } else {
      const fs::path gpx = dir_ / "out" / (std::string(c.file) + ".gpx");
      const std::string babel = std::string("gpsbabel -i ") + c.babelFormat + " -f '" + file.string() +
                                "' -o gpx -F '" + gpx.string() + "' 2>'" + (dir_ / "babel.err").string() + "'";
      ASSERT_EQ(std::system(babel.c_str()), 0) << c.file << ": " << ReadText(dir_ / "babel.err");
      read = GpxTrackPoints(ReadText(gpx));
    }
    const std::vector<sim::xctrainer::XcSimFix> served = Twin(c.faults).ServedFixes();
    ASSERT_GT(served.size(), 100u) << c.file;
    ASSERT_EQ(read.size(), served.size()) << c.file;
    for (size_t i = 0; i < served.size(); ++i) {
      // The OziExplorer layout keeps the time as days with 7 decimals (0.0086 s) and gpsbabel
      // drops the part of a second: a fix may come back one second early there.
      const int64_t late = int64_t{served[i].time} - read[i].time;
      if (std::string(c.babelFormat) == "ozi") {
        ASSERT_TRUE(late == 0 || late == 1) << c.file << " fix " << i << ": " << late;
      } else {
        ASSERT_EQ(late, 0) << c.file << " fix " << i;
      }
      ASSERT_NEAR(read[i].latitude, served[i].latitude, 2e-6) << c.file << " fix " << i;
      ASSERT_NEAR(read[i].longitude, served[i].longitude, 2e-6) << c.file << " fix " << i;
    }
  }
}

}  // namespace
}  // namespace tarnvik
