// The XC Trainer and Top Navigator commands on a session with the real access engine, over a
// pseudo-terminal through the real serial code: waypoints read and sent by command, a TNC log
// taken over in UTC, saved as the instrument's raw log and opened again.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/commands.h"
#include "app/file_commands.h"
#include "app/session.h"
#include "devices/xctrainer/xctrainer_transfers.h"
#include "sim/xctrainer/xctrainer_device.h"
#include "tests/app/pty_session.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

namespace fs = std::filesystem;
using sim::xctrainer::XcSend;

// Takes the file type a test names, as the pilot picks it in the dialog.
class TypedUi : public testing::RecordingUi {
 public:
  int filterIndex = 1;
  std::optional<std::string> ChooseOpenFile(core::FileRequest& request) override {
    request.filterIndex = filterIndex;
    return RecordingUi::ChooseOpenFile(request);
  }
  std::optional<std::string> ChooseSaveFile(core::FileRequest& request) override {
    request.filterIndex = filterIndex;
    return RecordingUi::ChooseSaveFile(request);
  }
};

class XcTrainerSession : public ::testing::Test {
 protected:
  XcTrainerSession() {
    dir = fs::temp_directory_path() / ("txs_" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  ~XcTrainerSession() override { fs::remove_all(dir); }
  // The instrument answers after 100 ms, as a real one takes its time.
  static sim::Device& Slowed(sim::xctrainer::XcTrainerDevice& device) {
    device.config().delayMs = 100;
    return device;
  }

  TypedUi ui;
  sim::xctrainer::XcTrainerDevice device;
  testing::PtySession over{Slowed(device), devices::xctrainer::RegisterXcTrainerRoutines, ui};
  Session* session = over.session.get();
  fs::path dir;
};

TEST_F(XcTrainerSession, WaypointCommandsReadTheListAndSendTheSelection) {
  ASSERT_TRUE(over.pty) << over.error;
  {
    auto hold = over.Hold();
    device.config().send = XcSend::Waypoints;
    device.waypoints = {{"LAUNCH", 46.5, 8.25, 1500}, {"GOAL__", 46.25, 8.5, 500}};
  }
  for (int command : {40076, 40053}) {
    {
      auto hold = over.Hold();
      device.config().xcTrainer = command == 40076;
    }
    session->waypoints = {};
    ASSERT_TRUE(over.Run(command));
    EXPECT_TRUE(ui.shown.empty()) << ui.Texts()[0];
    ASSERT_EQ(session->waypoints.waypoints.size(), 2u) << command;
    EXPECT_STREQ(session->waypoints.waypoints[1].id, "GOAL");
    EXPECT_EQ(session->viewMode, ViewMode::Waypoints);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the instrument sees the host go
  }
  session->SetSelection({1});
  for (int command : {40013, 40009}) {
    ASSERT_TRUE(over.Run(command));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  EXPECT_TRUE(ui.shown.empty()) << ui.Texts()[0];
  auto hold = over.Hold();
  ASSERT_EQ(device.uploads().size(), 2u);
  for (const auto& w : device.uploads()) {
    EXPECT_EQ(w.id, "GOAL");
    EXPECT_NEAR(w.latitude, 46.25, 1e-9);
    EXPECT_EQ(w.altitude, 500);
  }
}

TEST_F(XcTrainerSession, TncLogIsUtcSavedAsRawLogAndOpenedAgain) {
  ASSERT_TRUE(over.pty) << over.error;
  {
    auto hold = over.Hold();
    device.config().send = XcSend::Tnc;
    device.config().sprinkle = 9;
    device.track = sim::xctrainer::WalkTrack(100, *core::CalendarToTime({2024, 7, 0, 15, 10, 0, 0, 0}));
  }
  DispatchCommand(*session, 40071);  // "Read &XC Trainer (57600)"
  ASSERT_TRUE(over.WaitIdle());
  EXPECT_TRUE(ui.shown.empty()) << ui.Texts()[0];
  ASSERT_TRUE(session->track.present);
  ASSERT_EQ(session->track.log.points.size(), 100u);
  EXPECT_EQ(session->track.log.origin, 3);
  EXPECT_EQ(session->track.log.sourceFlag, 1);  // UTC
  std::string sent;
  {
    auto hold = over.Hold();
    sent = device.Transmission();
  }
  EXPECT_EQ(session->track.rawDevice, std::vector<uint8_t>(sent.begin(), sent.end()));
  const std::vector<core::TrackPoint> downloaded = session->track.log.points;

  const fs::path file = dir / "flight.tnc";
  ui.filterIndex = 3;  // TopNavigator
  ui.files = {file.string()};
  ASSERT_EQ(SaveLogAsCommand(*session), 0);
  std::ifstream in(file, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(), sent);
  ui.ExpectOnly("Save track log", "File written");

  session->track.saved = true;
  ui.filterIndex = 4;
  ui.files = {file.string()};
  ASSERT_EQ(OpenLogCommand(*session), 0);
  EXPECT_TRUE(ui.shown.empty()) << ui.Texts()[0];
  ASSERT_EQ(session->track.log.points.size(), downloaded.size());
  for (size_t i = 0; i < downloaded.size(); ++i) {
    EXPECT_EQ(session->track.log.points[i].time, downloaded[i].time);
    EXPECT_EQ(session->track.log.points[i].latitude, downloaded[i].latitude);
    EXPECT_EQ(session->track.log.points[i].longitude, downloaded[i].longitude);
    EXPECT_EQ(session->track.log.points[i].height, downloaded[i].height);
  }
  EXPECT_EQ(session->track.log.sourceFlag, 1);
}

}  // namespace
}  // namespace tarnvik::app
