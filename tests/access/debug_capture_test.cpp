#include "access/debug_capture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <chrono>
#include <iterator>

#include "tests/fakes/recording_ui.h"

namespace tarnvik::access {
namespace {

TEST(DebugCaptureTest, HexDumpLayout) {
  DebugCapture capture;
  uint8_t bytes[20];
  for (int i = 0; i < 20; ++i) bytes[i] = static_cast<uint8_t>(i * 13);
  capture.CaptureHexDump(bytes, 20);
  EXPECT_EQ(capture.Contents(),
            " 00 0D 1A 27 34 41 4E 5B 68 75 82 8F 9C A9 B6 C3\r\n"
            " D0 DD EA F7\r\n");
  capture.Clear();
  capture.CaptureHexDump(bytes, 16);  // a full line ends once
  EXPECT_EQ(capture.Length(), 16u * 3 + 2);
  capture.Clear();
  capture.CaptureText(std::string_view("API version = \0ignored", 22));
  capture.CaptureHexWord(0x0001A2Bu);
  EXPECT_EQ(capture.Contents(), "API version = 00001A2B");
}

TEST(DebugCaptureTest, LimitsDropTheExcessSilently) {
  DebugCapture capture;
  std::string filler(DebugCapture::kCapacity - 10, 'x');
  capture.CaptureText(filler);
  uint8_t bytes[16] = {0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB};
  // From 99990 the dump appends three groups (to 99999) and stops there, without a line end.
  capture.CaptureHexDump(bytes, 16);
  EXPECT_EQ(capture.Length(), 99999u);
  EXPECT_EQ(capture.Contents().substr(99990), " AB AB AB");
  capture.CaptureByte('y');
  capture.CaptureByte('z');  // dropped
  EXPECT_EQ(capture.Length(), DebugCapture::kCapacity);
  EXPECT_EQ(capture.Contents().back(), 'y');

  // A hex word needs room for all 8 digits below 99992.
  capture.Clear();
  capture.CaptureText(std::string(99992, 'x'));
  capture.CaptureHexWord(0xFFFFFFFF);
  EXPECT_EQ(capture.Length(), 99992u);
  capture.Clear();
  capture.CaptureText(std::string(99991, 'x'));
  capture.CaptureHexWord(0xFFFFFFFF);
  EXPECT_EQ(capture.Length(), 99999u);
}

TEST(DebugCaptureTest, ATapWritesToItsTargetUntilReleased) {
  DebugCapture process;
  DebugCapture tap(process);
  tap.CaptureText("ab");
  tap.CaptureByte(0);
  EXPECT_EQ(process.Contents(), std::string("ab\0", 3));
  EXPECT_EQ(tap.Length(), 3u);
  tap.ReleaseTap();
  tap.CaptureText("late");
  tap.Clear();
  EXPECT_EQ(process.Contents(), std::string("ab\0", 3));
}

TEST(DebugCaptureTest, SavingGoesThroughTheUi) {
  testing::RecordingUi ui;
  DebugCapture capture;
  core::FileRequest request;
  request.folder = "/remembered";
  EXPECT_EQ(SaveDebugCapture(ui, capture, request), -1);
  ui.ExpectOnly("Save debug buffer", "Buffer is empty");
  EXPECT_TRUE(ui.fileRequests.empty());

  const uint8_t raw[] = {0x10, 0x00, 0xFF, '\r', '\n'};
  capture.CaptureBytes(raw, sizeof raw);
  EXPECT_EQ(SaveDebugCapture(ui, capture, request), -1);  // cancelled: nothing said
  EXPECT_TRUE(ui.shown.empty());
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_EQ(ui.fileRequests[0].title, "Save debug buffer");
  ASSERT_EQ(ui.fileRequests[0].filters.size(), 1u);
  EXPECT_EQ(ui.fileRequests[0].filters[0].description, "Log files");
  EXPECT_EQ(ui.fileRequests[0].defaultExtension, "log");
  EXPECT_EQ(ui.fileRequests[0].folder, "/remembered");

  auto dir = std::filesystem::temp_directory_path() / ("tarnvik_capture_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / "debug.log").string();
  ui.files.push_back(path);
  EXPECT_EQ(SaveDebugCapture(ui, capture, request), 0);
  ui.ExpectOnly("Save debug buffer", "File written");
  std::ifstream in(path, std::ios::binary);
  std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(saved, std::string(reinterpret_cast<const char*>(raw), sizeof raw));

  ui.files.push_back((dir / "missing" / "debug.log").string());
  EXPECT_EQ(SaveDebugCapture(ui, capture, request), -1);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "File write error");
  EXPECT_FALSE(ui.shown[0].text.empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tarnvik::access
