// The choices of the USB backend, and the libusb backend on a machine without a Garmin unit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "devices/garmin/garmin_usb_open.h"
#include "tests/devices/garmin/garmin_test_support.h"
#include "tests/fakes/scripted_transport.h"

namespace tarnvik::devices::garmin {
namespace {

TEST(GarminUsbOpen, CandidatesAreTheGarminUnitsInBusOrder) {
  const std::vector<UsbDeviceEntry> attached = {
      {2, 7, 0x091e, 0x0003}, {1, 9, 0x091e, 0x0003}, {1, 3, 0x091e, 0x2459},  // a mass-storage Garmin
      {1, 2, 0x1d6b, 0x0003}, {1, 4, 0x091e, 0x0003}, {0, 1, 0x0403, 0x6001}};
  const std::vector<UsbDeviceEntry> want = {{1, 4, 0x091e, 0x0003}, {1, 9, 0x091e, 0x0003}, {2, 7, 0x091e, 0x0003}};
  EXPECT_EQ(GarminUsbCandidates(attached), want);
  EXPECT_TRUE(GarminUsbCandidates({}).empty());
  EXPECT_EQ(UsbDeviceName({1, 4, 0, 0}), "bus 001 device 004");
  EXPECT_EQ(UsbDeviceName({12, 127, 0, 0}), "bus 012 device 127");
}

TEST(GarminUsbOpen, MessageForEachOpeningFailure) {
  const std::string permission =
      "No permission to use the Garmin USB device: install packaging/51-garmin-usb.rules as the README says, then "
      "plug the unit in again";
  const std::string busy = "The Garmin USB device is in use by another program";
  struct Case {
    std::vector<UsbFailure> failures;
    std::string text;
  } cases[] = {
      {{}, "No active device found"},
      {{UsbFailure::NoDevice}, "No active device found"},
      {{UsbFailure::Io, UsbFailure::NotFound}, "No active device found"},
      {{UsbFailure::Access}, permission},
      {{UsbFailure::Busy}, busy},
      {{UsbFailure::Busy, UsbFailure::Access}, permission},
      {{UsbFailure::NoDevice, UsbFailure::Busy}, busy},
  };
  for (const auto& c : cases) EXPECT_EQ(UsbOpenFailureText(c.failures), c.text);
}

TEST(GarminUsbOpen, CaptureStageOfEachTransferFailure) {
  struct Case {
    UsbFailure failure;
    int stage;
  } cases[] = {{UsbFailure::Timeout, 3}, {UsbFailure::Overflow, 4}, {UsbFailure::Pipe, 2}, {UsbFailure::NoDevice, 2},
               {UsbFailure::Io, 2},      {UsbFailure::Other, 2}};
  for (const auto& c : cases) EXPECT_EQ(UsbTransferStage(c.failure), c.stage) << static_cast<int>(c.failure);
  EXPECT_EQ(UsbApiVersionWord(1, 0, 26), 0x0100001Au);
}

// No unit is attached to the build machines (and their kernels have no USB at all): the
// backend must say so, once, and open nothing.
TEST(GarminUsbLibusb, NoUnitAttachedGivesNoActiveDeviceFound) {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  testing::RecordingUi ui;
  access::DebugCapture capture;
  testing::ScriptedTransport noPort;
  access::AccessJob job(access::kAccessDownloadTrackLog, access::kProtocolGarminUsb, noPort, clock, operation, capture);
  auto device = GarminUsbOpener()(job, ui);
  EXPECT_EQ(device, nullptr);
  ui.ExpectOnly("USB access", "No active device found");
  EXPECT_EQ(capture.Contents().find("USB device name:"), std::string::npos);
}

// The same as an unprivileged user (CI runs as root).
TEST(GarminUsbLibusb, NoUnitAttachedAsAnUnprivilegedUser) {
  if (std::getenv("TARNVIK_UNPRIVILEGED_CHILD") != nullptr) GTEST_SKIP() << "already the unprivileged run";
  if (std::system("[ \"$(id -u)\" = 0 ] && command -v setpriv >/dev/null") != 0) {
    GTEST_SKIP() << "cannot drop privileges here (not root, or no setpriv)";
  }
  std::string self;
  {
    std::ifstream cmdline("/proc/self/cmdline");
    std::getline(cmdline, self, '\0');
  }
  const std::string out = ::testing::TempDir() + "usb_unprivileged.txt";
  const std::string command = "TARNVIK_UNPRIVILEGED_CHILD=1 setpriv --reuid=65534 --regid=65534 --clear-groups '" + self +
                              "' --gtest_filter=GarminUsbLibusb.NoUnitAttachedGivesNoActiveDeviceFound > '" + out +
                              "' 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream result(out);
  std::stringstream text;
  text << result.rdbuf();
  EXPECT_EQ(status, 0) << text.str();
  EXPECT_NE(text.str().find("[  PASSED  ] 1 test"), std::string::npos) << text.str();
}

}  // namespace
}  // namespace tarnvik::devices::garmin
