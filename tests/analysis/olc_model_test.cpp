#include "analysis/olc_model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/olc_text.h"
#include "geo/coordinate_text.h"
#include "tests/analysis/track_builder.h"
#include "tests/fakes/address_space_limit.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::analysis {
namespace {

using core::TrackPoint;
using testing::FixAtMetres;
using testing::kMorning;
using testing::RecordingOperation;
using testing::RecordingUi;

// An FAI triangle of 10 km legs, one fix every 100 m, the end 250 m from the start.
std::vector<TrackPoint> TriangleFlight() {
  const double corners[4][2] = {{0, 0}, {10000, 0}, {5000, 10000 * std::sqrt(3.0) / 2}, {0, 250}};
  std::vector<TrackPoint> fixes;
  uint32_t time = kMorning;
  for (int k = 0; k < 3; ++k) {
    for (int s = 0; s < 100; ++s) {
      double f = s / 100.0;
      fixes.push_back(FixAtMetres(corners[k][0] + (corners[k + 1][0] - corners[k][0]) * f,
                                  corners[k][1] + (corners[k + 1][1] - corners[k][1]) * f, time += 10));
    }
  }
  fixes.push_back(FixAtMetres(corners[3][0], corners[3][1], time += 10));
  return fixes;
}

// The status field; halts the search at its k-th poll (0: never).
class HaltingStatus : public RecordingOperation {
 public:
  explicit HaltingStatus(int haltAt = 0) : haltAt_(haltAt) {}
  bool IsCancelled() const override { return haltAt_ > 0 && ++polls_ >= haltAt_; }

 private:
  int haltAt_;
  mutable int polls_ = 0;  // the worker alone polls
};

TEST(OlcModel, FewerThanFivePositionsCloseTheDialog) {
  RecordingUi ui;
  HaltingStatus status;
  OlcModel model(ui, status);
  std::vector<TrackPoint> fixes = TriangleFlight();
  fixes.resize(4);
  EXPECT_FALSE(model.Open(fixes));
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Initialize OLC statistics");
  EXPECT_EQ(ui.shown[0].text, "Number of positions must be 5 or more");
}

TEST(OlcModel, FinishedRunOffersTheBestResultsPoints) {
  RecordingUi ui;
  HaltingStatus status;
  OlcModel model(ui, status);
  std::atomic<int> changes{0};
  ASSERT_TRUE(model.Open(TriangleFlight(), [&] { ++changes; }));
  model.Join();
  EXPECT_EQ(changes.load(), 1);
  EXPECT_EQ(model.WorkerResult(), 0);
  EXPECT_TRUE(model.Saveable());
  std::optional<OlcOutcome> outcome = model.Outcome();
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->best, OlcBest::FaiTriangle);
  const OlcTriangle& fai = outcome->result.faiTriangle;
  EXPECT_EQ(std::vector<int32_t>(outcome->bestPoints, outcome->bestPoints + 5),
            std::vector<int32_t>(fai.points, fai.points + 5));
  char line[80];
  std::snprintf(line, sizeof line, "Best result is FAI triangle with %.2f points", fai.olcPoints);
  EXPECT_EQ(outcome->bestLine, line);
  ASSERT_EQ(outcome->summary.size(), 6u);
  EXPECT_EQ(outcome->summary[5], outcome->bestLine);
  EXPECT_EQ(status.statuses.back(), "Optimization completed");
  EXPECT_EQ(model.ProgressText(), "");  // cleared on completion
}

TEST(OlcModel, HaltInEachPhaseEndsTheWorkerAndBlocksTheSaves) {
  // 301 fixes: 301 matrix rows, 297 middle points, 299 out-and-return starts, 299 first corners.
  struct Case {
    int haltAt;
    const char* last;
  };
  for (Case test : {Case{3, "Computation halted"}, Case{301 + 5, "Max. distance search aborted"},
                    Case{301 + 297 + 7, "Out-and-return search aborted"},
                    Case{301 + 297 + 299 + 11, "Triangle search aborted"}}) {
    RecordingUi ui;
    HaltingStatus status(test.haltAt);
    OlcModel model(ui, status);
    std::atomic<int> changes{0};
    ASSERT_TRUE(model.Open(TriangleFlight(), [&] { ++changes; }));
    model.Join();  // returns: the worker ended
    EXPECT_EQ(changes.load(), 1);
    EXPECT_EQ(model.WorkerResult(), -2);
    EXPECT_FALSE(model.Finished());
    EXPECT_FALSE(model.Saveable());
    EXPECT_FALSE(model.Outcome());
    EXPECT_EQ(status.statuses.back(), test.last);
  }
}

