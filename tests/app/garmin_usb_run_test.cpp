// Garmin USB from the command line: the built program on a machine without a unit, and a whole
// command-line run in process against the simulated USB unit, whose files must equal those of a
// serial run against the same simulated unit.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "access/access_engine.h"
#include "app/command_line.h"
#include "app/command_line_headless.h"
#include "app/instrument_families.h"
#include "sim/garmin/garmin_device.h"
#include "sim/garmin/garmin_usb_unit.h"
#include "sim/memory_link.h"
#include "tests/fakes/pty_pair.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik {
namespace {

namespace fs = std::filesystem;

const std::string kBinary = TARNVIK_BINARY_DIR "/app/tarnvik";
const std::string kFlight = TARNVIK_TEST_DATA "/igc/xcs_marcourt.igc";

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class GarminUsbRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarnvik_usb_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    savedRoutines_ = access::DefaultAccessRoutines();
  }
  // The process-wide table and opener are left as the other tests of this program expect them.
  void TearDown() override {
    access::DefaultAccessRoutines() = savedRoutines_;
    access::RegisterUsbOpener({});
    fs::remove_all(dir_);
  }
  fs::path dir_;
  access::AccessRoutineTable savedRoutines_;
};

TEST_F(GarminUsbRun, BuiltProgramWithoutAUnit) {
  ASSERT_TRUE(fs::exists(kBinary)) << kBinary << " is not built";
  const std::string out = (dir_ / "out.kml").string();
  const std::string command = "cd '" + dir_.string() + "' && '" + kBinary + "' /USB /GPS=GARMIN /KML_LOG=out.kml /WIN=0 >'" +
                              (dir_ / ".out").string() + "' 2>'" + (dir_ / ".err").string() + "'";
  const int raw = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
  EXPECT_EQ(ReadText(dir_ / ".err"), "USB access: No active device found\n");
  EXPECT_FALSE(fs::exists(out));

  const std::string help = "'" + kBinary + "' --help >'" + (dir_ / ".help").string() + "'";
  ASSERT_EQ(std::system(help.c_str()), 0);
  const std::string text = ReadText(dir_ / ".help");
  const size_t missing = text.find("Not yet in this build");
  if (missing != std::string::npos) {
    EXPECT_EQ(text.find("/USB", missing), std::string::npos) << text;
  }
}

// A settings store with nothing in it.
class EmptySettings : public core::SettingsBackend {
 public:
  OpenResult OpenUserStore(std::string&, std::string&) override { return OpenResult::Existed; }
  std::optional<core::StoredValue> ReadUserValue(std::string_view) override { return std::nullopt; }
  bool OpenDefaultStore() override { return false; }
  std::optional<core::StoredValue> ReadDefaultValue(std::string_view) override { return std::nullopt; }
  void CloseDefaultStore() override {}
  void WriteValue(const core::SettingEntry&) override {}
  std::string Commit() override { return ""; }
};

// The file without the lines that carry the moment it was written: the IGC download line and the
// security record computed over it.
std::string WithoutWriteTime(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.rfind("LXTV Downloaded", 0) == 0 || line.rfind("G", 0) == 0) continue;
    out += line + "\n";
  }
  return out;
}

int RunLine(const std::string& line, testing::RecordingUi& ui) {
  app::ParsedCommandLine parsed = app::ParseCommandLine(line, ui);
  if (parsed.result != 0 || !parsed.options) return -1;
  return app::RunHeadlessTransfer(std::move(parsed.options), ui, std::make_unique<EmptySettings>());
}

TEST(InstrumentFamilies, RegistersTheGarminSerialAndUsbRoutines) {
  access::AccessRoutineTable table;
  app::RegisterInstrumentFamilies(table, {});
  for (int protocol : {access::kProtocolGarminSerial, access::kProtocolGarminUsb}) {
    for (int type : {access::kAccessDownloadWaypoints, access::kAccessDownloadTrackLog, access::kAccessUploadWaypoints,
                     access::kAccessUploadTrackLog}) {
      EXPECT_NE(table.Find(type, protocol), nullptr) << type << " " << protocol;
    }
    EXPECT_EQ(table.Find(access::kAccessUploadCtrs, protocol), nullptr) << protocol;
  }
  app::RegisterInstrumentFamilies(table, [](const core::CtrRecord&) { return std::vector<core::Waypoint>{}; });
  EXPECT_NE(table.Find(access::kAccessUploadCtrs, access::kProtocolGarminSerial), nullptr);
  EXPECT_NE(table.Find(access::kAccessUploadCtrs, access::kProtocolGarminUsb), nullptr);
  access::AccessRoutineTable withOutlines;
  app::RegisterInstrumentFamilies(withOutlines);  // the program's own: zones as outline tracks
  EXPECT_NE(withOutlines.Find(access::kAccessUploadCtrs, access::kProtocolGarminSerial), nullptr);
  access::RegisterUsbOpener({});
}

