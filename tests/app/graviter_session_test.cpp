// "No log positions" on a session with the real access engine and the Graviter simulator over a
// pseudo-terminal: each track without positions reaches the session's dialog on the main thread
// until the user ticks "&Skip further notifications", which silences the rest of that download
// only; without the dialog the texts go to the status line.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "app/session.h"
#include "devices/graviter/graviter_transfers.h"
#include "sim/graviter/graviter_device.h"
#include "tests/app/pty_session.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

class StatusFrontEnd : public SessionFrontEnd {
 public:
  std::vector<std::string> statuses;
  void StatusText(const std::string& text) override { statuses.push_back(text); }
};

std::string NoPositions(int day) {
  return "The track log starting at 2024-07-" + std::to_string(day) +
         "  10:00 does not contain any valid GPS positions";
}

TEST(GraviterSession, NoLogPositionsAsksOnTheMainThreadUntilTheBoxIsTickedForThatDownload) {
  testing::RecordingUi ui;
  sim::graviter::GraviterDevice device;
  // Three tracks without positions around one flight.
  device.tracks.resize(4);
  for (int day : {16, 17, 19}) {
    device.tracks[day == 19 ? 3 : day - 16].kind = 2;
    device.tracks[day == 19 ? 3 : day - 16].day = day;
  }
  device.tracks[2].day = 18;
  for (int i = 0; i < 5; ++i) {
    sim::graviter::GravSimRecord r;
    r.timeOfDay = 36000 + static_cast<uint32_t>(i);
    r.altitude = 1000 + i;
    r.latitude = 0.8 + i * 1e-6;
    r.longitude = 0.2;
    device.tracks[2].records.push_back(r);
  }
  StatusFrontEnd frontEnd;
  testing::PtySession rig(device, devices::graviter::RegisterGraviterRoutines, ui, &frontEnd);
  ASSERT_TRUE(rig.pty) << rig.error;
  Session* session = rig.session.get();
  const std::thread::id mainThread = std::this_thread::get_id();

  std::vector<std::string> shown;
  int tickAt = 0;  // the notice (1-based) at which the box is ticked
  session->dialogs.noLogPositions = [&](NoLogPositionsForm& form) {
    EXPECT_EQ(std::this_thread::get_id(), mainThread);
    EXPECT_FALSE(form.skipFurther);
    shown.push_back(form.text);
    form.skipFurther = static_cast<int>(shown.size()) == tickAt;
  };
  auto download = [&] {
    shown.clear();
    frontEnd.statuses.clear();
    session->track.saved = true;
    EXPECT_TRUE(rig.Run(40058));
    EXPECT_TRUE(ui.shown.empty()) << ui.Texts()[0];
    EXPECT_EQ(session->track.log.points.size(), 5u);
  };

  struct Case {
    int tickAt;
    std::vector<int> days;  // the notices shown, by the day of their track
  };
  // A tick silences the rest of its own download only: the next one shows its notices again,
  // until its own tick.
  for (const Case& c : {Case{1, {16}}, Case{2, {16, 17}}}) {
    SCOPED_TRACE(c.tickAt);
    tickAt = c.tickAt;
    download();
    std::vector<std::string> expected;
    for (int day : c.days) expected.push_back(NoPositions(day));
    EXPECT_EQ(shown, expected);
    for (const std::string& text : expected) {
      EXPECT_EQ(std::count(frontEnd.statuses.begin(), frontEnd.statuses.end(), text), 0) << text;
    }
  }

  // Without the dialog every notice is a status and the download goes on.
  session->dialogs.noLogPositions = nullptr;
  download();
  EXPECT_TRUE(shown.empty());
  for (int day : {16, 17, 19}) {
    EXPECT_EQ(std::count(frontEnd.statuses.begin(), frontEnd.statuses.end(), NoPositions(day)), 1) << day;
  }
}

}  // namespace
}  // namespace tarnvik::app
