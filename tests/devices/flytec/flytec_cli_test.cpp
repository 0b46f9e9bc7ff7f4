// The built programs end to end: `tarnvik-sim flytec` serves an instrument on a pseudo-terminal
// and `tarnvik /GPS=IQCOMPEO ...` downloads from it through the real serial code, as a pilot's
// script would.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "formats/igc.h"
#include "formats/igc_writer.h"
#include "formats/kml_reader.h"
#include "formats/waypoint_files.h"
#include "tests/devices/flytec/flytec_test_support.h"
#include "tests/fakes/program_run.h"
#include "tests/fakes/semicircles.h"

namespace tarnvik {
namespace {

namespace fs = std::filesystem;
using testing::flytec::MakeIgc;
using testing::flytec::Walk;

using testing::NotYetInThisBuild;
using testing::ProgramRun;
using testing::ReadText;
using testing::WriteText;

class FlytecCli : public testing::ProgramRunTest {
 protected:
  FlytecCli() : ProgramRunTest("tfc_") {}

  // Serves the tracks as an instrument with the given name and software version.
  bool StartSim(const std::vector<std::string>& tracks, const std::string& head,
                const std::vector<std::string>& faults = {}, bool unprivileged = false) {
    std::string data = head;
    for (size_t i = 0; i < tracks.size(); ++i) {
      const std::string name = "track" + std::to_string(i) + ".igc";
      WriteText(dir_ / name, tracks[i]);
      data += "track " + name + "\n";
    }
    WriteText(dir_ / "unit.txt", data);
    std::vector<std::string> args = {"--data", (dir_ / "unit.txt").string()};
    for (const std::string& f : testing::FaultArguments(faults)) args.push_back(f);
    if (!recordFile_.empty()) {
      args.push_back("--record");
      args.push_back(recordFile_.string());
    }
    return StartSimulator("flytec", args, unprivileged);
  }
  std::vector<std::string> Download(const std::string& action) const {
    return ProgramRunTest::Download("IQCOMPEO", action);
  }

