// The serial transport over a pseudo-terminal: the real termios code against a software line.
#include "access/serial_port.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "access/access_engine.h"
#include "access/link.h"
#include "tests/fakes/deadline.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/pty_pair.h"
#include "tests/fakes/recording_ui.h"
#include "tests/fakes/unprivileged.h"

namespace tarnvik::access {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok()) << pty_.error();
    port_ = OpenSerialPort(pty_.hostPath(), caption_, text_);
    ASSERT_NE(port_, nullptr) << caption_ << ": " << text_;
    ASSERT_EQ(port_->SetSpeed(9600, false), 0) << port_->ErrorCaption() << ": " << port_->ErrorText();
  }

  // Reads from the host side until count bytes came or two seconds passed.
  std::vector<uint8_t> HostRead(size_t count) {
    std::vector<uint8_t> out;
    auto deadline = steady_clock::now() + milliseconds(2000);
    uint8_t buffer[100];
    while (out.size() < count && steady_clock::now() < deadline) {
      int n = port_->Read(buffer, sizeof buffer, 50);
      if (n < 0) break;
      out.insert(out.end(), buffer, buffer + n);
    }
    return out;
  }

  testing::PtyPair pty_;
  std::unique_ptr<Transport> port_;
  std::string caption_, text_;
};

TEST_F(SerialPortTest, EveryByteValuePassesBothWays) {
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(port_->Write(all.data(), all.size()), 0);
  EXPECT_EQ(pty_.ReadExactly(256), all);
  ASSERT_TRUE(pty_.Write(all));
  EXPECT_EQ(HostRead(256), all);
  EXPECT_FALSE(pty_.HostEcho());
}

TEST_F(SerialPortTest, SpeedAndFlowControlFollowTheProtocol) {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  DebugCapture capture;
  struct Case {
    int protocol;
    int baud;
  } cases[] = {{0, 9600}, {1, 4800}, {2, 9600}, {3, 4800}, {4, 57600}, {5, 4800},
               {6, 4800}, {7, 57600}, {9, 57600}, {10, 57600}, {11, 57600}, {4, 4800}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.protocol);
    Link link(*port_, clock, operation, capture, c.protocol);
    int64_t before = clock.NowMs();
    ASSERT_EQ(link.SetSpeed(c.baud), 0);
    EXPECT_EQ(clock.NowMs() - before, 200);  // the settle time
    EXPECT_EQ(pty_.HostBaud(), c.baud);
    bool xon = c.protocol == 4 || c.protocol == 11 || c.protocol == 7 || c.protocol == 10;
    EXPECT_EQ(pty_.HostXonXoff(), xon);
    EXPECT_EQ(UsesXonXoff(c.protocol), xon);
  }
  EXPECT_EQ(port_->SetSpeed(12345, false), -1);
  EXPECT_EQ(port_->ErrorCaption(), "Setting COM port state");
}

TEST_F(SerialPortTest, ReadsReturnWithinOneSlice) {
  uint8_t buffer[100];
  auto start = steady_clock::now();
  EXPECT_EQ(port_->Read(buffer, sizeof buffer, 5000), 0);  // nothing came: one 50 ms slice
  auto took = steady_clock::now() - start;
  EXPECT_GE(took, milliseconds(45));
  EXPECT_LT(took, milliseconds(500));

  // Bytes that arrive during a wait end it at once.
  std::jthread sender([this] {
    std::this_thread::sleep_for(milliseconds(10));
    pty_.Write({1, 2, 3});
  });
  start = steady_clock::now();
  int n = 0;
  while (n == 0 && steady_clock::now() - start < milliseconds(1000)) n = port_->Read(buffer, sizeof buffer, 50);
  EXPECT_EQ(n, 3);
}

TEST_F(SerialPortTest, AWriteStoppedByXoffTimesOutAsAFailure) {
  ASSERT_EQ(port_->SetSpeed(9600, true), 0);
  ASSERT_TRUE(pty_.Write({19}));  // XOFF from the instrument stops the host's output
  std::this_thread::sleep_for(milliseconds(20));
  std::vector<uint8_t> block(100, 'x');
  auto start = steady_clock::now();
  EXPECT_EQ(port_->Write(block.data(), block.size()), -1);
  auto took = steady_clock::now() - start;
  EXPECT_GE(took, milliseconds(190));  // 2 ms per byte at 9600
  EXPECT_LT(took, milliseconds(1000));
  ASSERT_TRUE(pty_.Write({17}));  // XON: the line flows again
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(port_->Write(block.data(), block.size()), 0);
  EXPECT_EQ(WriteTimeoutMs(9600, 100), 200);
  EXPECT_EQ(WriteTimeoutMs(4800, 100), 300);
  EXPECT_EQ(WriteTimeoutMs(57600, 1), 2);
}

TEST_F(SerialPortTest, CloseFromAnotherThreadEndsAWaitingReader) {
  std::atomic<int> result{0};
  std::jthread reader([&] {
    uint8_t buffer[10];
    int r = 0;
    // Bounded: a Close that did not end the read fails the test instead of hanging it.
    auto deadline = steady_clock::now() + testing::kThreadDeadline;
    while (r == 0 && steady_clock::now() < deadline) r = port_->Read(buffer, sizeof buffer, 50);
    result = r;
  });
  std::this_thread::sleep_for(milliseconds(30));
  port_->Close();
  reader.join();
  EXPECT_EQ(result, -1);
  uint8_t b = 0;
  EXPECT_EQ(port_->Write(&b, 1), -1);
}

