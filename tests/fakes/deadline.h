// Waiting for another thread in tests: every wait has a deadline, so a regression (a lost
// wake-up, a deadlock) fails within seconds instead of hanging until ctest's time-out.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace tarnvik::testing {

// Long enough for a loaded two-core machine, short against ctest's 300 s.
constexpr std::chrono::milliseconds kThreadDeadline{10000};

// Polls the condition (every millisecond) until it holds or the limit passes. True when it held.
template <class Condition>
bool WaitUntil(Condition done, std::chrono::milliseconds limit = kThreadDeadline) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Ends the test program at once with a message: for a thread that did not finish in time and
// still holds references into the test (returning or unwinding would free them under it).
[[noreturn]] inline void FailStuck(const char* what) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::fprintf(stderr, "\n%s.%s: %s did not finish within %lld ms (deadlock?)\n", test ? test->test_suite_name() : "?",
               test ? test->name() : "?", what, static_cast<long long>(kThreadDeadline.count()));
  std::fflush(stderr);
  std::_Exit(1);
}

// Waits for the condition; ends the test program when it does not come (a thread the test
// must then join is still waiting).
template <class Condition>
void Await(Condition done, const char* what, std::chrono::milliseconds limit = kThreadDeadline) {
  if (!WaitUntil(done, limit)) FailStuck(what);
}

// Runs fn on a thread of its own and waits for it at most the limit; a call that does not
// return in time ends the test program (FailStuck). Use it for a call that deadlocks when the
// code under test is wrong.
template <class Fn>
void RunWithDeadline(const char* what, Fn fn, std::chrono::milliseconds limit = kThreadDeadline) {
  struct Done {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
  };
  auto state = std::make_shared<Done>();
  std::thread runner([state, fn = std::move(fn)]() mutable {
    fn();
    std::lock_guard lock(state->mutex);
    state->done = true;
    state->changed.notify_all();
  });
  std::unique_lock lock(state->mutex);
  if (!state->changed.wait_for(lock, limit, [&] { return state->done; })) FailStuck(what);
  lock.unlock();
  runner.join();
}

// Joins a thread that is expected to end soon; ends the test program when it does not.
// finished must turn true when the thread's work is done.
template <class Finished>
void JoinWithin(std::thread& thread, Finished finished, const char* what,
                std::chrono::milliseconds limit = kThreadDeadline) {
  if (!WaitUntil(finished, limit)) FailStuck(what);
  thread.join();
}

}  // namespace tarnvik::testing
