// What a worker routine talks to an instrument through: the transport, the clock, the job's
// operation (cancellation, status, questions) and the debug capture, plus the receive buffer
// that read loops consume byte by byte.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "access/debug_capture.h"
#include "access/transport.h"
#include "core/ports.h"

namespace tarnvik::access {

// Results of Link::ReadUnit.
constexpr int kReadComplete = 0;
constexpr int kReadTimeout = -1;    // the reader's time limit passed
constexpr int kReadPortError = -2;  // the port failed (or was closed by an abort)

// True for the protocols that run with XON/XOFF flow control (Flytec/Brauniger and its track
// list, XC Trainer and XC Trainer over the MXP link).
bool UsesXonXoff(int protocol);

class Link {
 public:
  Link(Transport& transport, core::Clock& clock, core::Operation& operation, DebugCapture& capture,
       int protocol)
      : transport_(transport), clock_(clock), operation_(operation), capture_(capture), protocol_(protocol) {}

  // Sets the line speed with the protocol's flow control, purges, and waits the 200 ms the
  // line needs to settle. 0, or -1 (the transport describes the failure).
  int SetSpeed(int baud);
  // Captures every byte, then writes. 0, or -1 on a write failure or time-out.
  int WriteBytes(const uint8_t* bytes, size_t count);
  int WriteText(std::string_view text);
  // Feeds bytes to `feed` one at a time, first those left from the previous call, then fresh
  // reads, until `feed` returns true (a complete packet or line; the rest is kept for the next
  // call), limitMs passes (kReadTimeout), or the port fails (kReadPortError; the receive buffer
  // is emptied). Each byte is captured as it is taken from the buffer.
  int ReadUnit(const std::function<bool(uint8_t)>& feed, int64_t limitMs);
  // Drops bytes left in the receive buffer.
  void DiscardReceived() { count_ = next_ = 0; }

  bool Cancelled() const { return operation_.IsCancelled(); }
  Transport& transport() { return transport_; }
  core::Clock& clock() { return clock_; }
  core::Operation& operation() { return operation_; }
  DebugCapture& capture() { return capture_; }
  int protocol() const { return protocol_; }

 private:
  Transport& transport_;
  core::Clock& clock_;
  core::Operation& operation_;
  DebugCapture& capture_;
  int protocol_;
  uint8_t buffer_[100] = {};
  size_t count_ = 0;
  size_t next_ = 0;
};

}  // namespace tarnvik::access