  fs::path recordFile_;  // where the simulator records uploads; empty: none
};

// Our own writer's file: fixes with their G record, logger serial 047.
std::string SignedIgc() {
  std::vector<core::TrackPoint> fixes;
  const uint32_t start = *core::CalendarToTime({2024, 7, 0, 15, 10, 0, 0, 0});
  for (int i = 0; i < 30; ++i) {
    core::TrackPoint p;
    p.time = start + static_cast<uint32_t>(i);
    p.latitude = *core::LatitudeFromDegrees(46.5 + i * 0.0001);
    p.longitude = *core::LongitudeFromDegrees(8.25 + i * 0.0001);
    p.height = 15000 + 10 * i;
    fixes.push_back(p);
  }
  formats::IgcHeader header;
  header.serial = "047";
  return formats::FormatIgcLog(fixes, 1, header, {2024, 7, 0, 15, 12, 0, 0, 0}, formats::IgcGRecord::Always);
}

TEST_F(FlytecCli, ServedIgcIsWrittenByteForByteAndVerified) {
  const std::string ours = SignedIgc();
  const std::string foreign = MakeIgc(Walk(20, 11));  // AFLY04711, a G record that is not ours
  ASSERT_TRUE(StartSim({ours, foreign}, "name COMPEO\nsoftware 2.2\n"));
  ProgramRun run = Tarnvik(Download("/IGC_LOG=" + (dir_ / "out").string() + "/"));
  ASSERT_EQ(run.status, 0) << run.err;
  // Headless, the first listed track is taken and named on the error stream.
  EXPECT_NE(run.err.find("Track list: Select one of the following tracks: -> 00   15.07.24   10:00:00   00:00:29"),
            std::string::npos)
      << run.err;
  const fs::path written = dir_ / "out" / "2024-07-15-xxx-047-01.igc";
  ASSERT_TRUE(fs::exists(written)) << run.err;
  EXPECT_EQ(ReadText(written), ours);
  EXPECT_EQ(Tarnvik({"--verify", written.string()}).status, 0);
  StopSim();

  // A unit without the list sends what its analysis page shows: the foreign file, unchanged.
  ASSERT_TRUE(StartSim({ours, foreign}, "name GALILEO\nsoftware 2.19\nselected 1\n"));
  run = Tarnvik(Download("/IGC_LOG=" + (dir_ / "out").string() + "/"));
  ASSERT_EQ(run.status, 0) << run.err;
  const fs::path second = dir_ / "out" / "2024-07-15-xxx-047-02.igc";
  ASSERT_TRUE(fs::exists(second)) << run.err;
  EXPECT_EQ(ReadText(second), foreign);
  EXPECT_EQ(Tarnvik({"--verify", second.string()}).status, 1);
}

TEST_F(FlytecCli, HelpNoLongerListsTheFamilyAsMissing) {
  const ProgramRun help = Tarnvik({"--help"});
  ASSERT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("IQCOMPEO"), std::string::npos);
  const std::string section = NotYetInThisBuild(help.out);
  EXPECT_EQ(section.find("IQCOMPEO"), std::string::npos) << section;
}

TEST_F(FlytecCli, WithoutGRecordTheWarningGoesToStderrAndTheRunSucceeds) {
  ASSERT_TRUE(StartSim({MakeIgc(Walk(12))}, "name 5030\nsoftware 2.0\n", {"nog"}));
  ProgramRun run = Tarnvik(Download("/IGC_LOG=" + (dir_ / "out" / "flight.igc").string()));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Read GPS track log: No G-records found"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::exists(dir_ / "out" / "flight.igc"));
}

TEST_F(FlytecCli, KmlLogIsSignedAndHoldsTheServedFixesAcrossMidnight) {
  const std::string igc = MakeIgc(Walk(40, 23, 59, 40));
  ASSERT_TRUE(StartSim({igc}, "name COMPETINO\nsoftware 1.0\n"));
  ProgramRun run = Tarnvik(Download("/KML_LOG=" + (dir_ / "out" / "flight.kml").string()));
  ASSERT_EQ(run.status, 0) << run.err;
  testing::RecordingUi ui;
  formats::TrackParseResult kml = formats::ReadKmlLog(ui, ReadText(dir_ / "out" / "flight.kml"));
  ASSERT_GT(kml.result, 0);
  EXPECT_EQ(kml.signatureFlag, formats::kKmlSignatureValid);
  // The served B records as an independent IGC reader takes them.
  formats::IgcParseResult served = formats::ParseIgcLog(igc);
  ASSERT_EQ(kml.fixes.size(), static_cast<size_t>(served.count));
  for (size_t i = 0; i < kml.fixes.size(); ++i) {
    EXPECT_EQ(kml.fixes[i].time, served.fixes[i].time) << i;
    EXPECT_NEAR(kml.fixes[i].latitude, served.fixes[i].latitude, 12) << i;
    EXPECT_NEAR(kml.fixes[i].longitude, served.fixes[i].longitude, 12) << i;
  }
  EXPECT_GT(kml.fixes.back().time, kml.fixes.front().time);
}

TEST_F(FlytecCli, AnUnprivilegedUserDownloadsFromTheSimulatedUnit) {
  // Both programs drop to the unprivileged user, so the pseudo-terminal is that user's own.
  if (!testing::SetprivDropsPrivileges()) {
    GTEST_SKIP() << "cannot drop privileges here (not root, or no setpriv)";
  }
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(dir_ / "out", fs::perms::all);
  ASSERT_TRUE(StartSim({MakeIgc(Walk(12))}, "name 5030\nsoftware 2.0\n", {}, true)) << SimErrors();
  ProgramRun run = Tarnvik(Download("/IGC_LOG=" + (dir_ / "out").string() + "/"), true);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(dir_ / "out" / "2024-07-15-xxx-047-01.igc")) << run.err;
}

using tarnvik::testing::Degrees;

// "DDMM.MMM" or "DDDMM.MMM" with its hemisphere letter as degrees.
double SentenceAngle(const std::string& field, const std::string& hemisphere, int degreeDigits) {
  const double degrees = std::stod(field.substr(0, degreeDigits)) + std::stod(field.substr(degreeDigits)) / 60.0;
  return hemisphere == "S" || hemisphere == "W" ? -degrees : degrees;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : line) {
    if (c == ',') {
      fields.push_back(field);
      field.clear();
    } else {
      field.push_back(c);
    }
  }
  fields.push_back(field);
  return fields;
}

