// USB routines inside the access engine: registration, a whole download through the engine,
// and an abort while the worker waits inside a pipe transfer (the pipe is only marked closed
// from the aborting thread; the transfer ends within its time limit and the worker ends).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "devices/garmin/garmin_usb.h"
#include "sim/garmin/garmin_usb_unit.h"
#include "tests/devices/garmin/garmin_test_support.h"

namespace tarnvik::devices::garmin {
namespace {

using namespace std::chrono_literals;

TEST(GarminUsbRegistration, FillsTheUsbCellsOfTheTable) {
  access::AccessRoutineTable table;
  RegisterGarminUsbRoutines(table);
  for (int type : {0, 1, 3, 6}) EXPECT_NE(table.Find(type, access::kProtocolGarminUsb), nullptr) << type;
  EXPECT_EQ(table.Find(access::kAccessUploadCtrs, access::kProtocolGarminUsb), nullptr);  // no outline conversion
  RegisterGarminUsbRoutines(table, [](const core::CtrRecord&) { return std::vector<core::Waypoint>{}; });
  EXPECT_NE(table.Find(access::kAccessUploadCtrs, access::kProtocolGarminUsb), nullptr);
  EXPECT_EQ(table.Find(access::kAccessDownloadTrackLog, access::kProtocolGarminSerial), nullptr);
}

struct Completions {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<access::AccessCompletion> got;
  std::vector<std::string> statuses;
  access::JobCallbacks Callbacks() {
    access::JobCallbacks c;
    c.completion = [this](access::AccessCompletion&& done) {
      std::lock_guard lock(mutex);
      got.push_back(std::move(done));
      changed.notify_all();
    };
    c.status = [this](uint64_t, const std::string& text) {
      std::lock_guard lock(mutex);
      statuses.push_back(text);
    };
    c.fail = [](uint64_t, const std::string&, const std::string&) {};
    return c;
  }
  bool Wait(size_t n) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 10s, [&] { return got.size() >= n; });
  }
};

struct EngineRig {
  explicit EngineRig(sim::garmin::GarminUsbUnitConfig config = {}) : unit(device, clock, config) {
    device.track = testing::garmin::SampleTrack(6);
    RegisterGarminUsbRoutines(table);
    env.ui = &ui;
    env.clock = &clock;
    env.capture = &capture;
    env.routines = &table;
    env.openUsb = [this](access::AccessJob&, core::Ui&) -> std::unique_ptr<access::OpenedDevice> {
      return sim::garmin::BorrowUsbUnit(unit);
    };
  }
  access::AccessRequest Request(int accessType) {
    access::AccessRequest r;
    r.accessType = accessType;
    r.protocol = access::kProtocolGarminUsb;
    r.callbacks = completions.Callbacks();
    return r;
  }
  testing::FakeClock clock;
  testing::RecordingUi ui;
  access::DebugCapture capture;
  sim::garmin::GarminDevice device;
  sim::garmin::GarminUsbUnit unit;
  access::AccessRoutineTable table;
  access::AccessEnvironment env;
  Completions completions;
};

TEST(GarminUsbEngine, TrackDownloadThroughTheEngine) {
  EngineRig rig;
  access::AccessEngine engine(rig.env);
  ASSERT_EQ(engine.StartAccess(rig.Request(access::kAccessDownloadTrackLog)), 0);
  ASSERT_TRUE(rig.completions.Wait(1));
  const access::AccessCompletion& done = rig.completions.got[0];
  EXPECT_EQ(done.result, 0);
  EXPECT_EQ(done.count, 6);
  EXPECT_EQ(done.origin, 1);
  EXPECT_EQ(done.data.text, "Tarnvik Sim GPS Software Version 3.50");
  for (int i = 0; i < 1000 && engine.IsBusy(); ++i) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(rig.unit.closed());  // released with the job
}

TEST(GarminUsbEngine, AbortWhileTheWorkerWaitsInAPipeRead) {
  sim::garmin::GarminUsbUnitConfig config;
  // The product exchange takes 9 operations; the 16th is a read of the track's data.
  config.blockOperation = 16;
  EngineRig rig(config);
  access::AccessEngine engine(rig.env);
  ASSERT_EQ(engine.StartAccess(rig.Request(access::kAccessDownloadTrackLog)), 0);
  for (int i = 0; i < 5000 && rig.unit.operations() < 16; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(rig.unit.operations(), 16);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(engine.AbortAccess(), 0);  // the worker ended within the engine's wait
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1000ms);
  ASSERT_TRUE(rig.completions.Wait(1));
  EXPECT_EQ(rig.completions.got[0].result, -1);
  EXPECT_EQ(rig.completions.got[0].count, 0);
  EXPECT_TRUE(rig.completions.got[0].data.points.empty());
  // The worker put the unit back to the start of a session before it ended.
  const auto writes = rig.unit.bulkWrites();
  ASSERT_FALSE(writes.empty());
  EXPECT_EQ(writes.back(), (std::vector<uint8_t>{0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace tarnvik::devices::garmin
