#include "sim/memory_link.h"

#include <algorithm>
#include <chrono>

namespace tarnvik::sim {

ReadFault ReadFaultPlan::Next() {
  ++reads_;
  if (fault_ == ReadFault::None || reads_ != readNumber_) return ReadFault::None;
  if (fault_ == ReadFault::Silent) silent_ = true;
  return fault_;
}

namespace {

// Takes up to size bytes from the queue, applying the fault of this read. -1 for a failed
// read, else the count (0 when the read went silent).
int Deliver(std::deque<uint8_t>& queue, ReadFaultPlan& faults, uint8_t* buffer, size_t size) {
  ReadFault fault = faults.Next();
  if (fault == ReadFault::Fail) return -1;
  if (fault == ReadFault::Silent) return 0;
  size_t n = std::min(size, queue.size());
  std::copy_n(queue.begin(), n, buffer);
  queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(n));
  if (fault == ReadFault::Corrupt && n > 0) buffer[0] = static_cast<uint8_t>(~buffer[0]);
  return static_cast<int>(n);
}

}  // namespace

// ---- PumpedLink -------------------------------------------------------------------------------

int PumpedLink::SetSpeed(int baud, bool xonXoff) {
  if (closed_) return -1;
  baud_ = baud;
  xonXoff_ = xonXoff;
  speeds_.push_back(baud);
  inbound_.clear();
  device_.LineChanged(baud, xonXoff);
  return 0;
}

int PumpedLink::Write(const uint8_t* bytes, size_t count) {
  if (closed_) return -1;
  written_.insert(written_.end(), bytes, bytes + count);
  std::vector<uint8_t> out;
  device_.Receive(bytes, count, out);
  inbound_.insert(inbound_.end(), out.begin(), out.end());
  return 0;
}

int PumpedLink::Read(uint8_t* buffer, size_t size, int maxWaitMs) {
  if (closed_) return -1;
  std::vector<uint8_t> out;
  if (inbound_.empty()) {
    device_.Tick(clock_.NowMs(), out);
    inbound_.insert(inbound_.end(), out.begin(), out.end());
  }
  if (inbound_.empty() || faults_.silent()) {
    // Nothing to give: the wait passes on the clock.
    if (maxWaitMs > 0) clock_.SleepMs(maxWaitMs);
    out.clear();
    device_.Tick(clock_.NowMs(), out);
    inbound_.insert(inbound_.end(), out.begin(), out.end());
    if (inbound_.empty() || faults_.silent()) return closed_ ? -1 : 0;
  }
  return Deliver(inbound_, faults_, buffer, size);
}

// ---- MemoryPipe -------------------------------------------------------------------------------

struct MemoryPipe::Shared {
  explicit Shared(core::Clock* clock) : clock(clock) {}
  core::Clock* clock;
  mutable std::mutex mutex;
  std::condition_variable changed;
  std::deque<uint8_t> toHost;
  std::deque<uint8_t> toDevice;
  bool closed = false;
  bool deviceWaiting = false;
  int64_t deviceSeenMs = -1;  // the clock as the waiting device last looked at it
  int baud = 0;
  bool xonXoff = false;
  ReadFaultPlan hostFaults;
};

class MemoryPipe::End final : public access::Transport {
 public:
  End(std::shared_ptr<Shared> shared, bool isHost) : shared_(std::move(shared)), isHost_(isHost) {}

