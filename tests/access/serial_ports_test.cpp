#include "access/serial_ports.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "tests/fakes/recording_ui.h"

namespace tarnvik::access {
namespace {

namespace fs = std::filesystem;

class SerialPortsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("tarnvik_ports_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(root_ / "sys" / "class" / "tty");
    fs::create_directories(root_ / "dev");
  }
  void TearDown() override { fs::remove_all(root_); }

  void AddTty(const std::string& name, bool device, int type = -1) {
    fs::path dir = root_ / "sys" / "class" / "tty" / name;
    fs::create_directories(dir);
    if (device) fs::create_directories(dir / "device");
    if (type >= 0) std::ofstream(dir / "type") << type << "\n";
  }
  std::string Dev(const std::string& name) { return (root_ / "dev" / name).string(); }
  std::vector<std::string> List() { return ListSerialPorts((root_ / "sys").string(), (root_ / "dev").string()); }

  fs::path root_;
};

TEST_F(SerialPortsTest, ListsPortsWithADeviceAdaptersFirst) {
  AddTty("tty0", false);
  AddTty("ttyS10", true, 4);
  AddTty("ttyS2", true, 4);
  AddTty("ttyS3", true, 0);  // no UART
  AddTty("ttyUSB0", true);
  AddTty("ttyACM0", true);
  fs::create_directories(root_ / "dev" / "serial" / "by-id");
  std::ofstream(root_ / "dev" / "serial" / "by-id" / "usb-FTDI_FT232R-if00-port0");
  EXPECT_EQ(List(), (std::vector<std::string>{Dev("serial/by-id/usb-FTDI_FT232R-if00-port0"), Dev("ttyACM0"),
                                              Dev("ttyUSB0"), Dev("ttyS2"), Dev("ttyS10")}));
}

TEST_F(SerialPortsTest, ListsAtMostTwenty) {
  for (int i = 0; i < 32; ++i) AddTty("ttyS" + std::to_string(i), true, 4);
  auto ports = List();
  ASSERT_EQ(ports.size(), 20u);
  EXPECT_EQ(ports.front(), Dev("ttyS0"));
  EXPECT_EQ(ports.back(), Dev("ttyS19"));
}

TEST(ComPortChoiceTest, PreselectsTheSessionPort) {
  testing::RecordingUi ui;
  ComPortChoice choice;
  std::vector<std::string> ports = {"/dev/ttyUSB0", "/dev/ttyS0", "/dev/ttyS1"};
  ASSERT_EQ(PrepareComPortChoice(ui, ports, "COM2", choice), 0);
  EXPECT_EQ(choice.selected, 2);
  ASSERT_EQ(PrepareComPortChoice(ui, ports, "/dev/ttyUSB0", choice), 0);
  EXPECT_EQ(choice.selected, 0);
  ASSERT_EQ(PrepareComPortChoice(ui, ports, "/dev/pts/7", choice), 0);
  EXPECT_EQ(choice.selected, 0);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(PrepareComPortChoice(ui, {}, "COM1", choice), -1);
  ui.ExpectOnly("Select COM port", "No COM ports available");
  EXPECT_EQ(choice.selected, -1);
}

}  // namespace
}  // namespace tarnvik::access
