// In-memory connections between a host routine and a simulated instrument, for tests that run
// a real worker routine against a simulator in one process with a fake clock.
//
// PumpedLink: the host's Transport drives a Device directly, in the host's thread. A write is
// handed to the device at once; a read that finds nothing asks the device for bytes of its
// own (Tick) and otherwise lets maxWaitMs pass on the clock (instant with a fake clock) and
// returns 0. Deterministic: no threads.
//
// MemoryPipe: two Transports joined back to back, for a simulator on a thread of its own
// (ServeDevice). With a fake clock, a host read that waits while the device end also waits
// for input lets its maxWaitMs pass on the clock at once: neither side can make progress
// until time moves.
//
// Both can inject a fault at the k-th read that delivers bytes (1-based, counted from the
// injection): fail it, corrupt it, or go silent from there on.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "access/transport.h"
#include "core/ports.h"
#include "sim/simulator.h"

namespace tarnvik::sim {

enum class ReadFault {
  None,
  Fail,     // the read returns -1 (a port error)
  Corrupt,  // the read delivers its bytes with the first one inverted
  Silent,   // the read and every later one deliver nothing
};

// Applies the fault plan to one delivering read. Shared by the in-memory links.
class ReadFaultPlan {
 public:
  // readNumber counts the delivering reads from this call on (1 = the next one).
  void Set(int readNumber, ReadFault fault) {
    readNumber_ = reads_ + readNumber;
    fault_ = fault;
  }
  // Called before bytes are delivered: the fault for this read (counted here).
  ReadFault Next();
  bool silent() const { return silent_; }

 private:
  int readNumber_ = 0;
  ReadFault fault_ = ReadFault::None;
  int reads_ = 0;
  bool silent_ = false;
};

class PumpedLink final : public access::Transport {
 public:
  PumpedLink(Device& device, core::Clock& clock) : device_(device), clock_(clock) {}

  int SetSpeed(int baud, bool xonXoff) override;
  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override;
  int Write(const uint8_t* bytes, size_t count) override;
  void Purge() override { inbound_.clear(); }
  void Close() override { closed_ = true; }

  void InjectReadFault(int readNumber, ReadFault fault) { faults_.Set(readNumber, fault); }
  // The line as the host last set it.
  int baud() const { return baud_; }
  bool xonXoff() const { return xonXoff_; }
  std::vector<int> speedHistory() const { return speeds_; }
  // Every byte the host wrote, in order.
  const std::vector<uint8_t>& written() const { return written_; }
  bool closed() const { return closed_; }

 private:
  Device& device_;
  core::Clock& clock_;
  std::deque<uint8_t> inbound_;
  std::vector<uint8_t> written_;
  std::vector<int> speeds_;
  ReadFaultPlan faults_;
  int baud_ = 0;
  bool xonXoff_ = false;
  std::atomic<bool> closed_{false};
};

class MemoryPipe {
 public:
  // clock null: reads wait in real time; otherwise the clock that mutual waits advance.
  explicit MemoryPipe(core::Clock* clock = nullptr);
  ~MemoryPipe();
  MemoryPipe(const MemoryPipe&) = delete;
  MemoryPipe& operator=(const MemoryPipe&) = delete;

  access::Transport& host();
  access::Transport& device();
  // Faults on the host end's reads.
  void InjectReadFault(int readNumber, ReadFault fault);
  // The line as the host last set it (the device end's SetSpeed changes nothing).
  int baud() const;
  bool xonXoff() const;

  struct Shared;
  class End;

 private:
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<End> host_;
  std::unique_ptr<End> device_;
};

// Runs a device on one end of a connection until stop is requested or the connection fails:
// host bytes go to Receive, quiet slices to Tick, replies are written back. Returns 0 when
// stopped, -1 when the connection failed.
int ServeDevice(access::Transport& end, Device& device, core::Clock& clock, std::stop_token stop);

}  // namespace tarnvik::sim