  int SetSpeed(int baud, bool xonXoff) override {
    std::lock_guard lock(shared_->mutex);
    if (shared_->closed) return -1;
    if (isHost_) {
      shared_->baud = baud;
      shared_->xonXoff = xonXoff;
      shared_->toHost.clear();
    }
    return 0;
  }

  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override {
    using namespace std::chrono;
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    std::deque<uint8_t>& in = isHost_ ? s.toHost : s.toDevice;
    const int64_t wait = maxWaitMs < 0 ? 0 : maxWaitMs;
    const int64_t clockDeadline = s.clock ? s.clock->NowMs() + wait : 0;
    const auto realDeadline = steady_clock::now() + milliseconds(wait);
    for (;;) {
      if (s.closed) return -1;
      bool silent = isHost_ && s.hostFaults.silent();
      if (!in.empty() && !silent) {
        return isHost_ ? Deliver(in, s.hostFaults, buffer, size) : DeliverPlain(in, buffer, size);
      }
      if (s.clock) {
        int64_t now = s.clock->NowMs();
        if (now >= clockDeadline) return 0;
        if (isHost_ && s.deviceWaiting && s.deviceSeenMs == now && s.toDevice.empty()) {
          // Both sides wait for the other, and the device has seen the time as it is: only
          // time can move things on. (After a move the host waits until the device has
          // looked at the new time, so that the device's own deadlines and ticks come first.)
          s.clock->SleepMs(clockDeadline - now);
          s.changed.notify_all();
          return 0;
        }
      } else if (steady_clock::now() >= realDeadline) {
        return 0;
      }
      if (!isHost_) {
        s.deviceWaiting = true;
        s.deviceSeenMs = s.clock ? s.clock->NowMs() : 0;
        s.changed.notify_all();
      }
      // Short real-time waits: a fake clock moved by a sleeping host gives no notification.
      s.changed.wait_for(lock, milliseconds(2));
      if (!isHost_) s.deviceWaiting = false;
    }
  }

  int Write(const uint8_t* bytes, size_t count) override {
    std::lock_guard lock(shared_->mutex);
    if (shared_->closed) return -1;
    std::deque<uint8_t>& out = isHost_ ? shared_->toDevice : shared_->toHost;
    out.insert(out.end(), bytes, bytes + count);
    shared_->changed.notify_all();
    return 0;
  }

  void Purge() override {
    std::lock_guard lock(shared_->mutex);
    (isHost_ ? shared_->toHost : shared_->toDevice).clear();
  }

  void Close() override {
    std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
    shared_->changed.notify_all();
  }

 private:
  static int DeliverPlain(std::deque<uint8_t>& queue, uint8_t* buffer, size_t size) {
    size_t n = std::min(size, queue.size());
    std::copy_n(queue.begin(), n, buffer);
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<int>(n);
  }

  std::shared_ptr<Shared> shared_;
  bool isHost_;
};

MemoryPipe::MemoryPipe(core::Clock* clock)
    : shared_(std::make_shared<Shared>(clock)),
      host_(std::make_unique<End>(shared_, true)),
      device_(std::make_unique<End>(shared_, false)) {}

MemoryPipe::~MemoryPipe() { host_->Close(); }

access::Transport& MemoryPipe::host() { return *host_; }
access::Transport& MemoryPipe::device() { return *device_; }

void MemoryPipe::InjectReadFault(int readNumber, ReadFault fault) {
  std::lock_guard lock(shared_->mutex);
  shared_->hostFaults.Set(readNumber, fault);
}

int MemoryPipe::baud() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->baud;
}

bool MemoryPipe::xonXoff() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->xonXoff;
}

// ---- ServeDevice ------------------------------------------------------------------------------

int ServeDevice(access::Transport& end, Device& device, core::Clock& clock, std::stop_token stop) {
  // A stop closes the connection, which ends a read that waits for a clock that no one moves.
  std::stop_callback closeOnStop(stop, [&end] { end.Close(); });
  std::vector<uint8_t> buffer(4096);
  std::vector<uint8_t> out;
  while (!stop.stop_requested()) {
    int n = end.Read(buffer.data(), buffer.size(), 50);
    if (n < 0) return stop.stop_requested() ? 0 : -1;
    out.clear();
    if (n > 0) {
      device.Receive(buffer.data(), static_cast<size_t>(n), out);
    } else {
      device.Tick(clock.NowMs(), out);
    }
    if (!out.empty() && end.Write(out.data(), out.size()) != 0) return stop.stop_requested() ? 0 : -1;
  }
  return 0;
}

}  // namespace tarnvik::sim
