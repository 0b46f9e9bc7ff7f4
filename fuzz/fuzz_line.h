// What the fuzz targets of the device routines run on: the input bytes as the line, a clock
// that moves only when a routine waits, and an operation that shows nothing, takes every
// question's default answer and cancels every item choice.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "access/transport.h"
#include "core/ports.h"

namespace tarnvik::fuzzing {

// Time stands still until a routine waits: a wait passes at once and moves the clock on.
class StillClock final : public core::Clock {
 public:
  explicit StillClock(core::SystemTime utc = {}) : utc_(utc) {}
  int64_t NowMs() override { return now; }
  void SleepMs(int64_t ms) override { now += ms; }
  core::SystemTime UtcNow() override { return utc_; }
  int64_t now = 0;

 private:
  core::SystemTime utc_;
};

// The fuzz input as the line, in reads of varying size (the first byte of each read sets its
// length); writes vanish. Once the input is used up every read waits its whole time and
// delivers nothing.
class InputLine final : public access::Transport {
 public:
  InputLine(const uint8_t* data, size_t size, StillClock& clock) : data_(data), size_(size), clock_(clock) {}
  int SetSpeed(int, bool) override { return 0; }
  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override {
    if (at_ >= size_) {
      clock_.SleepMs(maxWaitMs);
      return 0;
    }
    size_t n = 1 + (data_[at_] % 37);
    n = std::min({n, size, size_ - at_});
    std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    return static_cast<int>(n);
  }
  int Write(const uint8_t*, size_t) override { return 0; }
  void Purge() override {}
  void Close() override {}

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  StillClock& clock_;
};

// Counts the failures it is told of and traps on a product text longer than productLimit.
// A target that checks what it is offered to choose from overrides ChooseItem.
class QuietOperation : public core::Operation {
 public:
  explicit QuietOperation(size_t productLimit = std::numeric_limits<size_t>::max()) : productLimit_(productLimit) {}
  bool IsCancelled() const override { return false; }
  void Status(const std::string&) override {}
  void Product(const std::string& text) override {
    if (text.size() > productLimit_) __builtin_trap();
  }
  void Fail(const std::string&, const std::string&) override { ++failures; }
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer answer) override {
    return answer;
  }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }
  int failures = 0;

 private:
  size_t productLimit_;
};

}  // namespace tarnvik::fuzzing
