// The Garmin routines through the real serial code, against the simulated receiver behind a
// pseudo-terminal, in real time.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "access/access_engine.h"
#include "access/serial_port.h"
#include "devices/garmin/garmin_records.h"
#include "devices/garmin/garmin_transfers.h"
#include "sim/pty_device.h"
#include "tests/devices/garmin/garmin_test_support.h"
#include "tests/fakes/unprivileged.h"

namespace tarnvik::devices::garmin {
namespace {

using testing::garmin::MakeWaypoint;
using testing::garmin::SampleTrack;

struct PtyRig {
  PtyRig() { pty = sim::PtyDevice::Create(device, "", error); }
  // Starts serving (what the unit holds is set by then) and opens the host side as a COM port
  // at the protocol's speed.
  std::unique_ptr<access::Transport> Open() {
    pty->Start();
    std::string caption;
    auto port = access::OpenSerialPort(pty->hostPath(), caption, error);
    if (port && port->SetSpeed(9600, false) != 0) return nullptr;
    return port;
  }
  sim::garmin::GarminDevice device;
  std::unique_ptr<sim::PtyDevice> pty;
  std::string error;
};

TEST(GarminOverPty, TenThousandPointTrackLog) {
  PtyRig rig;
  ASSERT_TRUE(rig.pty) << rig.error;
  rig.device.track = SampleTrack(10000);
  auto port = rig.Open();
  ASSERT_TRUE(port) << rig.error;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  access::AccessJob job(access::kAccessDownloadTrackLog, 0, *port, core::SystemClock(), operation, capture);
  ASSERT_EQ(GarminDownloadTrack(job), 0) << (operation.failures.empty() ? "" : operation.failures[0].text);
  ASSERT_EQ(job.data.points.size(), 10000u);
  for (size_t i = 0; i < 10000; ++i) {
    const auto& expected = rig.device.track[i + 1];
    ASSERT_EQ(job.data.points[i].latitude, expected.point.latitude) << i;
    ASSERT_EQ(job.data.points[i].longitude, expected.point.longitude) << i;
    ASSERT_EQ(job.data.points[i].time, expected.point.time) << i;
    ASSERT_EQ(job.data.points[i].height, TrackHeightFromGarminAltitude(expected.altitudeM)) << i;
  }
  EXPECT_EQ(operation.statuses.back().rfind("10000 track positions read (", 0), 0u) << operation.statuses.back();
}

TEST(GarminOverPty, WaypointsUpAndDownAndTheCapturedBytes) {
  PtyRig rig;
  ASSERT_TRUE(rig.pty) << rig.error;
  auto port = rig.Open();
  ASSERT_TRUE(port) << rig.error;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  {
    access::AccessJob job(access::kAccessUploadWaypoints, 0, *port, core::SystemClock(), operation, capture);
    job.data.waypoints = {MakeWaypoint("LAUNCH", "south face", 554766609, 86495869, 1234),
                          MakeWaypoint("LZ", "", -402653184, -836623838, 500)};
    ASSERT_EQ(GarminUploadWaypoints(job), 0);
  }
  {
    // What went up comes down again: the simulated unit serves what it holds.
    access::AccessJob job(access::kAccessDownloadWaypoints, 0, *port, core::SystemClock(), operation, capture);
    rig.pty->Stop();
    rig.device.waypoints = rig.device.uploads().waypoints;
    rig.pty->Start();
    ASSERT_EQ(GarminDownloadWaypoints(job), 0);
    ASSERT_EQ(job.data.waypoints.size(), 2u);
    EXPECT_STREQ(job.data.waypoints[0].id, "LAUNCH");
    EXPECT_STREQ(job.data.waypoints[0].comment, "SOUTH FACE");
    EXPECT_EQ(job.data.waypoints[0].altitude, 1234);
    EXPECT_EQ(job.data.waypoints[1].latitude, -402653184);
    EXPECT_EQ(job.data.waypoints[1].altitude, 500);
  }
  EXPECT_TRUE(operation.failures.empty());
  // Both directions went into the capture, starting with our product request.
  const std::string captured = capture.Contents();
  ASSERT_GE(captured.size(), 6u);
  EXPECT_EQ(static_cast<uint8_t>(captured[0]), kDle);
  EXPECT_EQ(static_cast<uint8_t>(captured[1]), kPidProductRequest);
}

// The pseudo-terminal runs above and gpsbabel's, once more as an unprivileged user: root passes
// permission and exclusive-use checks that a pilot's account does not.
TEST(GarminOverPty, RunsAsAnUnprivilegedUser) {
  const std::string filter = "GarminOverPty.*:GpsbabelInterop.*";
  std::string why;
  const std::optional<int> status = testing::RerunUnprivileged(filter, {}, why);
  if (!status) GTEST_SKIP() << why;
  EXPECT_EQ(*status, 0) << "failed as uid 65534: " << filter;
}

}  // namespace
}  // namespace tarnvik::devices::garmin
