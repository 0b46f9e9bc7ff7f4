#include "access/access_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

#include "tests/fakes/deadline.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"
#include "tests/fakes/scripted_transport.h"

namespace tarnvik::access {
namespace {

using testing::FakeClock;
using testing::RecordingUi;
using testing::ScriptedTransport;

// Hands the engine a transport whose script the test keeps (the engine may outlive the job).
class SharedTransport final : public Transport {
 public:
  explicit SharedTransport(std::shared_ptr<ScriptedTransport> inner) : inner_(std::move(inner)) {}
  int SetSpeed(int baud, bool xonXoff) override { return inner_->SetSpeed(baud, xonXoff); }
  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override { return inner_->Read(buffer, size, maxWaitMs); }
  int Write(const uint8_t* bytes, size_t count) override { return inner_->Write(bytes, count); }
  void Purge() override { inner_->Purge(); }
  void Close() override { inner_->Close(); }
  std::string ErrorCaption() const override { return inner_->ErrorCaption(); }
  std::string ErrorText() const override { return inner_->ErrorText(); }

 private:
  std::shared_ptr<ScriptedTransport> inner_;
};

// Collects completions and texts from the worker thread.
struct Observed {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<AccessCompletion> completions;
  std::vector<std::string> statuses;
  std::vector<std::string> failures;

  JobCallbacks Callbacks() {
    JobCallbacks c;
    c.status = [this](uint64_t, const std::string& text) {
      std::lock_guard lock(mutex);
      statuses.push_back(text);
    };
    c.fail = [this](uint64_t, const std::string& caption, const std::string& text) {
      std::lock_guard lock(mutex);
      failures.push_back(caption + ": " + text);
    };
    c.completion = [this](AccessCompletion&& done) {
      std::lock_guard lock(mutex);
      completions.push_back(std::move(done));
      changed.notify_all();
    };
    return c;
  }
  bool WaitCompletions(size_t n) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return completions.size() >= n; });
  }
};

// A gate a routine waits at until the test opens it. Both waits have a deadline: a routine
// left at a gate that never opens fails the test instead of hanging it.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  bool reached = false;
  void Wait() {
    std::unique_lock lock(mutex);
    reached = true;
    changed.notify_all();
    if (!changed.wait_for(lock, testing::kThreadDeadline, [&] { return open; })) testing::FailStuck("the gate");
  }
  void WaitReached() {
    std::unique_lock lock(mutex);
    if (!changed.wait_for(lock, testing::kThreadDeadline, [&] { return reached; })) {
      testing::FailStuck("the routine reaching its gate");
    }
  }
  void Open() {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }
};

// A Ui whose messages can call back into the engine, as a message box's nested event loop
// may (a queued IsBusy or AbortAccess from a timer or a button of the main window).
class ReentrantUi final : public RecordingUi {
 public:
  std::function<void()> onMessage;  // runs once, on the next message
  void ShowMessage(const std::string& caption, const std::string& text, core::Icon icon) override {
    RecordingUi::ShowMessage(caption, text, icon);
    if (auto hook = std::exchange(onMessage, nullptr)) hook();
  }
};

// A clock whose sleeps can call back into the engine (the line's settle time at the start).
class ReentrantClock final : public FakeClock {
 public:
  std::function<void()> onSleep;  // runs once, on the next sleep
  void SleepMs(int64_t ms) override {
    FakeClock::SleepMs(ms);
    if (auto hook = std::exchange(onSleep, nullptr)) hook();
  }
};

class AccessEngineTest : public ::testing::Test {
 protected:
  AccessEngineTest() {
    env_.ui = &ui_;
    env_.clock = &clock_;
    env_.capture = &capture_;
    env_.routines = &table_;
    env_.openSerial = [this](const std::string& name, std::string& caption, std::string& text) -> std::unique_ptr<Transport> {
      openedNames_.push_back(name);
      if (auto hook = std::exchange(onOpen_, nullptr)) hook();
      if (!openError_.empty()) {
        caption = "Opening the COM port";
        text = openError_;
        return nullptr;
      }
      return std::make_unique<SharedTransport>(port_);
    };
  }

  AccessEngine& Engine() {
    if (!engine_) engine_ = std::make_unique<AccessEngine>(env_);
    return *engine_;
  }

