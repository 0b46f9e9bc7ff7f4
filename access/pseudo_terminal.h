// The instrument's side of a pseudo-terminal: a serial line that exists only in software. The
// host opens hostPath() like any COM port; this side reads what the host writes and answers.
// Used by the instrument simulators and by the tests of the serial transport.
//
// The line runs raw (no echo, no line editing, no character translation). The host may close
// the port and open it again: while no host is attached, reads wait without busy looping and
// return 0, and writes are dropped (they would otherwise reach the next opener as stale bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "access/transport.h"

namespace tarnvik::access {

class PseudoTerminal final : public Transport {
 public:
  // Null with the system's text in error when no pseudo-terminal can be made.
  static std::unique_ptr<PseudoTerminal> Create(std::string& error);
  ~PseudoTerminal() override;

  // The path the host opens (/dev/pts/N).
  const std::string& hostPath() const { return hostPath_; }
  // True while the host has the port open.
  bool HostAttached();
  // The line as the host last set it; false when it cannot be read.
  bool HostLine(int& baud, bool& xonXoff, bool& echo);

  // Transport (the instrument's view). SetSpeed changes nothing: the host owns the line
  // settings. Read waits up to maxWaitMs (no 50 ms cap) and returns 0 while no host is
  // attached; Write waits for room up to 1000 ms and drops the bytes when no host is attached.
  int SetSpeed(int baud, bool xonXoff) override;
  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override;
  int Write(const uint8_t* bytes, size_t count) override;
  void Purge() override;
  void Close() override;
  std::string ErrorCaption() const override;
  std::string ErrorText() const override;

 private:
  PseudoTerminal(int fd, std::string hostPath) : fd_(fd), hostPath_(std::move(hostPath)) {}
  int Fd();

  mutable std::mutex mutex_;
  int fd_;
  bool closed_ = false;
  std::string hostPath_;
  std::string errorText_;
};

// Bits per second for a termios-style speed reported by the line, 0 when unknown.
int BaudFromLine(unsigned speedCode);

}  // namespace tarnvik::access