TEST_F(FlytecCli, ReadWaypointsWritesTheInstrumentsListAsAnOziFile) {
  ASSERT_TRUE(StartSim({}, "name COMPEO\nsoftware 2.2\n"
                           "waypoint 46.5125,8.2505,TP01,TAKEOFF NORTH,1500\n"
                           "waypoint -12.25,-70.5,GOAL,LANDING FIELD,250\n"));
  const fs::path file = dir_ / "out" / "list.wpt";
  ProgramRun run = Tarnvik(Download("/RD_WPT=" + file.string()));
  ASSERT_EQ(run.status, 0) << run.err;
  testing::RecordingUi ui;
  std::vector<core::Waypoint> read;
  ASSERT_EQ(formats::ReadOziWaypoints(ui, ReadText(file), read, {}), 2) << ReadText(file);
  struct Expected {
    const char* id;
    const char* comment;
    double latitude, longitude;
    int altitude;
  };
  const Expected expected[] = {{"TP01", "TAKEOFF NORTH", 46.5125, 8.2505, 1500},
                               {"GOAL", "LANDING FIELD", -12.25, -70.5, 250}};
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_STREQ(read[i].id, expected[i].id) << i;
    EXPECT_STREQ(read[i].comment, expected[i].comment) << i;
    EXPECT_NEAR(Degrees(read[i].latitude), expected[i].latitude, 0.00003) << i;
    EXPECT_NEAR(Degrees(read[i].longitude), expected[i].longitude, 0.00003) << i;
    EXPECT_NEAR(read[i].altitude, expected[i].altitude, 1) << i;
  }
}

TEST_F(FlytecCli, WriteWaypointsSendFilesWaypointsToTheInstrument) {
  struct Sent {
    const char* id;
    const char* comment;
    double latitude, longitude;
    int altitude;
  };
  const Sent sent[] = {{"TP01", "TAKEOFF NORTH", 46.5125, 8.2505, 1500},
                       {"GOAL", "LANDING FIELD BY THE RIVER", -12.25, -70.5, 250}};
  std::vector<core::Waypoint> list;
  for (const Sent& w : sent) {
    core::Waypoint p;
    std::snprintf(p.id, sizeof p.id, "%s", w.id);
    std::snprintf(p.comment, sizeof p.comment, "%s", w.comment);
    p.latitude = *core::LatitudeFromDegrees(w.latitude);
    p.longitude = *core::LongitudeFromDegrees(w.longitude);
    p.altitude = w.altitude;
    list.push_back(p);
  }
  WriteText(dir_ / "in.wpt", formats::FormatOziWaypoints(list));
  // WR_WPT sends the comments; WR_WPT2 makes each the ID, a blank and the old comment.
  for (const std::string action : {"/WR_WPT=", "/WR_WPT2="}) {
    const bool idName = action == "/WR_WPT2=";
    recordFile_ = dir_ / (idName ? "uploads2.txt" : "uploads.txt");
    ASSERT_TRUE(StartSim({}, "name COMPEO\nsoftware 2.2\n"));
    ProgramRun run = Tarnvik(Download(action + (dir_ / "in.wpt").string()));
    ASSERT_EQ(run.status, 0) << action << run.err;
    StopSim();

    // One "$PBRWPR" line per waypoint, in the file's order: lat, N/S, lon, E/W, ID, name, altitude.
    std::istringstream record(ReadText(recordFile_));
    std::vector<std::vector<std::string>> lines;
    for (std::string line; std::getline(record, line);) {
      if (line.rfind("$PBRWPR,", 0) == 0) lines.push_back(Fields(line.substr(8)));
    }
    ASSERT_EQ(lines.size(), 2u) << action << ReadText(recordFile_);
    for (size_t i = 0; i < 2; ++i) {
      const std::vector<std::string>& f = lines[i];
      ASSERT_EQ(f.size(), 7u) << action << i;
      EXPECT_NEAR(SentenceAngle(f[0], f[1], 2), sent[i].latitude, 0.00003) << action << i;
      EXPECT_NEAR(SentenceAngle(f[2], f[3], 3), sent[i].longitude, 0.00003) << action << i;
      // The name field: the comment in 17 blank-padded characters.
      std::string name = ((idName ? std::string(sent[i].id) + " " : std::string()) + sent[i].comment).substr(0, 17);
      name.resize(17, ' ');
      EXPECT_EQ(f[5], name) << action << i;
      EXPECT_NEAR(std::stoi(f[6]), sent[i].altitude, 1) << action << i;
    }
  }
}

}  // namespace
}  // namespace tarnvik