TEST_F(GarminUsbRun, FilesEqualThoseOfASerialRun) {
  app::RegisterInstrumentFamilies(access::DefaultAccessRoutines());
  std::string error;
  sim::garmin::GarminDevice usbDevice;
  ASSERT_GT(sim::garmin::LoadIgcIntoDevice(ReadText(kFlight), usbDevice, error), 0) << error;
  sim::garmin::GarminUsbUnit unit(usbDevice, core::SystemClock());
  access::RegisterUsbOpener([&unit](access::AccessJob&, core::Ui&) -> std::unique_ptr<access::OpenedDevice> {
    unit.Reopen();
    return sim::garmin::BorrowUsbUnit(unit);
  });

  sim::garmin::GarminDevice serialDevice;
  ASSERT_GT(sim::garmin::LoadIgcIntoDevice(ReadText(kFlight), serialDevice, error), 0) << error;
  testing::PtyPair pty;
  ASSERT_TRUE(pty.ok()) << pty.error();
  std::jthread server([&](std::stop_token stop) { sim::ServeDevice(pty.instrument(), serialDevice, core::SystemClock(), stop); });

  fs::create_directories(dir_ / "usb");
  fs::create_directories(dir_ / "serial");
  for (const char* action : {"/KML_LOG=%s/log.kml", "/IGC_LOG=%s/"}) {
    char usbAction[512], serialAction[512];
    std::snprintf(usbAction, sizeof usbAction, action, (dir_ / "usb").c_str());
    std::snprintf(serialAction, sizeof serialAction, action, (dir_ / "serial").c_str());
    testing::RecordingUi usbUi, serialUi;
    ASSERT_EQ(RunLine(std::string("/USB /GPS=GARMIN ") + usbAction, usbUi), 0)
        << ::testing::PrintToString(usbUi.Texts());
    ASSERT_EQ(RunLine("/PORT=" + pty.hostPath() + " /GPS=GARMIN " + serialAction, serialUi), 0)
        << ::testing::PrintToString(serialUi.Texts());
  }
  for (const char* name : {"log.kml", "2021-03-06-xtv-000-01.igc"}) {
    ASSERT_TRUE(fs::exists(dir_ / "usb" / name)) << name;
    const std::string usb = ReadText(dir_ / "usb" / name);
    EXPECT_GT(usb.size(), 1000u) << name;
    EXPECT_TRUE(WithoutWriteTime(usb) == WithoutWriteTime(ReadText(dir_ / "serial" / name))) << name;
  }
}

// A flight with a task declaration: the simulated unit holds its turnpoints as waypoints.
const std::string kTaskFlight = TARNVIK_TEST_DATA "/igc/igp_2016-11-08-xcs-aaa-02.igc";

std::string WaypointText(const std::vector<core::Waypoint>& list) {
  std::string text;
  for (const core::Waypoint& w : list) {
    text += std::string(w.id) + "|" + w.comment + "|" + std::to_string(w.latitude) + "|" +
            std::to_string(w.longitude) + "|" + std::to_string(w.altitude) + "\n";
  }
  return text;
}

TEST_F(GarminUsbRun, WaypointFilesEqualThoseOfASerialRun) {
  app::RegisterInstrumentFamilies(access::DefaultAccessRoutines());
  std::string error;
  sim::garmin::GarminDevice usbDevice;
  ASSERT_GT(sim::garmin::LoadIgcIntoDevice(ReadText(kTaskFlight), usbDevice, error), 0) << error;
  ASSERT_GE(usbDevice.waypoints.size(), 2u);
  sim::garmin::GarminUsbUnit unit(usbDevice, core::SystemClock());
  access::RegisterUsbOpener([&unit](access::AccessJob&, core::Ui&) -> std::unique_ptr<access::OpenedDevice> {
    unit.Reopen();
    return sim::garmin::BorrowUsbUnit(unit);
  });

  sim::garmin::GarminDevice serialDevice;
  ASSERT_GT(sim::garmin::LoadIgcIntoDevice(ReadText(kTaskFlight), serialDevice, error), 0) << error;
  testing::PtyPair pty;
  ASSERT_TRUE(pty.ok()) << pty.error();
  std::jthread server([&](std::stop_token stop) { sim::ServeDevice(pty.instrument(), serialDevice, core::SystemClock(), stop); });

  // RD_WPT: the unit's list as an OziExplorer waypoint file.
  const fs::path usbFile = dir_ / "usb.wpt", serialFile = dir_ / "serial.wpt";
  testing::RecordingUi usbRead, serialRead;
  ASSERT_EQ(RunLine("/USB /GPS=GARMIN /RD_WPT=" + usbFile.string(), usbRead), 0)
      << ::testing::PrintToString(usbRead.Texts());
  ASSERT_EQ(RunLine("/PORT=" + pty.hostPath() + " /GPS=GARMIN /RD_WPT=" + serialFile.string(), serialRead), 0)
      << ::testing::PrintToString(serialRead.Texts());
  const std::string usbText = ReadText(usbFile);
  EXPECT_EQ(usbText, ReadText(serialFile));
  for (const core::Waypoint& w : usbDevice.waypoints) {
    EXPECT_NE(usbText.find(w.id), std::string::npos) << w.id << "\n" << usbText;
  }

  // WR_WPT: the file just written goes back to each unit; both record the same waypoints.
  testing::RecordingUi usbWrite, serialWrite;
  ASSERT_EQ(RunLine("/USB /GPS=GARMIN /WR_WPT=" + usbFile.string(), usbWrite), 0)
      << ::testing::PrintToString(usbWrite.Texts());
  ASSERT_EQ(RunLine("/PORT=" + pty.hostPath() + " /GPS=GARMIN /WR_WPT=" + serialFile.string(), serialWrite), 0)
      << ::testing::PrintToString(serialWrite.Texts());
  server.request_stop();
  server.join();
  const std::vector<core::Waypoint>& sent = usbDevice.uploads().waypoints;
  ASSERT_EQ(sent.size(), usbDevice.waypoints.size());
  EXPECT_EQ(WaypointText(sent), WaypointText(serialDevice.uploads().waypoints));
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_STREQ(sent[i].id, usbDevice.waypoints[i].id) << i;
  }
}

}  // namespace
}  // namespace tarnvik
