#include "sim/pty_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "access/serial_port.h"
#include "sim/echo_device.h"

namespace tarnvik::sim {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

fs::path TempPath(const std::string& name) {
  return fs::temp_directory_path() /
         (name + std::to_string(steady_clock::now().time_since_epoch().count()));
}

std::vector<uint8_t> HostRead(access::Transport& port, size_t count) {
  std::vector<uint8_t> out;
  auto deadline = steady_clock::now() + milliseconds(3000);
  uint8_t buffer[100];
  while (out.size() < count && steady_clock::now() < deadline) {
    int n = port.Read(buffer, sizeof buffer, 50);
    if (n < 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

std::unique_ptr<access::Transport> OpenHost(const std::string& path, int baud, bool xonXoff) {
  std::string caption, text;
  auto port = access::OpenSerialPort(path, caption, text);
  EXPECT_NE(port, nullptr) << caption << ": " << text;
  if (port) {
    EXPECT_EQ(port->SetSpeed(baud, xonXoff), 0);
  }
  return port;
}

TEST(PtyDeviceTest, ServesThroughTheLinkAcrossAHostReopen) {
  EchoDevice echo;
  fs::path link = TempPath("tarnvik_pty_");
  std::string error;
  auto pty = PtyDevice::Create(echo, link.string(), error);
  ASSERT_NE(pty, nullptr) << error;
  EXPECT_EQ(fs::read_symlink(link).string(), pty->ptsPath());
  pty->Start();

  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  {
    auto host = OpenHost(link.string(), 4800, false);
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(host->Write(all.data(), all.size()), 0);
    EXPECT_EQ(HostRead(*host, 256), all);
  }
  std::this_thread::sleep_for(milliseconds(150));  // the device notices the host went away
  {
    auto host = OpenHost(link.string(), 57600, false);
    ASSERT_NE(host, nullptr);
    const uint8_t text[] = "again";
    ASSERT_EQ(host->Write(text, 5), 0);
    EXPECT_EQ(HostRead(*host, 5), std::vector<uint8_t>(text, text + 5));
  }
  std::this_thread::sleep_for(milliseconds(150));
  pty->Stop();
  EXPECT_EQ(echo.received, 261u);
  EXPECT_GE(echo.hostCloses, 2);
  EXPECT_EQ(echo.lastBaud, 57600);
  pty.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(PtyDeviceTest, RefusesToReplaceAFile) {
  EchoDevice echo;
  fs::path file = TempPath("tarnvik_file_");
  std::ofstream(file) << "x";
  std::string error;
  EXPECT_EQ(PtyDevice::Create(echo, file.string(), error), nullptr);
  EXPECT_NE(error.find("not a link"), std::string::npos) << error;
  fs::remove(file);
}

TEST(SimToolTest, ServesAFamilyUntilTerminated) {
  const std::string tool = std::string(TARNVIK_BINARY_DIR) + "/sim/tarnvik-sim";
  ASSERT_TRUE(fs::exists(tool));
  EXPECT_NE(std::system((tool + " nosuchfamily --link /tmp/x >/dev/null 2>&1").c_str()), 0);

  fs::path link = TempPath("tarnvik_tool_");
  fs::path pidFile = TempPath("tarnvik_tool_pid_");
  std::string start = tool + " echo --link " + link.string() + " >/dev/null 2>&1 & echo $! > " + pidFile.string();
  ASSERT_EQ(std::system(start.c_str()), 0);
  std::string pid;
  std::ifstream(pidFile) >> pid;
  ASSERT_FALSE(pid.empty());
  auto deadline = steady_clock::now() + milliseconds(5000);
  while (!fs::exists(link) && steady_clock::now() < deadline) std::this_thread::sleep_for(milliseconds(10));
  ASSERT_TRUE(fs::exists(link));
  {
    auto host = OpenHost(link.string(), 9600, false);
    ASSERT_NE(host, nullptr);
    const uint8_t text[] = "ping";
    ASSERT_EQ(host->Write(text, 4), 0);
    EXPECT_EQ(HostRead(*host, 4), std::vector<uint8_t>(text, text + 4));
  }
  ASSERT_EQ(std::system(("kill -TERM " + pid).c_str()), 0);
  deadline = steady_clock::now() + milliseconds(5000);
  while (fs::exists(fs::symlink_status(link)) && steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));  // it stopped and took its link away
  fs::remove(pidFile);
}

}  // namespace
}  // namespace tarnvik::sim