  AccessRequest Request(int accessType, int protocol) {
    AccessRequest r;
    r.accessType = accessType;
    r.protocol = protocol;
    r.portName = "COM1";
    r.callbacks = observed_.Callbacks();
    return r;
  }

  Observed observed_;
  ReentrantUi ui_;
  ReentrantClock clock_;
  DebugCapture capture_;
  AccessRoutineTable table_;
  std::shared_ptr<ScriptedTransport> port_ = std::make_shared<ScriptedTransport>(&clock_);
  std::string openError_;
  std::vector<std::string> openedNames_;
  std::function<void()> onOpen_;  // runs once, inside the next port opening
  AccessEnvironment env_;
  std::unique_ptr<AccessEngine> engine_;  // last: goes first
};

TEST_F(AccessEngineTest, RefusesBadRequestsWithTheirMessages) {
  table_.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, [](AccessJob&) { return 0; });
  struct Case {
    int accessType;
    int protocol;
    const char* text;
  } cases[] = {
      {-1, 0, "Bad access type"},
      {9, 0, "Bad access type"},
      {1, -1, "Bad protocol type"},
      {1, 12, "Bad protocol type"},
      {2, 0, "Unsupported access function"},   // a cell no family may fill
      {0, 0, "Unsupported access function"},   // a cell whose family has not registered
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Engine().StartAccess(Request(c.accessType, c.protocol)), -1);
    ui_.ExpectOnly("GPS access", c.text);
    EXPECT_FALSE(Engine().IsBusy());
  }
  EXPECT_TRUE(openedNames_.empty());
  EXPECT_FALSE(table_.Register(kAccessReadInstrumentData, kProtocolGarminSerial, [](AccessJob&) { return 0; }));
  EXPECT_TRUE(table_.Register(kAccessReadInstrumentData, kProtocolLogIt, [](AccessJob&) { return 0; }));
}

