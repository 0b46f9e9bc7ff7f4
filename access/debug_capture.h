// The raw record of the last transfer: every serial byte written and read, and labelled hex
// dumps of USB traffic. Kept so that a failed transfer can be saved afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace tarnvik::access {

class DebugCapture {
 public:
  static constexpr size_t kCapacity = 100000;

  void Clear();
  void CaptureByte(uint8_t byte);
  void CaptureBytes(const uint8_t* bytes, size_t count);
  void CaptureText(std::string_view text);
  // " XX" per byte, CR LF after every 16th byte and at the end of a partial line.
  void CaptureHexDump(const uint8_t* bytes, size_t count);
  void CaptureHexWord(uint32_t value);  // 8 upper-case hex digits
  std::string Contents() const;
  size_t Length() const;

 private:
  void AppendLocked(char c) {
    if (length_ < kCapacity) buffer_[length_++] = c;
  }
  mutable std::mutex mutex_;
  char buffer_[kCapacity] = {};
  size_t length_ = 0;
};

}  // namespace tarnvik::access
