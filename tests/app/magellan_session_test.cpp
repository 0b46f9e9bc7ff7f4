// The Magellan waypoint commands on a session with the real access engine, over a
// pseudo-terminal through the real serial code: "Read from M&agellan (9600)" (40066) fills the
// waypoint list, "M&agellan (9600)" (40008) sends the selection back.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "devices/magellan/magellan_transfers.h"
#include "sim/magellan/magellan_device.h"
#include "tests/app/pty_session.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

TEST(MagellanSession, WaypointsReadAndSentByCommand) {
  testing::RecordingUi ui;
  sim::magellan::MagellanDevice device;
  device.waypoints = sim::magellan::SampleWaypoints();
  testing::PtySession rig(device, devices::magellan::RegisterMagellanRoutines, ui);
  ASSERT_TRUE(rig.pty) << rig.error;
  Session* session = rig.session.get();

  ASSERT_TRUE(rig.Run(40066));
  EXPECT_TRUE(ui.shown.empty()) << ui.Texts()[0];
  ASSERT_EQ(session->waypoints.waypoints.size(), 4u);
  EXPECT_STREQ(session->waypoints.waypoints[0].id, "GERLIT");
  EXPECT_EQ(session->viewMode, ViewMode::Waypoints);

  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  session->SetSelection({1, 3});
  ASSERT_TRUE(rig.Run(40008));
  auto ended = [&] {
    auto hold = rig.Hold();
    return device.uploadEnded();
  };
  for (int i = 0; i < 40 && !ended(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(ui.shown.empty()) << ui.Texts()[0];
  auto hold = rig.Hold();
  EXPECT_TRUE(device.uploadEnded());
  ASSERT_EQ(device.uploads().size(), 2u);
  EXPECT_NE(device.uploads()[0].find(",LANDE-,LANDING"), std::string::npos) << device.uploads()[0];
  EXPECT_NE(device.uploads()[1].find(",W-TURN,TURNPOINT 3"), std::string::npos) << device.uploads()[1];
}

}  // namespace
}  // namespace tarnvik::app
