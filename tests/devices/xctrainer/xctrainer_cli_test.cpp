// The built programs end to end: `tarnvik-sim xctrainer` serves an instrument on a
// pseudo-terminal and `tarnvik /GPS=XCTRAINER|TOPNAV|XCT_MXP ...` downloads from it through the
// real serial code: a signed KML holding the served fixes in UTC, an IGC file that verifies.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "formats/kml_reader.h"
#include "formats/mapsource.h"
#include "sim/xctrainer/xctrainer_device.h"
#include "tests/devices/xctrainer/xctrainer_test_support.h"
#include "tests/fakes/program_run.h"

namespace tarnvik {
namespace {

namespace fs = std::filesystem;

using testing::NotYetInThisBuild;
using testing::ProgramRun;
using testing::ReadText;

const std::string kFlight = std::string(TARNVIK_TEST_DATA) + "/igc/xcs_marcourt.igc";

class XcTrainerCli : public testing::ProgramRunTest {
 protected:
  XcTrainerCli() : ProgramRunTest("txc_") {}
  void SetUp() override {
    ProgramRunTest::SetUp();
    if (HasFatalFailure()) return;
    std::ofstream(dir_ / "unit.txt") << "igc " << kFlight << "\n";
  }
  bool StartSim(const std::vector<std::string>& faults, bool unprivileged = false) {
    std::vector<std::string> args = {"--data", (dir_ / "unit.txt").string()};
    for (const std::string& f : testing::FaultArguments(faults)) args.push_back(f);
    return StartSimulator("xctrainer", args, unprivileged);
  }
  // The instrument as the simulator builds it from the same data and faults.
  sim::xctrainer::XcTrainerDevice Twin(const std::vector<std::string>& faults) {
    sim::xctrainer::XcTrainerDevice twin;
    std::string error;
    EXPECT_TRUE(sim::xctrainer::LoadXcTrainerData((dir_ / "unit.txt").string(), twin, error)) << error;
    for (const auto& f : faults) EXPECT_TRUE(sim::xctrainer::ApplyXcTrainerFault(f, twin.config(), error)) << error;
    return twin;
  }
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
    ASSERT_TRUE(StartSim(link.faults)) << SimErrors();
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
      ASSERT_NEAR(testing::Degrees(read.fixes[i].latitude), served[i].latitude, 2e-6) << link.gps;
      ASSERT_NEAR(testing::Degrees(read.fixes[i].longitude), served[i].longitude, 2e-6) << link.gps;
    }
  }
}

TEST_F(XcTrainerCli, IgcLogVerifies) {
  for (const Link& link : {Link{"XCTRAINER", {"send=tnc"}}, Link{"XCT_MXP", {"send=mxp"}}}) {
    fs::remove_all(dir_ / "out");
    fs::create_directories(dir_ / "out");
    ASSERT_TRUE(StartSim(link.faults)) << SimErrors();
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
  const ProgramRun help = Tarnvik({"--help"});
  ASSERT_EQ(help.status, 0);
  const std::string section = NotYetInThisBuild(help.out);
  for (const char* gps : {"XCTRAINER", "TOPNAV", "XCT_MXP"}) EXPECT_EQ(section.find(gps), std::string::npos) << section;
}

TEST_F(XcTrainerCli, AnUnprivilegedUserDownloads) {
  if (!testing::SetprivDropsPrivileges()) {
    GTEST_SKIP() << "cannot drop privileges here (not root, or no setpriv)";
  }
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(dir_ / "out", fs::perms::all);
  fs::permissions(dir_ / "unit.txt", fs::perms::all);
  ASSERT_TRUE(StartSim({"send=mxp"}, true)) << SimErrors();
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
    ASSERT_TRUE(StartSim(c.faults)) << SimErrors();
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
        read.push_back({f.time, testing::Degrees(f.latitude), testing::Degrees(f.longitude)});
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