TEST_F(AccessEngineTest, DownloadHandsItsRecordsToTheCompletion) {
  table_.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, [](AccessJob& job) {
    ReportStatus(job, "Track log record 1 of 2 received");
    job.operation().Product("eTrex");  // no product callback: skipped
    job.link().WriteText("req");
    job.data.points.resize(2);
    job.data.points[1].latitude = 42;
    job.count = 2;
    job.origin = 1;
    job.extra = 7;
    return 0;
  });
  port_->ExpectWrite("req");
  uint64_t id = 0;
  ASSERT_EQ(Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminSerial), &id), 0);
  ASSERT_TRUE(observed_.WaitCompletions(1));
  const AccessCompletion& done = observed_.completions[0];
  EXPECT_EQ(done.jobId, id);
  EXPECT_EQ(done.result, 0);
  ASSERT_EQ(done.data.points.size(), 2u);
  EXPECT_EQ(done.data.points[1].latitude, 42);
  EXPECT_EQ(done.count, 2);
  EXPECT_EQ(done.origin, 1);
  EXPECT_EQ(done.extra, 7);
  EXPECT_FALSE(done.abortRequested);
  EXPECT_EQ(observed_.statuses, std::vector<std::string>{"Track log record 1 of 2 received"});
  EXPECT_TRUE(port_->Finished()) << port_->mismatch();
  EXPECT_EQ(capture_.Contents(), "req");
  EXPECT_EQ(openedNames_, std::vector<std::string>{"COM1"});
  // The worker releases the job and closes the port; the engine is free again.
  for (int i = 0; i < 1000 && Engine().IsBusy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(Engine().IsBusy());
  EXPECT_TRUE(port_->closed());
  EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(AccessEngineTest, FailureAndUploadPassNoRecords) {
  // A failing download: its records stay with the engine, the failure is shown once.
  table_.Register(kAccessDownloadWaypoints, kProtocolMagellan, [](AccessJob& job) {
    job.data.waypoints.resize(3);
    job.count = 3;
    job.origin = 7;
    job.operation().Fail("Read GPS waypoints", "E301 COM port read error");
    return -1;
  });
  // An upload: the routine sees the caller's copy; the completion gets the count, not the data.
  size_t seen = 0;
  table_.Register(kAccessUploadWaypoints, kProtocolMagellan, [&seen](AccessJob& job) {
    seen = job.data.waypoints.size();
    job.origin = 7;
    return 0;
  });
  ASSERT_EQ(Engine().StartAccess(Request(kAccessDownloadWaypoints, kProtocolMagellan)), 0);
  ASSERT_TRUE(observed_.WaitCompletions(1));
  {
    const AccessCompletion& failed = observed_.completions[0];
    EXPECT_EQ(failed.result, -1);
    EXPECT_TRUE(failed.data.waypoints.empty());
    EXPECT_EQ(failed.count, 0);
    EXPECT_EQ(failed.origin, 0);
    EXPECT_EQ(observed_.failures, std::vector<std::string>{"Read GPS waypoints: E301 COM port read error"});
  }
  for (int i = 0; i < 1000 && Engine().IsBusy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  port_ = std::make_shared<ScriptedTransport>(&clock_);  // the first job closed its port
  AccessRequest upload = Request(kAccessUploadWaypoints, kProtocolMagellan);
  upload.data.waypoints.resize(5);
  upload.count = 5;
  upload.callbacks.fail = nullptr;  // failures would go to the engine's Ui
  ASSERT_EQ(Engine().StartAccess(std::move(upload)), 0);
  ASSERT_TRUE(observed_.WaitCompletions(2));
  const AccessCompletion& sent = observed_.completions[1];
  EXPECT_EQ(seen, 5u);
  EXPECT_EQ(sent.result, 0);
  EXPECT_EQ(sent.count, 5);
  EXPECT_EQ(sent.origin, 7);
  EXPECT_TRUE(sent.data.waypoints.empty());
  // Magellan opens at 4800 baud without flow control.
  auto speeds = port_->speeds();
  ASSERT_FALSE(speeds.empty());
  EXPECT_EQ(speeds[0].baud, 4800);
  EXPECT_FALSE(speeds[0].xonXoff);
  EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(AccessEngineTest, SecondStartIsRefusedAndTheRunningJobGoesOn) {
  Gate gate;
  table_.Register(kAccessDownloadTrackLog, kProtocolFlytec, [&gate](AccessJob& job) {
    gate.Wait();
    job.data.points.resize(1);
    job.count = 1;
    job.origin = 5;
    return 0;
  });
  uint64_t first = 0;
  ASSERT_EQ(Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolFlytec), &first), 0);
  gate.WaitReached();
  AccessRequest second = Request(kAccessDownloadTrackLog, kProtocolFlytec);
  second.portName = "COM2";
  EXPECT_EQ(Engine().StartAccess(std::move(second)), -1);
  ui_.ExpectOnly("GPS access", "Port/USB is being used");
  EXPECT_EQ(openedNames_.size(), 1u);  // the second request never reached the port
  EXPECT_TRUE(Engine().IsBusy());
  gate.Open();
  ASSERT_TRUE(observed_.WaitCompletions(1));
  EXPECT_EQ(observed_.completions[0].jobId, first);
  EXPECT_EQ(observed_.completions[0].result, 0);
  EXPECT_EQ(observed_.completions[0].data.points.size(), 1u);
}

TEST_F(AccessEngineTest, OpensEachProtocolAtItsSpeedAndFlowControl) {
  struct Case {
    int accessType;
    int protocol;
    int baud;
    bool xonXoff;
  } cases[] = {
      {kAccessDownloadTrackLog, kProtocolGarminSerial, 9600, false},
      {kAccessDownloadTrackLog, kProtocolMlr, 4800, false},
      {kAccessDownloadTrackLog, kProtocolTopNavigator, 9600, false},
      {kAccessDownloadTrackLog, kProtocolFlytec, 57600, true},
      {kAccessDownloadTrackLog, kProtocolFlytecTrackList, 57600, true},
      {kAccessDownloadTrackLog, kProtocolXcTrainer, 57600, true},
      {kAccessDownloadWaypoints, kProtocolXcTrainer, 9600, true},
      {kAccessDownloadTrackLog, kProtocolXcTrainerMxp, 57600, true},
      {kAccessDownloadTrackLog, kProtocolTopNavigatorMxp, 57600, false},
      {kAccessDownloadTrackLog, kProtocolLogIt, 4800, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.protocol);
    port_ = std::make_shared<ScriptedTransport>(&clock_);
    table_.Register(c.accessType, c.protocol, [](AccessJob&) { return 0; });
    size_t before = observed_.completions.size();
    int64_t start = clock_.NowMs();
    ASSERT_EQ(Engine().StartAccess(Request(c.accessType, c.protocol)), 0);
    ASSERT_TRUE(observed_.WaitCompletions(before + 1));
    for (int i = 0; i < 1000 && Engine().IsBusy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto speeds = port_->speeds();
    ASSERT_EQ(speeds.size(), 1u);
    EXPECT_EQ(speeds[0].baud, c.baud);
    EXPECT_EQ(speeds[0].xonXoff, c.xonXoff);
    EXPECT_GE(clock_.NowMs() - start, 200);  // the line settles before the worker starts
  }
}

TEST_F(AccessEngineTest, OpeningFailuresAreShownAndNothingStarts) {
  bool ran = false;
  table_.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, [&ran](AccessJob&) {
    ran = true;
    return 0;
  });
  openError_ = "No such file or directory (/dev/ttyS9)";
  EXPECT_EQ(Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminSerial)), -1);
  ui_.ExpectOnly("Opening the COM port", "No such file or directory (/dev/ttyS9)");

  openError_.clear();
  port_->FailSetSpeed("Setting COM port state", "Invalid argument");
  EXPECT_EQ(Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminSerial)), -1);
  ui_.ExpectOnly("Setting COM port state", "Invalid argument");
  EXPECT_TRUE(port_->closed());

  // Garmin USB without a USB backend.
  table_.Register(kAccessDownloadTrackLog, kProtocolGarminUsb, [](AccessJob&) { return 0; });
  EXPECT_EQ(Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminUsb)), -1);
  ui_.ExpectOnly("USB access", "No active device found");
  EXPECT_FALSE(Engine().IsBusy());
  EXPECT_FALSE(ran);
  EXPECT_TRUE(observed_.completions.empty());
}

