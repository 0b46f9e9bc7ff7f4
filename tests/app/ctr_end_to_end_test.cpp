// Airspace end to end: a real OpenAir file read into the session, sent through the real access
// engine and serial code to the simulated instruments behind pseudo-terminals (real time), and
// read back: the Flytec/Brauniger memory gets the sentences of the vendor's layout and gives the
// zones back; the Garmin records one track per zone, equal to the zone's outline points.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "access/serial_port.h"
#include "airspace/openair.h"
#include "app/commands.h"
#include "app/ctr_commands.h"
#include "app/session.h"
#include "app/transfer.h"
#include "devices/flytec/flytec_ctr.h"
#include "devices/flytec/flytec_transfers.h"
#include "devices/garmin/garmin_transfers.h"
#include "sim/flytec/flytec_device.h"
#include "sim/garmin/garmin_device.h"
#include "sim/pty_device.h"
#include "tests/fakes/recording_ui.h"
#include "tests/fakes/unprivileged.h"

namespace tarnvik::app {
namespace {

constexpr int kSendCompeo = 40098;
constexpr int kSendGarmin = 40106;
constexpr int kReadCompeo = 40109;
constexpr int kReadFile = 40100;

template <class Condition>
bool DrainUntil(Session& session, Condition done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    session.queue().Drain();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  session.queue().Drain();
  return done();
}

// A session over the real engine whose serial port is the device's pseudo-terminal.
struct PtySession {
  explicit PtySession(sim::Device& device) : device(device) {
    if (!Reopen()) return;
    devices::flytec::RegisterFlytecRoutines(routines);
    devices::flytec::RegisterFlytecCtrRoutines(routines);
    devices::garmin::RegisterGarminSerialRoutines(routines, airspace::CtrOutlinePoints);
    access::AccessEnvironment env;
    env.ui = &ui;
    env.routines = &routines;
    env.openSerial = [path = path](const std::string&, std::string& caption, std::string& text) {
      return access::OpenSerialPort(*path, caption, text);
    };
    gate = MakeEngineGate(env);
    session = std::make_unique<Session>(ui, core::SystemClock(), *gate, "/home/pilot");
    session->Initialise(nullptr);
  }
  ~PtySession() {
    if (session) session->Close();
  }
  // A fresh pseudo-terminal for the same device. (The port is opened for exclusive use; a
  // pseudo-terminal whose other side stays open keeps that mark after the host closed it, where
  // a real port forgets it at its last close, so only root could open it a second time.)
  bool Reopen() {
    pty.reset();
    pty = sim::PtyDevice::Create(device, "", error);
    if (!pty) return false;
    pty->Start();
    *path = pty->hostPath();
    return true;
  }
  void ReadFile(const std::string& path) {
    ui.files.push_back(path);
    ASSERT_EQ(DispatchCommand(*session, kReadFile), CommandOutcome::Done);
    std::vector<size_t> all(session->ctrs.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
    session->SetSelection(all);
  }
  void Run(int command) {
    ASSERT_EQ(DispatchCommand(*session, command), CommandOutcome::Done);
    ASSERT_TRUE(session->busy) << ::testing::PrintToString(ui.Texts());
    ASSERT_TRUE(DrainUntil(*session, [&] { return !session->busy; }, 120));
  }

  sim::Device& device;
  std::shared_ptr<std::string> path = std::make_shared<std::string>();
  testing::RecordingUi ui;
  access::AccessRoutineTable routines;
  std::unique_ptr<sim::PtyDevice> pty;
  std::string error;
  std::unique_ptr<TransferGate> gate;
  std::unique_ptr<Session> session;
};

const std::string kXcsoar = std::string(TARNVIK_TEST_DATA) + "/openair/xcsoar-openair.txt";

TEST(CtrEndToEnd, CompeoTakesTheZonesInItsLayoutAndGivesThemBack) {
  sim::flytec::FlytecDevice device;
  PtySession rig(device);
  ASSERT_TRUE(rig.pty) << rig.error;
  rig.ReadFile(kXcsoar);
  ASSERT_EQ(rig.session->ctrs.size(), 25u);
  const core::CtrList sent = rig.session->ctrs;
  rig.ui.shown.clear();
  rig.Run(kSendCompeo);
  EXPECT_TRUE(rig.ui.shown.empty()) << rig.ui.Texts()[0];
  ASSERT_EQ(device.ctr.statuses, std::vector<int>(25, 1));
  // The four-point zone and the 5 NM circle, as recorded.
  const std::vector<std::string>& received = device.ctr.received;
  EXPECT_NE(std::find_if(received.begin(), received.end(),
                         [](const std::string& b) { return b.rfind("PBRCTRW,006,005,P,", 0) == 0; }),
            received.end());
  EXPECT_NE(std::find(received.begin(), received.end(), "PBRCTRW,003,002,C,0105.500,N,00005.500,E,09260"),
            received.end());

  rig.session->ctrs.clear();
  ASSERT_TRUE(rig.Reopen()) << rig.error;
  rig.Run(kReadCompeo);
  EXPECT_TRUE(rig.ui.shown.empty()) << rig.ui.Texts()[0];
  ASSERT_EQ(rig.session->ctrs.size(), 25u);
  EXPECT_EQ(rig.session->viewMode, ViewMode::Ctr);
  auto want = sent.begin();
  for (const core::CtrRecord& got : rig.session->ctrs) {
    EXPECT_EQ(std::string(got.name), devices::flytec::CtrField(want->name));
    EXPECT_EQ(std::string(got.floor), devices::flytec::CtrField(want->floor));
    ASSERT_EQ(got.segments.size(), want->segments.size()) << want->name;
    for (size_t i = 0; i < got.segments.size(); ++i) {
      EXPECT_EQ(got.segments[i].kind, want->segments[i].kind);
      EXPECT_EQ(got.segments[i].radius, want->segments[i].radius);
      EXPECT_NEAR(got.segments[i].latitude, want->segments[i].latitude, 0.0005 / 60 + 1e-12);
      EXPECT_NEAR(got.segments[i].longitude, want->segments[i].longitude, 0.0005 / 60 + 1e-12);
    }
    ++want;
  }
}

TEST(CtrEndToEnd, GarminRecordsOneTrackPerZoneEqualToItsOutline) {
  sim::garmin::GarminDevice device;
  PtySession rig(device);
  ASSERT_TRUE(rig.pty) << rig.error;
  rig.ReadFile(kXcsoar);
  rig.ui.shown.clear();
  rig.Run(kSendGarmin);
  EXPECT_TRUE(rig.ui.shown.empty()) << rig.ui.Texts()[0];
  EXPECT_TRUE(device.protocolErrors().empty()) << device.protocolErrors()[0];
  std::vector<core::Waypoint> expected;
  for (const core::CtrRecord& zone : rig.session->ctrs) {
    const std::vector<core::Waypoint> outline = airspace::CtrOutlinePoints(zone);
    expected.insert(expected.end(), outline.begin(), outline.end());
  }
  EXPECT_EQ(device.uploads().trackHeaders.size(), 25u);
  ASSERT_EQ(device.uploads().trackPoints.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(device.uploads().trackPoints[i].latitude, expected[i].latitude) << i;
    EXPECT_EQ(device.uploads().trackPoints[i].longitude, expected[i].longitude) << i;
  }
}

// The runs above, once more as an unprivileged user: root passes permission checks on the
// pseudo-terminal that a pilot's account does not.
TEST(CtrEndToEnd, RunsAsAnUnprivilegedUser) {
  const std::string filter = "CtrEndToEnd.Compeo*:CtrEndToEnd.Garmin*";
  std::string why;
  const std::optional<int> status = testing::RerunUnprivileged(filter, {kXcsoar}, why);
  if (!status) GTEST_SKIP() << why;
  EXPECT_EQ(*status, 0) << "failed as uid 65534: " << filter;
}

}  // namespace
}  // namespace tarnvik::app
