#include "sim/memory_link.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "access/link.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::sim {
namespace {

// Answers "PING\n" with "PONG\n"; after "LATER\n" it says "TICK\n" once 1000 ms have passed.
class PingDevice : public Device {
 public:
  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override {
    for (size_t i = 0; i < count; ++i) {
      line_ += static_cast<char>(bytes[i]);
      if (bytes[i] != '\n') continue;
      if (line_ == "PING\n") Append(out, "PONG\n");
      if (line_ == "LATER\n") tickDue_ = -2;  // armed at the next tick
      line_.clear();
    }
  }
  void Tick(int64_t nowMs, std::vector<uint8_t>& out) override {
    if (tickDue_ == -2) tickDue_ = nowMs + 1000;
    if (tickDue_ >= 0 && nowMs >= tickDue_) {
      Append(out, "TICK\n");
      tickDue_ = -1;
    }
  }
  void LineChanged(int baud, bool xonXoff) override {
    lastBaud = baud;
    lastXonXoff = xonXoff;
  }
  int lastBaud = 0;
  bool lastXonXoff = false;

 private:
  static void Append(std::vector<uint8_t>& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }
  std::string line_;
  int64_t tickDue_ = -1;
};

// Reads one line through the host's Link.
int ReadLine(access::Link& link, std::string& line, int64_t limitMs) {
  line.clear();
  return link.ReadUnit(
      [&line](uint8_t b) {
        line += static_cast<char>(b);
        return b == '\n';
      },
      limitMs);
}

struct Host {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
};

TEST(PumpedLinkTest, RunsADeviceInTheHostsThreadWithInstantTimeouts) {
  Host host;
  PingDevice device;
  PumpedLink pumped(device, host.clock);
  access::Link link(pumped, host.clock, host.operation, host.capture, 4);
  ASSERT_EQ(link.SetSpeed(57600), 0);
  EXPECT_EQ(device.lastBaud, 57600);
  EXPECT_TRUE(device.lastXonXoff);

  std::string line;
  ASSERT_EQ(link.WriteText("PING\n"), 0);
  ASSERT_EQ(ReadLine(link, line, 5000), access::kReadComplete);
  EXPECT_EQ(line, "PONG\n");

  int64_t before = host.clock.NowMs();
  EXPECT_EQ(ReadLine(link, line, 5000), access::kReadTimeout);
  EXPECT_GE(host.clock.NowMs() - before, 5000);
  EXPECT_LT(host.clock.NowMs() - before, 5100);

  // Bytes the device sends on its own arrive when their time has come.
  ASSERT_EQ(link.WriteText("LATER\n"), 0);
  before = host.clock.NowMs();
  ASSERT_EQ(ReadLine(link, line, 5000), access::kReadComplete);
  EXPECT_EQ(line, "TICK\n");
  EXPECT_GE(host.clock.NowMs() - before, 1000);
  EXPECT_LT(host.clock.NowMs() - before, 1200);
  EXPECT_EQ(std::string(pumped.written().begin(), pumped.written().end()), "PING\nLATER\n");
  EXPECT_EQ(host.capture.Contents(), "PING\nPONG\nLATER\nTICK\n");
}

TEST(PumpedLinkTest, FaultsHitTheKthDeliveringRead) {
  struct Case {
    ReadFault fault;
    int result;      // of the second exchange
    const char* line;
  } cases[] = {
      {ReadFault::Fail, access::kReadPortError, ""},
      {ReadFault::Corrupt, access::kReadComplete, "\xAFONG\n"},
      {ReadFault::Silent, access::kReadTimeout, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    Host host;
    PingDevice device;
    PumpedLink pumped(device, host.clock);
    pumped.InjectReadFault(2, c.fault);
    access::Link link(pumped, host.clock, host.operation, host.capture, 0);
    std::string line;
    link.WriteText("PING\n");
    ASSERT_EQ(ReadLine(link, line, 5000), access::kReadComplete);
    link.WriteText("PING\n");
    EXPECT_EQ(ReadLine(link, line, 5000), c.result);
    if (c.result == access::kReadComplete) {
      EXPECT_EQ(line, c.line);
    }
    link.WriteText("PING\n");
    EXPECT_EQ(ReadLine(link, line, 5000), c.fault == ReadFault::Silent ? access::kReadTimeout : access::kReadComplete);
  }
}

TEST(MemoryPipeTest, ADeviceOnItsOwnThreadAnswersAndSilenceCostsNoTime) {
  Host host;
  PingDevice device;
  MemoryPipe pipe(&host.clock);
  std::jthread server([&](std::stop_token stop) { ServeDevice(pipe.device(), device, host.clock, stop); });
  access::Link link(pipe.host(), host.clock, host.operation, host.capture, 0);
  ASSERT_EQ(link.SetSpeed(9600), 0);
  EXPECT_EQ(pipe.baud(), 9600);
  EXPECT_FALSE(pipe.xonXoff());

  std::string line;
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(link.WriteText("PING\n"), 0);
    ASSERT_EQ(ReadLine(link, line, 5000), access::kReadComplete) << i;
    ASSERT_EQ(line, "PONG\n");
  }
  auto realStart = std::chrono::steady_clock::now();
  int64_t before = host.clock.NowMs();
  EXPECT_EQ(ReadLine(link, line, 5000), access::kReadTimeout);
  EXPECT_GE(host.clock.NowMs() - before, 5000);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(4));

  ASSERT_EQ(link.WriteText("LATER\n"), 0);
  before = host.clock.NowMs();
  ASSERT_EQ(ReadLine(link, line, 5000), access::kReadComplete);
  EXPECT_EQ(line, "TICK\n");
  EXPECT_GE(host.clock.NowMs() - before, 1000);
  EXPECT_LT(host.clock.NowMs() - before, 5000);

  pipe.InjectReadFault(1, ReadFault::Fail);
  link.WriteText("PING\n");
  EXPECT_EQ(ReadLine(link, line, 5000), access::kReadPortError);
  server.request_stop();
  server.join();
  EXPECT_EQ(link.WriteText("PING\n"), -1);  // the stop closed the pipe
}

}  // namespace
}  // namespace tarnvik::sim