TEST_F(AccessEngineTest, UsbJobsOpenThroughTheRegisteredOpener) {
  struct FakeUsb : OpenedDevice {
    std::atomic<bool> closed{false};
    void Close() override { closed = true; }
  };
  auto usb = std::make_shared<FakeUsb>();
  struct Handle : OpenedDevice {
    std::shared_ptr<FakeUsb> device;
    void Close() override { device->Close(); }
  };
  env_.openUsb = [usb](AccessJob&, core::Ui&) {
    auto h = std::make_unique<Handle>();
    h->device = usb;
    return std::unique_ptr<OpenedDevice>(std::move(h));
  };
  bool sawDevice = false;
  table_.Register(kAccessDownloadWaypoints, kProtocolGarminUsb, [&sawDevice](AccessJob& job) {
    sawDevice = job.usbDevice != nullptr;
    return 0;
  });
  ASSERT_EQ(Engine().StartAccess(Request(kAccessDownloadWaypoints, kProtocolGarminUsb)), 0);
  ASSERT_TRUE(observed_.WaitCompletions(1));
  for (int i = 0; i < 1000 && Engine().IsBusy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(sawDevice);
  EXPECT_TRUE(usb->closed);
  EXPECT_TRUE(openedNames_.empty());
}

TEST_F(AccessEngineTest, AbortWithNothingRunning) {
  EXPECT_EQ(Engine().AbortAccess(), -1);
  ui_.ExpectOnly("Abort GPS access", "Port not in use");
}

TEST_F(AccessEngineTest, AbortOfACooperativeWorkerCallsItsCompletionSilently) {
  table_.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, [](AccessJob& job) {
    // Waits for packets that never come, testing the abort flag after every read.
    while (!job.AbortRequested()) {
      if (job.link().ReadUnit([](uint8_t) { return true; }, 5000) == kReadPortError) break;
    }
    job.operation().Fail("Read GPS track log", "E205 COM port error while waiting for log data packet");
    return -1;
  });
  ASSERT_EQ(Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminSerial)), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Engine().AbortAccess(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_FALSE(Engine().IsBusy());
  ASSERT_EQ(observed_.completions.size(), 1u);
  EXPECT_EQ(observed_.completions[0].result, -1);
  EXPECT_TRUE(observed_.completions[0].abortRequested);
  EXPECT_TRUE(observed_.failures.empty());  // no E-code box after an abort
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_EQ(observed_.statuses, std::vector<std::string>{"Transfer aborted"});
}