// Tables that do not fit in the memory left are reported, and the run is not saveable.
TEST(OlcModelDeathTest, TablesBeyondTheMemoryLeftAreReported) {
  if (!testing::kAddressSpaceCapWorks) GTEST_SKIP() << "a sanitizer's shadow memory leaves no room for an address-space cap";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::vector<TrackPoint> fixes = testing::StraightTrack(2000, 10);
  EXPECT_EXIT(
      {
        RecordingUi ui;
        HaltingStatus status;
        OlcModel model(ui, status);
        // Room for the worker's stack and the matrix (8 MB), not for the gap tables (24 MB).
        if (!testing::CapAddressSpaceGrowth(20u << 20)) std::_Exit(2);
        if (!model.Open(std::move(fixes))) std::_Exit(3);
        model.Join();
        const bool reported = status.failures.size() == 1 &&
                              status.failures[0].caption == "Initialize OLC statistics dialog box" &&
                              status.failures[0].text == "Could not allocate memory for distance table";
        std::_Exit(model.WorkerResult() == -1 && reported && !model.Saveable() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(OlcModel, HaltAndCloseWhileRunning) {
  RecordingUi ui;
  HaltingStatus status;
  OlcModel model(ui, status);
  ASSERT_TRUE(model.Open(TriangleFlight()));
  model.Halt();
  model.Join();
  EXPECT_FALSE(model.Saveable());  // halted: whether or not the searches got to the end
  model.Close();
  EXPECT_TRUE(model.Fixes().empty());

  // Close right after opening: joins before the working set goes (tsan watches this).
  OlcModel closing(ui, status);
  ASSERT_TRUE(closing.Open(TriangleFlight()));
  closing.Close();
  EXPECT_TRUE(closing.Fixes().empty());
  EXPECT_FALSE(closing.Saveable());
}

TEST(OlcText, ProgressAndPercentages) {
  struct Case {
    int64_t done, total;
    const char* text;
  };
  for (Case test : {Case{0, 0, ""}, Case{5, 0, ""}, Case{1, 4, "25 %"}, Case{994, 1000, "99 %"},
                    Case{995, 1000, "Done:"}, Case{7, 5, "Done:"}}) {
    EXPECT_EQ(OlcProgressText(test.done, test.total), test.text) << test.done << "/" << test.total;
  }
  OlcTriangle empty;  // a zero perimeter gives 0 percent, never a division
  OlcTriangleText figures = OlcTriangleFigures(empty);
  EXPECT_EQ(figures.gapPercent, "0.00 %");
  EXPECT_EQ(figures.legPercent[0], "0.00 %");
  OlcTriangle t;
  t.legs[0] = 3000, t.legs[1] = 4000, t.legs[2] = 5000, t.perimeter = 12000, t.gap = 2400;
  figures = OlcTriangleFigures(t);
  EXPECT_EQ(figures.gapPercent, "20.00 %");
  EXPECT_EQ(figures.legPercent[2], "41.67 %");
  EXPECT_EQ(figures.distance, "9.60 km");
}

TEST(OlcText, PointLines) {
  // 46 deg 30' 15.25" N, 8 deg 5' 0" W.
  std::vector<TrackPoint> fixes = {testing::FixAt(46 + 30 / 60.0 + 15.25 / 3600, -(8 + 5 / 60.0), kMorning + 5),
                                   FixAtMetres(1000, 0, kMorning + 3725)};
  OlcPointText first = OlcPointLine(fixes, 0, 0, true);
  EXPECT_EQ(first.number, "1");
  EXPECT_EQ(first.time, "10:00:05");
  EXPECT_EQ(first.latitude, geo::FormatDmsHundredths(((46 * 60 + 30) * 60) * 100 + 1525, true));
  EXPECT_EQ(first.longitude, geo::FormatDmsHundredths(-(8 * 60 + 5) * 60 * 100, false));
  EXPECT_NE(first.latitude.find("46"), std::string::npos) << first.latitude;
  EXPECT_EQ(first.leg, "");
  OlcPointText second = OlcPointLine(fixes, 1, 1004.9, false);
  EXPECT_EQ(second.number, "2");
  EXPECT_EQ(second.time, "11:02:05");
  EXPECT_EQ(second.leg, "1.00");
  EXPECT_EQ(OlcPointLine(fixes, 2, 0, false).number, "");  // outside the set: nothing
}

TEST(OlcText, SummaryLinesOfAStraightFlight) {
  std::vector<TrackPoint> fixes;
  for (int i = 0; i < 50; ++i) fixes.push_back(FixAtMetres(i * 200.0, 0, kMorning + 10 * i));
  OlcResult result;
  ASSERT_EQ(RunOlcSearch(fixes, nullptr, nullptr, result), 0);
  std::vector<std::string> lines = OlcSummaryLines(result);
  ASSERT_EQ(lines.size(), 6u);
  char expected[80];
  std::snprintf(expected, sizeof expected, "Max. distance: %.2f km", result.twoMetres / 1000);
  EXPECT_EQ(lines[0], expected);
  std::snprintf(expected, sizeof expected, "Free distance: %.2f km, %.2f points", result.fiveSum / 1000,
                result.fiveSum * 0.0015);
  EXPECT_EQ(lines[1], expected);
  EXPECT_EQ(lines[2], "Out-and-return: none");
  EXPECT_EQ(lines[3], "Free triangle: none");
  EXPECT_EQ(lines[4], "FAI triangle: none");
  std::snprintf(expected, sizeof expected, "Best result is free distance with %.2f points", result.fiveSum * 0.0015);
  EXPECT_EQ(lines[5], expected);
}

}  // namespace
}  // namespace tarnvik::analysis
