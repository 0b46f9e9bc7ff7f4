#include <filesystem>
#include <system_error>
#include <vector>

#include "core/ports.h"
#include "sim/pty_device.h"

namespace tarnvik::sim {

namespace fs = std::filesystem;

std::unique_ptr<PtyDevice> PtyDevice::Create(Device& device, const std::string& linkPath, std::string& error) {
  std::unique_ptr<access::PseudoTerminal> pty = access::PseudoTerminal::Create(error);
  if (!pty) {
    error = "Could not create a pseudo-terminal: " + error;
    return nullptr;
  }
  if (!linkPath.empty()) {
    std::error_code ec;
    fs::file_status status = fs::symlink_status(linkPath, ec);
    if (fs::exists(status) && !fs::is_symlink(status)) {
      error = linkPath + " exists and is not a link";
      return nullptr;
    }
    if (fs::is_symlink(status)) fs::remove(linkPath, ec);
    fs::create_symlink(pty->hostPath(), linkPath, ec);
    if (ec) {
      error = "Could not link " + linkPath + ": " + ec.message();
      return nullptr;
    }
  }
  return std::unique_ptr<PtyDevice>(new PtyDevice(device, std::move(pty), linkPath));
}

PtyDevice::~PtyDevice() {
  Stop();
  if (!linkPath_.empty()) {
    // Only our own link goes: another simulator may have taken the name since.
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(linkPath_, ec)) && fs::read_symlink(linkPath_, ec) == pty_->hostPath()) {
      fs::remove(linkPath_, ec);
    }
  }
}

int PtyDevice::Serve(std::stop_token stop) {
  core::Clock& clock = core::SystemClock();
  std::vector<uint8_t> buffer(4096);
  std::vector<uint8_t> out;
  bool attached = false;
  int baud = 0;
  bool xonXoff = false;
  auto followLine = [&] {
    int b = 0;
    bool x = false, echo = false;
    if (pty_->HostLine(b, x, echo) && (b != baud || x != xonXoff)) {
      baud = b;
      xonXoff = x;
      std::lock_guard lock(mutex_);
      device_.LineChanged(b, x);
    }
  };
  while (!stop.stop_requested()) {
    bool now = pty_->HostAttached();
    if (attached && !now) {
      std::lock_guard lock(mutex_);
      device_.HostClosed();
      baud = 0;  // the next host's line setting reaches the device even when it is the same
    }
    attached = now;
    if (attached) followLine();
    int n = pty_->Read(buffer.data(), buffer.size(), 50);
    if (n < 0) return stop.stop_requested() ? 0 : -1;
    out.clear();
    if (n > 0) {
      followLine();  // a speed change just before the bytes applies to them
      std::lock_guard lock(mutex_);
      device_.Receive(buffer.data(), static_cast<size_t>(n), out);
    } else {
      std::lock_guard lock(mutex_);
      device_.Tick(clock.NowMs(), out);
    }
    if (!out.empty() && pty_->Write(out.data(), out.size()) != 0) return stop.stop_requested() ? 0 : -1;
  }
  return 0;
}

void PtyDevice::Start() {
  Stop();
  thread_ = std::jthread([this](std::stop_token stop) { Serve(stop); });
}

void PtyDevice::Stop() {
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();
  }
}

}  // namespace tarnvik::sim