TEST_F(AccessEngineTest, AbortOfAStuckWorkerFreesTheEngineWithinASecond) {
  auto oldWorkerEnded = std::make_shared<std::atomic<bool>>(false);
  // The worker ignores the abort flag and sits in a read that the line never ends.
  table_.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, [oldWorkerEnded](AccessJob& job) {
    job.link().WriteText("A");
    int r = job.link().ReadUnit([](uint8_t) { return true; }, 1 << 30);
    // The closed port fails the read and, from now on, every write.
    job.link().WriteText("LATE");
    job.operation().Fail("Read GPS track log", "E203 COM port read error");
    ReportStatus(job, "late status");
    job.data.points.resize(1);
    *oldWorkerEnded = true;
    return r == kReadPortError ? -1 : 0;
  });
  port_->StallReads(true);
  uint64_t stuckId = 0;
  ASSERT_EQ(Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminSerial), &stuckId), 0);
  testing::Await([&] { return !port_->written().empty(); }, "the worker's first write");

  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Engine().AbortAccess(), 1);  // left behind
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(990));
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_FALSE(Engine().IsBusy());
  EXPECT_TRUE(port_->closed());

  // A new transfer starts at once on a fresh port.
  auto oldPort = port_;
  port_ = std::make_shared<ScriptedTransport>(&clock_);
  table_.Register(kAccessDownloadWaypoints, kProtocolGarminSerial, [](AccessJob& job) {
    job.link().WriteText("B");
    job.data.waypoints.resize(2);
    job.count = 2;
    job.origin = 1;
    return 0;
  });
  uint64_t newId = 0;
  ASSERT_EQ(Engine().StartAccess(Request(kAccessDownloadWaypoints, kProtocolGarminSerial), &newId), 0);
  EXPECT_NE(newId, stuckId);
  ASSERT_TRUE(observed_.WaitCompletions(1));
  for (int i = 0; i < 5000 && !*oldWorkerEnded; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(*oldWorkerEnded);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));

  // Only the new job completed; the stuck one's failure, texts and bytes went nowhere.
  ASSERT_EQ(observed_.completions.size(), 1u);
  EXPECT_EQ(observed_.completions[0].jobId, newId);
  EXPECT_EQ(observed_.completions[0].data.waypoints.size(), 2u);
  EXPECT_TRUE(observed_.failures.empty());
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_EQ(observed_.statuses, std::vector<std::string>{"Transfer aborted"});
  EXPECT_EQ(capture_.Contents(), "B");
  EXPECT_EQ(oldPort->written(), testing::Bytes("A"));
}

TEST_F(AccessEngineTest, ShutdownStopsARunningJobQuietly) {
  table_.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, [](AccessJob& job) {
    while (!job.AbortRequested()) job.clock().SleepMs(10), std::this_thread::yield();
    return -1;
  });
  ASSERT_EQ(Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminSerial)), 0);
  Engine().ShutdownAccessEngine();
  EXPECT_FALSE(Engine().IsBusy());
  EXPECT_TRUE(observed_.statuses.empty());
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_EQ(Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminSerial)), -1);
}

// The start talks to the user, opens the port and lets the line settle without the engine's
// lock: each of these calls back into the engine from where a nested event loop would (every
// case deadlocks when the lock is held there; the deadline turns that into a failure).
TEST_F(AccessEngineTest, StartCallsBackIntoTheEngineWithoutDeadlock) {
  table_.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, [](AccessJob&) { return 0; });
  enum class Where { Opener, SettleSleep, OpenFailureMessage, SpeedFailureMessage, BusyMessage };
  struct Case {
    const char* name;
    Where where;
    bool busyInside;  // IsBusy() seen from inside
    int startResult;
  } cases[] = {
      {"opener", Where::Opener, true, 0},
      {"settle time", Where::SettleSleep, true, 0},
      {"opening failure message", Where::OpenFailureMessage, false, -1},
      {"line setting failure message", Where::SpeedFailureMessage, false, -1},
      {"busy message", Where::BusyMessage, true, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    port_ = std::make_shared<ScriptedTransport>(&clock_);
    openError_ = c.where == Where::OpenFailureMessage ? "No such file or directory (/dev/ttyS9)" : "";
    if (c.where == Where::SpeedFailureMessage) port_->FailSetSpeed("Setting COM port state", "Invalid argument");
    Gate gate;
    if (c.where == Where::BusyMessage) {
      table_.Register(kAccessDownloadWaypoints, kProtocolGarminSerial, [&gate](AccessJob&) {
        gate.Wait();
        return 0;
      });
      ASSERT_EQ(Engine().StartAccess(Request(kAccessDownloadWaypoints, kProtocolGarminSerial)), 0);
      gate.WaitReached();
    }
    std::optional<bool> busyInside;
    int nestedStart = 99;
    auto nested = [&] {
      busyInside = Engine().IsBusy();
      // A second start from inside is refused, never run into the lock.
      nestedStart = Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminSerial));
    };
    switch (c.where) {
      case Where::Opener: onOpen_ = nested; break;
      case Where::SettleSleep: clock_.onSleep = nested; break;
      default: ui_.onMessage = nested; break;
    }
    int result = 99;
    testing::RunWithDeadline("StartAccess", [&] {
      result = Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminSerial));
    });
    EXPECT_EQ(result, c.startResult);
    ASSERT_TRUE(busyInside.has_value());
    EXPECT_EQ(*busyInside, c.busyInside);
    EXPECT_EQ(nestedStart, -1);
    gate.Open();
    ASSERT_TRUE(testing::WaitUntil([&] { return !Engine().IsBusy(); }));
    ui_.shown.clear();
  }
}

