// A transport that passes every call on to another and counts the reads that delivered bytes.
// The fault loops run a routine clean through it to learn how many such reads the routine
// takes, then put a fault at each of them in turn.
#pragma once

#include <cstddef>
#include <cstdint>

#include "access/transport.h"

namespace tarnvik::testing {

class CountingTransport final : public access::Transport {
 public:
  explicit CountingTransport(access::Transport& inner) : inner_(inner) {}
  int SetSpeed(int baud, bool xonXoff) override { return inner_.SetSpeed(baud, xonXoff); }
  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override {
    const int n = inner_.Read(buffer, size, maxWaitMs);
    if (n > 0) ++reads;
    return n;
  }
  int Write(const uint8_t* bytes, size_t count) override { return inner_.Write(bytes, count); }
  void Purge() override { inner_.Purge(); }
  void Close() override { inner_.Close(); }
  int reads = 0;  // reads that delivered bytes

 private:
  access::Transport& inner_;
};

}  // namespace tarnvik::testing
