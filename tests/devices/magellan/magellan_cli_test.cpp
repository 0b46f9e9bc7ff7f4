// The built programs end to end: `tarnvik-sim magellan|graviter` serves an instrument on a
// pseudo-terminal and `tarnvik /GPS=MAGELLAN|GRAVITER ...` downloads from it through the real
// serial code: a signed KML holding the served points, an IGC file that verifies; the actions
// these types refuse; the usage text.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "core/records.h"
#include "formats/kml_reader.h"
#include "sim/graviter/graviter_device.h"
#include "sim/magellan/magellan_device.h"
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

class MagellanGraviterCli : public testing::ProgramRunTest {
 protected:
  MagellanGraviterCli() : ProgramRunTest("tmg_") {}
  formats::TrackParseResult ReadKml(const fs::path& kml) {
    testing::RecordingUi ui;
    return formats::ReadKmlLog(ui, ReadText(kml));
  }
};

TEST_F(MagellanGraviterCli, MagellanKmlLogIsSignedAndHoldsTheServedPoints) {
  ASSERT_TRUE(StartSim("magellan", {"points=300"})) << SimErrors();
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
  ASSERT_TRUE(StartSim("graviter", {"wrap"})) << SimErrors();
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
  ASSERT_TRUE(StartSim("magellan", {})) << SimErrors();
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
  const ProgramRun help = Tarnvik({"--help"});
  ASSERT_EQ(help.status, 0);
  const std::string section = NotYetInThisBuild(help.out);
  for (const char* gps : {"MAGELLAN", "GRAVITER"}) EXPECT_EQ(section.find(gps), std::string::npos) << section;
}

TEST_F(MagellanGraviterCli, AnUnprivilegedUserDownloads) {
  if (!testing::SetprivDropsPrivileges()) {
    GTEST_SKIP() << "cannot drop privileges here (not root, or no setpriv)";
  }
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(dir_ / "out", fs::perms::all);
  for (const char* family : {"magellan", "graviter"}) {
    ASSERT_TRUE(StartSim(family, {}, true)) << SimErrors();
    const fs::path kml = dir_ / "out" / (std::string(family) + ".kml");
    ProgramRun run = Tarnvik(Download(family == std::string("magellan") ? "MAGELLAN" : "GRAVITER", "/KML_LOG=" + kml.string()), true);
    StopSim();
    ASSERT_EQ(run.status, 0) << family << ": " << run.err;
    EXPECT_TRUE(fs::exists(kml)) << family;
  }
}

}  // namespace
}  // namespace tarnvik