TEST_F(AccessEngineTest, AbortDuringTheStartEndsItWithoutAWorker) {
  bool ran = false;
  table_.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, [&ran](AccessJob&) {
    ran = true;
    return 0;
  });
  int aborted = 99;
  onOpen_ = [&] { aborted = Engine().AbortAccess(); };
  int result = 99;
  testing::RunWithDeadline("StartAccess", [&] {
    result = Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminSerial));
  });
  EXPECT_EQ(aborted, 0);  // nothing left behind
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(ui_.shown.empty());  // the abort is the reason: no failure message
  EXPECT_EQ(observed_.statuses, std::vector<std::string>{"Transfer aborted"});
  EXPECT_TRUE(port_->closed());
  EXPECT_FALSE(Engine().IsBusy());
  EXPECT_FALSE(ran);
  EXPECT_TRUE(observed_.completions.empty());
  // The engine takes the next transfer at once.
  port_ = std::make_shared<ScriptedTransport>(&clock_);
  ASSERT_EQ(Engine().StartAccess(Request(kAccessDownloadTrackLog, kProtocolGarminSerial)), 0);
  ASSERT_TRUE(observed_.WaitCompletions(1));
  EXPECT_TRUE(ran);
}

// A worker waiting for the user's answer is answered Cancel by the abort at once and ends on
// its own: the abort neither waits its full second nor leaves the worker behind.
TEST_F(AccessEngineTest, AbortAnswersAWaitingQuestionCancel) {
  std::atomic<int> answer{-1};
  table_.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, [&answer](AccessJob& job) {
    answer = static_cast<int>(job.operation().Ask("Read GPS track log", "Continue ?", core::Buttons::OkCancel,
                                                  core::Answer::Ok));
    return answer == static_cast<int>(core::Answer::Cancel) ? -1 : 0;
  });
  std::atomic<bool> asked{false};
  AccessRequest request = Request(kAccessDownloadTrackLog, kProtocolGarminSerial);
  // The front end's side: the question waits for a user who never answers, and for the abort.
  request.callbacks.ask = [&asked](uint64_t, const std::string&, const std::string&, core::Buttons, core::Answer,
                                   std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any never;
    std::unique_lock lock(mutex);
    asked = true;
    never.wait(lock, stop, [] { return false; });
    return core::Answer::Ok;  // whatever a late dialog says: the job was aborted
  };
  ASSERT_EQ(Engine().StartAccess(std::move(request)), 0);
  testing::Await([&] { return asked.load(); }, "the worker's question");
  int aborted = 99;
  testing::RunWithDeadline("AbortAccess", [&] { aborted = Engine().AbortAccess(); });
  EXPECT_EQ(aborted, 0);  // the worker ended within the wait, not left behind
  EXPECT_EQ(answer, static_cast<int>(core::Answer::Cancel));
  ASSERT_EQ(observed_.completions.size(), 1u);
  EXPECT_EQ(observed_.completions[0].result, -1);
  EXPECT_TRUE(observed_.completions[0].abortRequested);
}

