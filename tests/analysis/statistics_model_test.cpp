#include "analysis/statistics_model.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/analysis/track_builder.h"
#include "tests/fakes/address_space_limit.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::analysis {
namespace {

using core::TrackPoint;
using testing::FixAtMetres;
using testing::kMorning;
using testing::StraightTrack;

constexpr const char* kOpenCaption = "Initialize track statistics dialog box";

// The dialog's status field, safe to call from the worker. When the worker reports `gateText`
// it is held there: until OpenGate(), or for holdMs when that is not negative.
class GateOperation : public core::Operation {
 public:
  explicit GateOperation(std::string gateText = {}, int holdMs = -1) : gateText_(std::move(gateText)), holdMs_(holdMs) {}

  bool IsCancelled() const override { return false; }
  void Status(const std::string& text) override {
    std::unique_lock lock(mutex_);
    statuses_.push_back(text);
    if (text != gateText_) return;
    reached_ = true;
    changed_.notify_all();
    if (holdMs_ < 0) {
      changed_.wait(lock, [&] { return opened_; });
    } else {
      changed_.wait_for(lock, std::chrono::milliseconds(holdMs_), [&] { return opened_; });
    }
  }
  void Product(const std::string&) override {}
  void Fail(const std::string&, const std::string&) override {}
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer answer) override { return answer; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }

  void WaitUntilReached() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return reached_; });
  }
  void OpenGate() {
    std::lock_guard lock(mutex_);
    opened_ = true;
    changed_.notify_all();
  }
  std::vector<std::string> Statuses() {
    std::lock_guard lock(mutex_);
    return statuses_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> statuses_;
  std::string gateText_;
  int holdMs_;
  bool reached_ = false;
  bool opened_ = false;
};

