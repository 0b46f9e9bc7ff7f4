// The XC Trainer / Top Navigator routines through the real serial code, against the simulated
// instrument behind a pseudo-terminal, in real time: a real flight over the MXP link fix for fix,
// a TNC log with XON/XOFF sprinkled in, and waypoints both ways.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "access/serial_port.h"
#include "devices/xctrainer/xctrainer_transfers.h"
#include "sim/pty_device.h"
#include "tests/devices/xctrainer/xctrainer_test_support.h"

namespace tarnvik::devices::xctrainer {
namespace {

using testing::xctrainer::Config;
using testing::xctrainer::FlightStart;
using testing::xctrainer::SameFixes;
using testing::xctrainer::XcSend;

struct PtyRig {
  explicit PtyRig(sim::xctrainer::XcDeviceConfig config) : device(std::move(config)) {
    device.config().delayMs = 100;
    pty = sim::PtyDevice::Create(device, "", error);
  }
  // Opens the host side and sets the line as the engine does for the job.
  std::unique_ptr<access::Transport> Open() {
    if (!started) pty->Start();
    started = true;
    std::string caption;
    return access::OpenSerialPort(pty->hostPath(), caption, error);
  }
  sim::xctrainer::XcTrainerDevice device;
  std::unique_ptr<sim::PtyDevice> pty;
  std::string error;
  bool started = false;
};

struct HostJob {
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  std::unique_ptr<access::AccessJob> job;
  HostJob(access::Transport& port, int accessType, int protocol) {
    job = std::make_unique<access::AccessJob>(accessType, protocol, port, core::SystemClock(), operation, capture);
    job->link().SetSpeed(access::OpeningSpeed(protocol, accessType));
  }
  std::string LastFailure() const { return operation.failures.empty() ? "" : operation.failures.back().text; }
};

TEST(XcTrainerOverPty, RealFlightOverTheMxpLinkFixForFix) {
  PtyRig rig(Config(XcSend::Mxp));
  ASSERT_TRUE(rig.pty) << rig.error;
  std::string error;
  ASSERT_TRUE(sim::xctrainer::LoadIgcTrack(std::string(TARNVIK_TEST_DATA) + "/igc/xcs_marcourt.igc",
                                           rig.device.track, error))
      << error;
  auto port = rig.Open();
  ASSERT_TRUE(port) << rig.error;
  HostJob run(*port, access::kAccessDownloadTrackLog, access::kProtocolXcTrainerMxp);
  ASSERT_EQ(ReceiveMxpLog(*run.job), 0) << run.LastFailure();
  EXPECT_TRUE(SameFixes(run.job->data.points, rig.device.ServedFixes()));
  EXPECT_EQ(run.job->data.points.size(), rig.device.track.size());
  const std::string sent = rig.device.Transmission();
  EXPECT_EQ(run.job->data.rawDevice, std::vector<uint8_t>(sent.begin(), sent.end()));
}

TEST(XcTrainerOverPty, TncLogWithSprinkledFlowControl) {
  auto config = Config(XcSend::Tnc);
  config.sprinkle = 5;
  PtyRig rig(config);
  ASSERT_TRUE(rig.pty) << rig.error;
  rig.device.track = sim::xctrainer::WalkTrack(400, FlightStart());
  auto port = rig.Open();
  ASSERT_TRUE(port) << rig.error;
  HostJob run(*port, access::kAccessDownloadTrackLog, access::kProtocolXcTrainer);
  ASSERT_EQ(ReceiveTncLog(*run.job), 0) << run.LastFailure();
  EXPECT_TRUE(SameFixes(run.job->data.points, rig.device.ServedFixes()));
  EXPECT_EQ(run.job->extra, kUtcExtra);
  const std::string sent = rig.device.Transmission();
  EXPECT_EQ(run.job->data.rawDevice, std::vector<uint8_t>(sent.begin(), sent.end()));
}

TEST(XcTrainerOverPty, WaypointsBothWays) {
  PtyRig rig(Config(XcSend::Waypoints, false));
  ASSERT_TRUE(rig.pty) << rig.error;
  rig.device.waypoints = {{"LAUNCH", 46.5, 8.25, 1500}, {"GOAL__", 46.25, 8.5, 500}};
  {
    auto port = rig.Open();
    ASSERT_TRUE(port) << rig.error;
    HostJob run(*port, access::kAccessDownloadWaypoints, access::kProtocolTopNavigator);
    ASSERT_EQ(ReceiveTncWaypoints(*run.job), 0) << run.LastFailure();
    ASSERT_EQ(run.job->data.waypoints.size(), 2u);
    EXPECT_STREQ(run.job->data.waypoints[1].id, "GOAL");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  {
    auto hold = rig.pty->Hold();  // the instrument serves on its own thread
    EXPECT_EQ(rig.device.answered(), 3);
    EXPECT_EQ(rig.device.missingAnswers(), 0);
  }
  auto port = rig.Open();
  ASSERT_TRUE(port) << rig.error;
  HostJob run(*port, access::kAccessUploadWaypoints, access::kProtocolTopNavigator);
  core::Waypoint w;
  std::snprintf(w.id, sizeof w.id, "XC1");
  w.latitude = *core::LatitudeFromDegrees(47.5);
  w.longitude = *core::LongitudeFromDegrees(8.25);
  w.altitude = 0x1113;  // the XON and XOFF values travel as data on a line without flow control
  run.job->data.waypoints = {w, w};
  ASSERT_EQ(SendTncWaypoints(*run.job), 0) << run.LastFailure();
  auto uploaded = [&] {
    auto hold = rig.pty->Hold();
    return rig.device.uploads().size();
  };
  for (int i = 0; i < 40 && uploaded() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto hold = rig.pty->Hold();
  ASSERT_EQ(rig.device.uploads().size(), 2u);
  EXPECT_EQ(rig.device.uploads()[0].altitude, 0x1113);
  EXPECT_EQ(rig.device.badPackets(), 0);
}

}  // namespace
}  // namespace tarnvik::devices::xctrainer
