// The Flytec/Brauniger routines through the real serial code, against the simulated instrument
// behind a pseudo-terminal, in real time. The line runs with XON/XOFF flow control here, so the
// kernel takes the unit's XOFF ... XON framing itself: the routines must work with and without
// those bytes reaching them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "access/serial_port.h"
#include "core/file_io.h"
#include "devices/flytec/flytec_transfers.h"
#include "sim/pty_device.h"
#include "tests/devices/flytec/flytec_test_support.h"

namespace tarnvik::devices::flytec {
namespace {

using testing::flytec::MakeIgc;
using testing::flytec::Walk;

std::string RealIgc(const char* name) {
  core::FileBytes file = core::ReadWholeFile(std::string(TARNVIK_TEST_DATA) + "/igc/" + name);
  return std::string(file.begin(), file.size);
}

struct PtyRig {
  explicit PtyRig(sim::flytec::FlytecDeviceConfig config = {}) : device(std::move(config)) {
    pty = sim::PtyDevice::Create(device, "", error);
  }
  // Starts serving and opens the host side as the engine would.
  std::unique_ptr<access::Transport> Open() {
    if (!started) pty->Start();
    started = true;
    std::string caption;
    return access::OpenSerialPort(pty->hostPath(), caption, error);
  }
  sim::flytec::FlytecDevice device;
  std::unique_ptr<sim::PtyDevice> pty;
  std::string error;
  bool started = false;
};

// Cancels itself once a status text arrives, as the abort button would.
class AbortingOperation final : public testing::RecordingOperation {
 public:
  std::string abortAt;
  std::atomic<bool> flag{false};
  bool IsCancelled() const override { return flag.load(); }
  void Status(const std::string& text) override {
    RecordingOperation::Status(text);
    if (text == abortAt) flag = true;
  }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return 0; }
};

TEST(FlytecOverPty, RealFlightArrivesByteForByteThroughTheFlowControlledLine) {
  sim::flytec::FlytecDeviceConfig config;
  config.sprinkle = 7;  // XON/XOFF also between checksum digits
  PtyRig rig(config);
  ASSERT_TRUE(rig.pty) << rig.error;
  {
    auto hold = rig.pty->Hold();  // the unit serves on its own thread
    rig.device.tracks = {MakeIgc(Walk(3)), RealIgc("xcs_marcourt.igc")};
  }
  auto port = rig.Open();
  ASSERT_TRUE(port) << rig.error;
  testing::RecordingOperation operation;
  operation.choices = {1};
  access::DebugCapture capture;
  access::AccessJob job(access::kAccessDownloadTrackLog, access::kProtocolFlytec, *port, core::SystemClock(),
                        operation, capture);
  ASSERT_EQ(FlytecReadTrack(job), kIgcTrackResult) << (operation.failures.empty() ? "" : operation.failures.back().text);
  auto hold = rig.pty->Hold();
  const std::string served = rig.device.ServedIgc(1);
  EXPECT_EQ(job.data.rawIgc, std::vector<uint8_t>(served.begin(), served.end()));
  EXPECT_EQ(job.data.points.size(), 221u);
  // The kernel took the unit's flow control bytes: none reached the capture.
  const std::string captured = capture.Contents();
  EXPECT_EQ(std::count(captured.begin(), captured.end(), '\x13'), 0);
  EXPECT_EQ(rig.device.requests().back(), "PBRTR,01");
}

TEST(FlytecOverPty, BusyUnitFailsTheWriteThenTheNextJobWorks) {
  sim::flytec::FlytecDeviceConfig config;
  config.busyAfterUpload = 1;  // XOFF after the first waypoint, never XON
  PtyRig rig(config);
  ASSERT_TRUE(rig.pty) << rig.error;
  rig.device.waypoints = {{46.5, 8.25, "LAUNCH", "LAUNCH", 1500}};
  {
    auto port = rig.Open();
    ASSERT_TRUE(port) << rig.error;
    testing::RecordingOperation operation;
    access::DebugCapture capture;
    access::AccessJob job(access::kAccessUploadWaypoints, access::kProtocolFlytec, *port, core::SystemClock(),
                          operation, capture);
    for (int i = 0; i < 3; ++i) {
      core::Waypoint w;
      std::string("POINT " + std::to_string(i)).copy(w.comment, 40);
      job.data.waypoints.push_back(w);
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FlytecSendWaypoints(job), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ASSERT_EQ(operation.failures.size(), 1u);
    EXPECT_EQ(operation.failures[0].caption, "Upload waypoints");
    EXPECT_EQ(operation.failures[0].text, "E400 COM port write error");
    EXPECT_EQ(operation.statuses.back(), "1 waypoints sent");
  }
  // The unit is ready again once it saw the host go (it looks every 50 ms); the line that its
  // XOFF stopped runs again on the next open.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto port = rig.Open();
  ASSERT_TRUE(port) << rig.error;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  access::AccessJob job(access::kAccessDownloadWaypoints, access::kProtocolFlytec, *port, core::SystemClock(),
                        operation, capture);
  ASSERT_EQ(FlytecReadWaypoints(job), 0) << (operation.failures.empty() ? "" : operation.failures.back().text);
  ASSERT_EQ(job.data.waypoints.size(), 1u);
  EXPECT_STREQ(job.data.waypoints[0].id, "LAUNCH");
}

TEST(FlytecOverPty, AbortMidReplyThenTheNextJobWorks) {
  PtyRig rig;
  ASSERT_TRUE(rig.pty) << rig.error;
  rig.device.tracks = {RealIgc("xcs_marcourt.igc")};
  {
    auto port = rig.Open();
    ASSERT_TRUE(port) << rig.error;
    AbortingOperation operation;
    operation.abortAt = "Receiving track log";
    access::DebugCapture capture;
    access::AccessJob job(access::kAccessDownloadTrackLog, access::kProtocolFlytec, *port, core::SystemClock(),
                          operation, capture);
    EXPECT_EQ(FlytecReadTrack(job), -1);
    EXPECT_TRUE(operation.failures.empty() || operation.failures.back().question);
    EXPECT_EQ(operation.statuses.back(), "Transfer aborted");
    EXPECT_TRUE(job.data.points.empty());
  }
  auto port = rig.Open();
  ASSERT_TRUE(port) << rig.error;
  AbortingOperation operation;
  access::DebugCapture capture;
  access::AccessJob job(access::kAccessDownloadTrackLog, access::kProtocolFlytec, *port, core::SystemClock(),
                        operation, capture);
  ASSERT_EQ(FlytecReadTrack(job), kIgcTrackResult) << (operation.failures.empty() ? "" : operation.failures.back().text);
  EXPECT_EQ(job.data.points.size(), 221u);
}

}  // namespace
}  // namespace tarnvik::devices::flytec