// The worker's end, seen from the test thread.
struct EndSignal {
  std::shared_ptr<std::promise<int>> promise = std::make_shared<std::promise<int>>();
  std::shared_future<int> result = promise->get_future().share();
  std::function<void(int)> Callback() {
    return [p = promise](int r) { p->set_value(r); };
  }
  bool Ended() const { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
};

std::vector<TrackPoint> TrackWithSpike(size_t count) {
  std::vector<TrackPoint> track = StraightTrack(count, 10);
  track[count / 2] = FixAtMetres(0, 50000, track[count / 2].time);
  return track;
}

struct Fixture {
  testing::RecordingUi ui;
  GateOperation status;
  testing::FakeClock clock;
  Fixture() = default;
  explicit Fixture(std::string gate, int holdMs = -1) : status(std::move(gate), holdMs) {}
};

TEST(StatisticsModel, OpeningChecksAndTheirMessages) {
  std::vector<TrackPoint> zigzag;
  for (uint32_t i = 0; i < 12; ++i) zigzag.push_back(FixAtMetres(0, i % 2 ? 5000 : 0, kMorning + i));
  struct Case {
    const char* what;
    std::vector<TrackPoint> selected;
    bool filterOn;
    bool opens;
    std::vector<std::string> messages;
    size_t workingSet;
  };
  const Case cases[] = {
      {"nothing selected", {}, true, false, {"No position(s) selected"}, 0},
      {"nine fixes", StraightTrack(9, 10), false, false, {"Too few positions selected"}, 0},
      {"filter removes the spike", TrackWithSpike(30), true, true,
       {"Position(s) have been removed during track speed analysis"}, 29},
      {"filter off keeps it", TrackWithSpike(30), false, true, {}, 30},
      {"filter leaves nothing", zigzag, true, false, {"Too few positions left after track speed analysis"}, 0},
      {"ten plausible fixes", StraightTrack(10, 10), true, true, {}, 10},
  };
  for (const Case& c : cases) {
    Fixture f;
    StatisticsModel model(f.ui, f.status, f.clock);
    EXPECT_EQ(model.Open(c.selected, c.filterOn, 1, 1), c.opens) << c.what;
    EXPECT_EQ(f.ui.Texts(), c.messages) << c.what;
    for (const auto& shown : f.ui.shown) EXPECT_EQ(shown.caption, kOpenCaption);
    if (c.opens) {
      EXPECT_EQ(model.Summary().fixes.size(), c.workingSet) << c.what;
    }
  }
}

// A selection whose per-fix legs (of the speed filter or of the summary values) do not fit the
// memory left: the dialog reports it and does not open, instead of the program ending with
// std::bad_alloc.
TEST(StatisticsModelDeathTest, SelectionBeyondTheMemoryLeftIsReported) {
  if (!testing::kAddressSpaceCapWorks) GTEST_SKIP() << "a sanitizer's shadow memory leaves no room for an address-space cap";
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh child: no freed memory to reuse
  std::vector<TrackPoint> selected(1'500'000, FixAtMetres(0, 0, kMorning));  // 30 MB; its legs 12 MB
  for (size_t i = 0; i < selected.size(); ++i) selected[i].time += static_cast<uint32_t>(i);
  for (bool filterOn : {false, true}) {
    EXPECT_EXIT(
        {
          Fixture f;
          StatisticsModel model(f.ui, f.status, f.clock);
          if (!testing::CapAddressSpaceGrowth(8u << 20)) std::_Exit(2);
          const bool opened = model.Open(std::move(selected), filterOn, 1, 1);
          const bool reported = f.ui.shown.size() == 1 && f.ui.shown[0].caption == kOpenCaption &&
                                f.ui.shown[0].text == "Memory allocation error";
          std::_Exit(!opened && reported ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << (filterOn ? "filter on" : "filter off");
  }
}

TEST(StatisticsModel, RunsTheSearchesAndFillsTheSummaryForTheWriter) {
  Fixture f;
  StatisticsModel model(f.ui, f.status, f.clock);
  EndSignal end;
  std::vector<TrackPoint> track = StraightTrack(200, 10);
  ASSERT_TRUE(model.Open(track, false, 8, 1, end.Callback()));
  // The summary lines show at once.
  EXPECT_EQ(model.Lines()[1], "Date                 2024-07-14\r\n");
  ASSERT_EQ(end.result.get(), 0);
  EXPECT_TRUE(model.Finished());
  EXPECT_EQ(f.status.Statuses(),
            (std::vector<std::string>{"Computing distance matrix", "Computing distance matrix. Done"}));
  const core::FlightSummary& s = model.Summary();
  EXPECT_EQ(s.openDistanceFixes[0], 0);
  EXPECT_EQ(s.openDistanceFixes[1], 199);
  EXPECT_EQ(s.signFlag, 1);
  EXPECT_EQ(s.utcFlag, 1);
  EXPECT_EQ(s.downloadedTime, static_cast<int32_t>(core::CalendarToTime(f.clock.UtcNow()).value()));
  EXPECT_EQ(model.Lines()[9].substr(0, 9), "A     1  ");
  EXPECT_EQ(model.Lines()[18].substr(0, 5), "Sum  ");

  std::string described;
  int rc = model.Save(std::string(8003, 'x'), [&](const core::FlightSummary& summary, const std::string& text) {
    EXPECT_EQ(&summary, &model.Summary());
    described = text;
    return 0;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(described.size(), 8000u);
  EXPECT_TRUE(f.ui.shown.empty());

  std::optional<std::string> copied = model.Copy();
  ASSERT_TRUE(copied);
  EXPECT_EQ(*copied, JoinStatisticsLines(model.Lines()));
}

TEST(StatisticsModel, SaveIsRefusedAndHaltStopsTheSearchUntilFinished) {
  Fixture f("Computing distance matrix");
  StatisticsModel model(f.ui, f.status, f.clock);
  EndSignal end;
  ASSERT_TRUE(model.Open(StraightTrack(50, 10), false, 0, 0, end.Callback()));
  f.status.WaitUntilReached();  // the worker is about to fill the matrix

  bool saved = false;
  EXPECT_EQ(model.Save("flight", [&](const core::FlightSummary&, const std::string&) {
    saved = true;
    return 0;
  }), -1);
  EXPECT_FALSE(saved);
  f.ui.ExpectOnly("Save track log", "Statistics not yet finished");
  EXPECT_EQ(model.Lines()[9], " A\r\n");

  model.Halt();
  f.status.OpenGate();
  EXPECT_EQ(end.result.get(), -2);
  EXPECT_FALSE(model.Finished());
  EXPECT_EQ(f.status.Statuses(), (std::vector<std::string>{"Computing distance matrix", "Computation halted"}));
  EXPECT_FALSE(model.Copy());
  EXPECT_EQ(model.Summary().downloadedTime, -1);
  EXPECT_EQ(model.Summary().signFlag, 0);
}

// The worker is held after the matrix, where it still has to read the working set, for longer
// than a fixed pause would wait. Close and Copy must wait for it to end.
TEST(StatisticsModel, CloseWaitsForTheWorkerBeforeReleasingTheWorkingSet) {
  Fixture f("Computing distance matrix. Done", 400);
  StatisticsModel model(f.ui, f.status, f.clock);
  EndSignal end;
  ASSERT_TRUE(model.Open(StraightTrack(300, 10), false, 1, 1, end.Callback()));
  f.status.WaitUntilReached();
  model.Close();
  EXPECT_TRUE(end.Ended()) << "Close returned while the worker still ran";
  EXPECT_EQ(end.result.get(), 0);  // halting after the matrix no longer stops the search
  EXPECT_TRUE(model.Summary().fixes.empty());
}

TEST(StatisticsModel, CopyWaitsForTheWorkerAndGivesTheFinishedText) {
  Fixture f("Computing distance matrix. Done", 400);
  StatisticsModel model(f.ui, f.status, f.clock);
  EndSignal end;
  ASSERT_TRUE(model.Open(StraightTrack(300, 10), false, 1, 1, end.Callback()));
  f.status.WaitUntilReached();
  std::optional<std::string> copied = model.Copy();
  EXPECT_TRUE(end.Ended());
  ASSERT_TRUE(copied);
  EXPECT_NE(copied->find("\r\nSum  "), std::string::npos) << *copied;
  EXPECT_EQ(copied->find(" A\r\n"), std::string::npos) << "no placeholder left";
}

TEST(StatisticsModel, DestroyingARunningModelJoinsItsWorker) {
  EndSignal end;
  {
    Fixture f("Computing distance matrix. Done", 300);
    StatisticsModel model(f.ui, f.status, f.clock);
    ASSERT_TRUE(model.Open(StraightTrack(300, 10), false, 1, 1, end.Callback()));
    f.status.WaitUntilReached();
  }
  EXPECT_TRUE(end.Ended());
}

}  // namespace
}  // namespace tarnvik::analysis
