// A pseudo-terminal pair for tests of the real serial code: the host opens hostPath() through
// OpenSerialPort; the test plays the instrument on the other side. Raw mode on both sides; the
// instrument side copes with the host closing and reopening the port.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "access/pseudo_terminal.h"

namespace tarnvik::testing {

class PtyPair {
 public:
  PtyPair();
  // False (with error()) when the system gave no pseudo-terminal.
  bool ok() const { return pty_ != nullptr; }
  const std::string& error() const { return error_; }
  const std::string& hostPath() const { return pty_->hostPath(); }
  access::PseudoTerminal& instrument() { return *pty_; }

  // Reads until count bytes came or timeoutMs passed (real time); returns what came.
  std::vector<uint8_t> ReadExactly(size_t count, int timeoutMs = 2000);
  // Writes every byte; false when it could not.
  bool Write(const std::vector<uint8_t>& bytes);
  // The line as the host set it.
  int HostBaud();
  bool HostXonXoff();
  bool HostEcho();

 private:
  std::unique_ptr<access::PseudoTerminal> pty_;
  std::string error_;
};

}  // namespace tarnvik::testing