TEST_F(SerialPortTest, TheInstrumentSideOutlivesTheHostReopening) {
  port_->Close();
  port_.reset();
  uint8_t buffer[10];
  auto start = steady_clock::now();
  EXPECT_EQ(pty_.instrument().Read(buffer, sizeof buffer, 60), 0);  // no host: waits, no spin, no error
  EXPECT_GE(steady_clock::now() - start, milliseconds(55));
  EXPECT_TRUE(pty_.Write({9, 9}));  // dropped: nobody listens
  port_ = OpenSerialPort(pty_.hostPath(), caption_, text_);
  ASSERT_NE(port_, nullptr);
  ASSERT_EQ(port_->SetSpeed(4800, false), 0);
  EXPECT_FALSE(pty_.HostEcho());
  ASSERT_TRUE(pty_.Write({7}));
  EXPECT_EQ(HostRead(1), std::vector<uint8_t>{7});
  uint8_t out = 42;
  ASSERT_EQ(port_->Write(&out, 1), 0);
  EXPECT_EQ(pty_.ReadExactly(1), std::vector<uint8_t>{42});
}

TEST(SerialPortNames, ComNamesMapToTheSystemsPorts) {
  EXPECT_EQ(SerialDevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(SerialDevicePath("COM3:"), "/dev/ttyS2");
  EXPECT_EQ(SerialDevicePath("com12"), "/dev/ttyS11");
  EXPECT_EQ(SerialDevicePath("COM0"), "COM0");
  EXPECT_EQ(SerialDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(SerialDevicePath("/dev/serial/by-id/usb-Garmin-if00"), "/dev/serial/by-id/usb-Garmin-if00");
}

TEST(SerialPortOpening, APermissionErrorNamesTheDialoutGroup) {
  // Root opens every port, so the text is checked on its own.
  EXPECT_EQ(DescribeOpenFailure(EACCES, "/dev/ttyUSB0"),
            "Permission denied (/dev/ttyUSB0: the user must be a member of the dialout group)");
  EXPECT_EQ(DescribeOpenFailure(ENOENT, "/dev/ttyS4"), "No such file or directory (/dev/ttyS4)");
}

TEST(SerialPortOpening, AMissingPortIsReportedWithTheSystemsText) {
  std::string caption, text;
  EXPECT_EQ(OpenSerialPort("/dev/tarnvik-no-such-port", caption, text), nullptr);
  EXPECT_EQ(caption, "Opening the COM port");
  EXPECT_NE(text.find("No such file or directory"), std::string::npos) << text;

  // Through the engine: the transfer does not start.
  testing::RecordingUi ui;
  testing::FakeClock clock;
  DebugCapture capture;
  AccessRoutineTable table;
  table.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, [](AccessJob&) { return 0; });
  AccessEnvironment env;
  env.ui = &ui;
  env.clock = &clock;
  env.capture = &capture;
  env.routines = &table;
  AccessEngine engine(env);
  AccessRequest request;
  request.accessType = kAccessDownloadTrackLog;
  request.protocol = kProtocolGarminSerial;
  request.portName = "/dev/tarnvik-no-such-port";
  EXPECT_EQ(engine.StartAccess(std::move(request)), -1);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Opening the COM port");
  EXPECT_NE(ui.shown[0].text.find("No such file or directory"), std::string::npos);
  EXPECT_FALSE(engine.IsBusy());
}

// A normal user (not root, who ignores the exclusive-use flag) opens the same line again after
// closing it, as a second download in a row does; while the port is open nobody else gets it.
TEST(SerialPortUnprivileged, ClosedPortOpensAgainAndAnOpenOneStaysExclusive) {
  testing::PtyPair pty;
  ASSERT_TRUE(pty.ok()) << pty.error();
  ASSERT_TRUE(testing::HandOverToUnprivileged(pty.hostPath()));
  enum : int { kOk = 0, kFirstOpen = 1, kShared = 2, kReopen = 3, kSpeed = 4 };
  std::string why;
  std::optional<int> outcome = testing::RunUnprivileged(
      [&]() -> int {
        std::string caption, text;
        for (int round = 0; round < 2; ++round) {
          std::unique_ptr<Transport> port = OpenSerialPort(pty.hostPath(), caption, text);
          if (!port) return round == 0 ? kFirstOpen : kReopen;
          if (port->SetSpeed(9600, false) != 0) return kSpeed;
          if (OpenSerialPort(pty.hostPath(), caption, text)) return kShared;
          port->Close();
        }
        return kOk;
      },
      why);
  if (!outcome) GTEST_SKIP() << why;
  EXPECT_NE(*outcome, kFirstOpen) << "the unprivileged user cannot open the line at all";
  EXPECT_NE(*outcome, kShared) << "a second opener got the port while it was open";
  EXPECT_NE(*outcome, kReopen) << "the port did not open again after it was closed";
  EXPECT_EQ(*outcome, kOk);
}

}  // namespace
}  // namespace tarnvik::access
