// The built programs end to end: `tarnvik-sim logit|mlr` serves a logger on a pseudo-terminal
// and `tarnvik /GPS=LOGIT|MLR ...` downloads from it through the real serial code, switching
// the line between 4800 and the transfer speed: a signed KML holding the served points, an IGC
// file that verifies, a 10,000-point Tracklogger log read whole.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "formats/kml_reader.h"
#include "sim/logit/logit_device.h"
#include "tests/fakes/program_run.h"
#include "tests/fakes/recording_ui.h"
#include "tests/fakes/semicircles.h"

namespace tarnvik {
namespace {

namespace fs = std::filesystem;

using testing::NotYetInThisBuild;
using testing::ProgramRun;
using testing::ReadText;

using tarnvik::testing::Degrees;

class LogItCli : public testing::ProgramRunTest {
 protected:
  LogItCli() : ProgramRunTest("tlg_") {}
  void SetUp() override {
    ProgramRunTest::SetUp();
    if (HasFatalFailure()) return;
    fs::permissions(dir_, fs::perms::all);
    fs::permissions(dir_ / "out", fs::perms::all);
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
    ASSERT_TRUE(StartSim(link.family, link.faults)) << SimErrors();
    const fs::path kml = dir_ / "out" / "log.kml";
    fs::remove(kml);
    ProgramRun run = Tarnvik(Download(link.gps, "/KML_LOG=" + kml.string()));
    StopSim();
    ASSERT_EQ(run.status, 0) << what << ": " << run.err;
    ExpectKmlHoldsServedPoints(kml, 300, what);
  }
}

TEST_F(LogItCli, TenThousandTrackloggerPointsReadWhole) {
  ASSERT_TRUE(StartSim("logit", {"points=10000", "model=tracklogger"})) << SimErrors();
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
  ASSERT_TRUE(StartSim("mlr", {"points=10000"})) << SimErrors();
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
    ASSERT_TRUE(StartSim(family, {"points=200"})) << SimErrors();
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
  ASSERT_TRUE(StartSim("mlr", {"nmea=1"})) << SimErrors();
  const fs::path wpt = dir_ / "out" / "mlr.wpt";
  ProgramRun run = Tarnvik(Download("MLR", "/RD_WPT=" + wpt.string()));
  StopSim();
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string file = ReadText(wpt);
  EXPECT_NE(file.find("TAKEOF"), std::string::npos) << file;
  EXPECT_NE(file.find("GOAL"), std::string::npos) << file;

  const fs::path record = dir_ / "uploads.txt";
  StartSimulator("mlr", {"--record", record.string()});
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
  const ProgramRun help = Tarnvik({"--help"});
  ASSERT_EQ(help.status, 0);
  const std::string section = NotYetInThisBuild(help.out);
  for (const char* gps : {"LOGIT", "MLR"}) EXPECT_EQ(section.find(gps), std::string::npos) << section;
}

TEST_F(LogItCli, AnUnprivilegedUserDownloads) {
  if (!testing::SetprivDropsPrivileges()) {
    GTEST_SKIP() << "cannot drop privileges here (setpriv to uid 65534 failed)";
  }
  ASSERT_TRUE(StartSim("logit", {"points=100"}, true)) << SimErrors();
  const fs::path kml = dir_ / "out" / "u.kml";
  ProgramRun run = Tarnvik(Download("LOGIT", "/KML_LOG=" + kml.string()), true);
  StopSim();
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectKmlHoldsServedPoints(kml, 100, "unprivileged");
}

}  // namespace
}  // namespace tarnvik
