// The session over the real access engine: routines run on the engine's worker thread, their
// texts, questions and records reach the session only when the main thread drains its queue.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <chrono>
#include <thread>

#include "app/session.h"
#include "app/transfer.h"
#include "tests/fakes/deadline.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

class SilentTransport : public access::Transport {
 public:
  int SetSpeed(int, bool) override { return 0; }
  int Read(uint8_t*, size_t, int maxWaitMs) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(maxWaitMs, 5)));
    return closed_ ? -1 : 0;
  }
  int Write(const uint8_t*, size_t count) override { return static_cast<int>(count); }
  void Purge() override {}
  void Close() override { closed_ = true; }

 private:
  std::atomic<bool> closed_{false};
};

// Records which thread each message or question came on.
class ThreadCheckingUi : public testing::RecordingUi {
 public:
  std::thread::id mainThread = std::this_thread::get_id();
  std::atomic<int> offMainThread{0};
  void ShowMessage(const std::string& caption, const std::string& text, core::Icon icon) override {
    Check();
    RecordingUi::ShowMessage(caption, text, icon);
  }
  core::Answer Ask(const std::string& caption, const std::string& text, core::Buttons buttons,
                   core::Answer defaultAnswer, core::Icon icon) override {
    Check();
    return RecordingUi::Ask(caption, text, buttons, defaultAnswer, icon);
  }
  int ChooseItem(const std::string& caption, const std::string& prompt,
                 const std::vector<std::string>& items) override {
    Check();
    return RecordingUi::ChooseItem(caption, prompt, items);
  }

 private:
  void Check() {
    if (std::this_thread::get_id() != mainThread) ++offMainThread;
  }
};

// Drains the session's queue until the condition holds (the worker runs on its own thread).
template <class Condition>
bool DrainUntil(Session& session, Condition done) {
  return testing::WaitUntil([&] {
    session.queue().Drain();
    return done();
  });
}

// The engine's gate, keeping what its last abort returned (1: the worker was left behind).
class ObservedGate final : public TransferGate {
 public:
  explicit ObservedGate(std::unique_ptr<TransferGate> inner) : inner_(std::move(inner)) {}
  void Init() override { inner_->Init(); }
  int Start(access::AccessRequest request, uint64_t& jobId) override { return inner_->Start(std::move(request), jobId); }
  int Abort() override { return lastAbort = inner_->Abort(); }
  void Shutdown() override { inner_->Shutdown(); }
  int lastAbort = 99;

 private:
  std::unique_ptr<TransferGate> inner_;
};

class SessionEngineTest : public ::testing::Test {
 protected:
  SessionEngineTest() {
    access::AccessEnvironment env;
    env.ui = &ui;
    env.clock = &clock;
    env.routines = &routines;
    env.openSerial = [](const std::string&, std::string&, std::string&) {
      return std::unique_ptr<access::Transport>(std::make_unique<SilentTransport>());
    };
    gate = std::make_unique<ObservedGate>(MakeEngineGate(env));
    session = std::make_unique<Session>(ui, clock, *gate, "/home/pilot");
    session->Initialise(nullptr);
  }
  ~SessionEngineTest() override { session->Close(); }

  ThreadCheckingUi ui;
  testing::FakeClock clock;
  access::AccessRoutineTable routines;
  std::unique_ptr<ObservedGate> gate;
  std::unique_ptr<Session> session;
};

TEST_F(SessionEngineTest, ADownloadAsksOnTheMainThreadAndHandsItsRecordsOver) {
  routines.Register(access::kAccessDownloadTrackLog, access::kProtocolGarminSerial, [&](access::AccessJob& job) {
    access::ReportStatus(job, "Track log record 3 of 3 received");
    job.operation().Product("eTrex Vista");
    int choice = job.operation().ChooseItem("Track list", "Choose a track", {"one", "two"});
    job.data.points.resize(static_cast<size_t>(3 + choice));
    job.count = static_cast<int>(job.data.points.size());
    job.origin = 1;
    return 0;
  });
  ui.choices = {1};
  ASSERT_EQ(session->DownloadTrackLog(access::kProtocolGarminSerial, 0), 0);
  ASSERT_TRUE(DrainUntil(*session, [&] { return !session->busy; }));
  EXPECT_EQ(ui.offMainThread.load(), 0);
  ui.ExpectOnly("Track list", "Choose a track");
  ASSERT_TRUE(session->track.present);
  EXPECT_EQ(session->track.log.points.size(), 4u);
  EXPECT_EQ(session->track.log.sourceKind, 1);
  EXPECT_EQ(session->statusLine, "Track log record 3 of 3 received");
  EXPECT_EQ(session->productLine, "eTrex Vista");
}

TEST_F(SessionEngineTest, AnAbortWhileTheWorkerWaitsForAnAnswerEndsTheJob) {
  // Shared with the workers: the second transfer's worker may outlive this test body and is
  // only stopped by the fixture's shutdown.
  auto answer = std::make_shared<std::atomic<int>>(-5);
  routines.Register(access::kAccessDownloadTrackLog, access::kProtocolGarminSerial, [answer](access::AccessJob& job) {
    *answer = static_cast<int>(job.operation().Ask("Read GPS track log", "Continue ?", core::Buttons::OkCancel,
                                                  core::Answer::Ok));
    job.data.points.resize(5);
    job.count = 5;
    job.origin = 1;
    return job.AbortRequested() ? -1 : 0;
  });
  ASSERT_EQ(session->DownloadTrackLog(access::kProtocolGarminSerial, 0), 0);
  testing::Await([&] { return session->queue().Pending() > 0; }, "the worker's question");
  session->AbortTransfer();
  // The question was answered Cancel at once: the worker ended on its own within the abort's
  // wait, not left behind after a full second.
  EXPECT_EQ(gate->lastAbort, 0);
  ASSERT_TRUE(testing::WaitUntil([&] { return answer->load() != -5; }));
  EXPECT_EQ(answer->load(), static_cast<int>(core::Answer::Cancel));
  session->queue().Drain();
  EXPECT_FALSE(session->busy);
  EXPECT_FALSE(session->track.present);
  EXPECT_TRUE(ui.shown.empty()) << ui.Texts()[0];  // the question was never put to the user
  EXPECT_EQ(ui.offMainThread.load(), 0);
  EXPECT_EQ(session->statusLine, "Transfer aborted");
  // The next transfer starts at once.
  EXPECT_EQ(session->DownloadTrackLog(access::kProtocolGarminSerial, 0), 0);
}

}  // namespace
}  // namespace tarnvik::app
