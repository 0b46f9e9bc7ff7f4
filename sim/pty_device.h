// Serves a simulated instrument behind a pseudo-terminal, so that any host program (ours
// through the real serial code, gpsbabel, a terminal) can talk to it as to a COM port.
#pragma once

#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "access/pseudo_terminal.h"
#include "sim/simulator.h"

namespace tarnvik::sim {

class PtyDevice {
 public:
  // Creates the pseudo-terminal and, when linkPath is not empty, a symbolic link there to the
  // host side (an old link at that path is replaced; any other file is left alone and is an
  // error). Null with a text in error on failure.
  static std::unique_ptr<PtyDevice> Create(Device& device, const std::string& linkPath, std::string& error);
  // Stops serving and removes the link.
  ~PtyDevice();
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;

  // What the host opens: the link, or the pseudo-terminal's own path when there is none.
  const std::string& hostPath() const { return linkPath_.empty() ? pty_->hostPath() : linkPath_; }
  const std::string& ptsPath() const { return pty_->hostPath(); }

  // Serves until stop is requested: host bytes to Device::Receive, quiet 50 ms slices to
  // Tick, line changes to LineChanged, the host's close to HostClosed; replies go back while
  // a host is attached. 0 when stopped, -1 when the pseudo-terminal failed.
  int Serve(std::stop_token stop);
  // Serve on a thread of its own; Stop ends it.
  void Start();
  void Stop();
  // Keeps the device still while held: the serving thread calls the device only under this
  // lock, so a test may read or change what the simulator holds while it serves.
  [[nodiscard]] std::unique_lock<std::mutex> Hold() { return std::unique_lock(mutex_); }

 private:
  PtyDevice(Device& device, std::unique_ptr<access::PseudoTerminal> pty, std::string linkPath)
      : device_(device), pty_(std::move(pty)), linkPath_(std::move(linkPath)) {}

  Device& device_;
  std::unique_ptr<access::PseudoTerminal> pty_;
  std::string linkPath_;
  std::mutex mutex_;  // held around every call into device_
  std::jthread thread_;
};

}  // namespace tarnvik::sim
