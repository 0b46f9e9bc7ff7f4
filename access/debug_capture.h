// The raw record of the last transfer: every serial byte written and read, and labelled hex
// dumps of USB traffic. Kept so that a failed transfer can be saved afterwards.
//
// A capture is either a buffer of its own or a tap on another capture: the engine gives each
// job a tap on the process-wide buffer and releases the tap when it lets go of the job, so a
// worker that outlives its job (after an abort) captures nothing more. All operations are
// guarded by the buffer's mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "core/ports.h"

namespace tarnvik::access {

class DebugCapture {
 public:
  static constexpr size_t kCapacity = 100000;

  DebugCapture() = default;
  // A tap: every operation goes to target's buffer until ReleaseTap.
  explicit DebugCapture(DebugCapture& target) : target_(&target) {}
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  void Clear();  // CaptureClear
  void CaptureByte(uint8_t byte);
  void CaptureBytes(const uint8_t* bytes, size_t count);
  // Appends the characters up to the first NUL (or the end of the view).
  void CaptureText(std::string_view text);
  // " XX" per byte, CR LF after every 16th byte and at the end of a partial line; stops at
  // 99997 bytes, and a line end is added only below 99998.
  void CaptureHexDump(const uint8_t* bytes, size_t count);
  // 8 upper-case hex digits, most significant first, if the length is below 99992.
  void CaptureHexWord(uint32_t value);
  std::string Contents() const;
  size_t Length() const;

  // A tap stops forwarding for good; returns once no operation of the tap is in progress.
  void ReleaseTap();

 private:
  struct Store {
    mutable std::mutex mutex;
    char buffer[kCapacity] = {};
    size_t length = 0;
    void Append(char c) {
      if (length < kCapacity) buffer[length++] = c;
    }
  };
  // Runs f on the buffer under its mutex; does nothing for a released tap.
  template <class F>
  void WithStore(F&& f) {
    Store& s = target_ ? target_->store_ : store_;
    std::lock_guard lock(s.mutex);
    if (tapReleased_) return;
    f(s);
  }
  const Store& store() const { return target_ ? target_->store_ : store_; }

  DebugCapture* target_ = nullptr;
  bool tapReleased_ = false;  // guarded by the target's mutex
  Store store_;
};

// The process-wide capture that the application's engine and the "&Dump Debug Data" and
// "&Clear Debug Data" commands use. It lives until the process ends.
DebugCapture& ProcessDebugCapture();

// "&Dump Debug Data": "Buffer is empty" when there is nothing, else asks for a file (title
// "Save debug buffer", "Log files", extension ".log", the remembered folder in request) and
// writes the bytes: "File written", or the system's text with caption "File write error".
// Returns 0 when a file was written, -1 otherwise.
int SaveDebugCapture(core::Ui& ui, const DebugCapture& capture, core::FileRequest& request);

}  // namespace tarnvik::access
