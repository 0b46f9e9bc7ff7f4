// A clock that only moves when told to (or when something sleeps on it), so time-out paths
// run in microseconds.
#pragma once

#include <atomic>

#include "core/ports.h"

namespace tarnvik::testing {

class FakeClock : public core::Clock {
 public:
  explicit FakeClock(core::SystemTime utc = {2024, 7, 0, 14, 12, 30, 0, 0}) : utc_(utc) {}
  int64_t NowMs() override { return now_.load(); }
  void SleepMs(int64_t ms) override {
    if (ms > 0) now_ += ms;
  }
  core::SystemTime UtcNow() override { return utc_; }
  void Advance(int64_t ms) { now_ += ms; }
  void SetUtc(core::SystemTime t) { utc_ = t; }

 private:
  std::atomic<int64_t> now_{1000000};
  core::SystemTime utc_;
};

}  // namespace tarnvik::testing
