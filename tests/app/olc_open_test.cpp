#include "app/olc_open.h"

#include <gtest/gtest.h>

#include "app/commands.h"
#include "core/file_io.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

class NoTransfers : public TransferGate {
 public:
  void Init() override {}
  int Start(access::AccessRequest, uint64_t&) override { return -1; }
  int Abort() override { return 0; }
  void Shutdown() override {}
};

constexpr int kOlcIgcBuffer = 40095;
constexpr int kOlcSelected = 40094;
const std::string kIgcFile = std::string(TARNVIK_TEST_DATA) + "/igc/igl_no_time_increment.igc";

class OlcOpen : public ::testing::Test {
 protected:
  OlcOpen() : session(ui, clock, gate, "/home/pilot") {
    session.Initialise(nullptr);
    session.dialogs.olcStatistics = [this](OlcStatisticsRun& run) { runs.push_back(run); };
  }
  // The log of a real flight, read from its file (raw IGC log kept) or delivered without one.
  void LoadFlight(bool withRawLog) {
    core::FileBytes file = core::ReadWholeFile(kIgcFile);
    bytes.assign(file.begin(), file.begin() + file.size);
    formats::IgcParseResult parsed = formats::ParseIgcLog(bytes);
    ASSERT_EQ(parsed.count, 200);
    session.ReplaceTrackLog(parsed.fixes, withRawLog ? 9 : 1, 1);
    if (withRawLog) session.track.rawIgc.assign(bytes.begin(), bytes.end());
    session.track.log.sourceName = "LX unit";
    session.ChangeView(ViewMode::Tracklog, true);
  }

  testing::RecordingUi ui;
  testing::FakeClock clock;
  NoTransfers gate;
  Session session;
  std::vector<OlcStatisticsRun> runs;
  std::string bytes;
};

TEST_F(OlcOpen, IgcBufferRunTakesAllFixesOfTheRawLog) {
  LoadFlight(true);
  session.SetSelection({3, 4});  // the selection does not matter here
  ASSERT_EQ(DispatchCommand(session, kOlcIgcBuffer), CommandOutcome::Done);
  EXPECT_TRUE(ui.shown.empty());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].fixes.size(), 200u);
  EXPECT_TRUE(runs[0].source.fromIgcBuffer);
  EXPECT_EQ(runs[0].source.buffer.bytes, bytes);
  EXPECT_STREQ(runs[0].source.buffer.manufacturer, formats::ParseIgcLog(bytes).manufacturer);
}

TEST_F(OlcOpen, SelectionRunKeepsTheLogsSource) {
  LoadFlight(false);
  session.SetSelection({10, 11, 12, 13, 14, 15});
  ASSERT_EQ(DispatchCommand(session, kOlcSelected), CommandOutcome::Done);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].fixes.size(), 6u);
  EXPECT_EQ(runs[0].fixes[0].time, session.track.log.points[10].time);
  EXPECT_FALSE(runs[0].source.fromIgcBuffer);
  EXPECT_EQ(runs[0].source.sourceKind, 1);
  EXPECT_EQ(runs[0].source.instrumentName, "LX unit");
  EXPECT_EQ(runs[0].source.downloadTime.year, session.track.log.takenOver.year);
}

TEST_F(OlcOpen, RefusalsInOrder) {
  struct Case {
    int command;
    bool load, rawLog, waypointView;
    std::vector<size_t> selection;
    const char* caption;
    const char* text;  // nullptr: nothing shown
  };
  const Case cases[] = {
      {kOlcIgcBuffer, true, true, true, {}, "OLC statistics", "Incorrect view mode"},
      {kOlcSelected, true, false, true, {1}, "OLC statistics", "Incorrect view mode"},
      {kOlcIgcBuffer, true, false, false, {}, "OLC statistics", "No raw IGC buffer stored"},
      {kOlcSelected, true, false, false, {}, "Initialize OLC statistics", "No position(s) selected"},
      {kOlcSelected, false, false, false, {}, "", nullptr},  // an empty log: nothing happens
  };
  for (const Case& test : cases) {
    runs.clear();
    ui.shown.clear();
    session.ReplaceTrackLog({}, 0, 0);
    session.track.rawIgc.clear();
    if (test.load) LoadFlight(test.rawLog);
    session.SetSelection(test.selection);
    if (test.waypointView) session.ChangeView(ViewMode::Waypoints, true);
    DispatchCommand(session, test.command);
    EXPECT_TRUE(runs.empty());
    if (test.text) {
      ui.ExpectOnly(test.caption, test.text);
    } else {
      EXPECT_TRUE(ui.shown.empty());
    }
  }
  // A raw log without fixes: the parser's message.
  ui.shown.clear();
  LoadFlight(true);
  session.track.rawIgc.assign(bytes.begin(), bytes.begin() + 40);
  DispatchCommand(session, kOlcIgcBuffer);
  EXPECT_TRUE(runs.empty());
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Initialize OLC statistics");
  EXPECT_EQ(ui.shown[0].text, formats::ParseIgcLog(bytes.substr(0, 40)).error);
}

TEST_F(OlcOpen, WithoutTheDialogTheCommandsAreNotAvailable) {
  session.dialogs.olcStatistics = nullptr;
  LoadFlight(true);
  EXPECT_EQ(DispatchCommand(session, kOlcIgcBuffer), CommandOutcome::NotAvailable);
  EXPECT_EQ(DispatchCommand(session, kOlcSelected), CommandOutcome::NotAvailable);
  EXPECT_TRUE(ui.shown.empty());
}

}  // namespace
}  // namespace tarnvik::app