// "No log positions" from the worker: the front end's answer (the box ticked or not) comes back
// to the routine with the job's identity and text; without the entry the text becomes a status
// and the routine goes on unanswered.
TEST_F(AccessEngineTest, NoLogPositionsReachesTheFrontEndOrBecomesAStatus) {
  const std::string text = "The track log starting at 2024-05-01  10:30 does not contain any valid GPS positions";
  table_.Register(kAccessDownloadTrackLog, kProtocolGraviter, [&text](AccessJob& job) {
    job.extra = job.operation().NoLogPositions(text) ? 1 : 2;
    return 0;
  });
  struct Case {
    bool entrySet;
    bool ticked;
    int extra;
    bool statusShown;
  };
  size_t runs = 0;
  for (const Case& c : {Case{true, true, 1, false}, Case{true, false, 2, false}, Case{false, false, 2, true}}) {
    SCOPED_TRACE(c.entrySet ? (c.ticked ? "ticked" : "unticked") : "no entry");
    AccessRequest request = Request(kAccessDownloadTrackLog, kProtocolGraviter);
    std::vector<std::pair<uint64_t, std::string>> asked;
    if (c.entrySet) {
      request.callbacks.noLogPositions = [&asked, &c](uint64_t jobId, const std::string& shown, std::stop_token) {
        asked.emplace_back(jobId, shown);
        return c.ticked;
      };
    }
    observed_.statuses.clear();
    port_ = std::make_shared<ScriptedTransport>(&clock_);  // the last job closed its port
    uint64_t id = 0;
    ASSERT_EQ(Engine().StartAccess(std::move(request), &id), 0);
    ASSERT_TRUE(observed_.WaitCompletions(++runs));
    testing::Await([&] { return !Engine().IsBusy(); }, "the worker's release");
    EXPECT_EQ(observed_.completions.back().result, 0);
    EXPECT_EQ(observed_.completions.back().extra, c.extra);
    if (c.entrySet) {
      EXPECT_EQ(asked, (std::vector<std::pair<uint64_t, std::string>>{{id, text}}));
    }
    const bool statusShown = std::find(observed_.statuses.begin(), observed_.statuses.end(), text) != observed_.statuses.end();
    EXPECT_EQ(statusShown, c.statusShown);
  }
}

// An abort answers a waiting "No log positions" (unticked, whatever a late dialog says): the
// worker ends within the abort's wait instead of hanging.
TEST_F(AccessEngineTest, AbortAnswersAWaitingNoLogPositionsNotice) {
  std::atomic<int> answer{-1};
  table_.Register(kAccessDownloadTrackLog, kProtocolGraviter, [&answer](AccessJob& job) {
    answer = job.operation().NoLogPositions("no positions") ? 1 : 0;
    return job.AbortRequested() ? -1 : 0;
  });
  std::atomic<bool> asked{false};
  AccessRequest request = Request(kAccessDownloadTrackLog, kProtocolGraviter);
  request.callbacks.noLogPositions = [&asked](uint64_t, const std::string&, std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any never;
    std::unique_lock lock(mutex);
    asked = true;
    never.wait(lock, stop, [] { return false; });
    return true;  // the box ticked after the abort: no longer counts
  };
  ASSERT_EQ(Engine().StartAccess(std::move(request)), 0);
  testing::Await([&] { return asked.load(); }, "the worker's notice");
  int aborted = 99;
  testing::RunWithDeadline("AbortAccess", [&] { aborted = Engine().AbortAccess(); });
  EXPECT_EQ(aborted, 0);
  EXPECT_EQ(answer, 0);
  ASSERT_EQ(observed_.completions.size(), 1u);
  EXPECT_EQ(observed_.completions[0].result, -1);
  EXPECT_TRUE(observed_.completions[0].abortRequested);
}

TEST_F(AccessEngineTest, StartClearsTheCaptureAndCutsThePortName) {
  std::string seenName;
  table_.Register(kAccessDownloadTrackLog, kProtocolGarminSerial, [&seenName](AccessJob& job) {
    seenName = job.portName;
    return 0;
  });
  capture_.CaptureText("old traffic");
  AccessRequest r = Request(kAccessDownloadTrackLog, kProtocolGarminSerial);
  r.portName = std::string(100, 'x');
  ASSERT_EQ(Engine().StartAccess(std::move(r)), 0);
  ASSERT_TRUE(observed_.WaitCompletions(1));
  EXPECT_EQ(seenName.size(), 80u);
  EXPECT_EQ(capture_.Length(), 0u);
}

}  // namespace
}  // namespace tarnvik::access
