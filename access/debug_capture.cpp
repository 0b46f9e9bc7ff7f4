#include "access/debug_capture.h"

namespace tarnvik::access {
namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}

void DebugCapture::Clear() {
  std::lock_guard lock(mutex_);
  length_ = 0;
}

void DebugCapture::CaptureByte(uint8_t byte) {
  std::lock_guard lock(mutex_);
  AppendLocked(static_cast<char>(byte));
}

void DebugCapture::CaptureBytes(const uint8_t* bytes, size_t count) {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < count; ++i) AppendLocked(static_cast<char>(bytes[i]));
}

void DebugCapture::CaptureText(std::string_view text) {
  std::lock_guard lock(mutex_);
  for (char c : text) {
    if (c == '\0') break;
    AppendLocked(c);
  }
}

void DebugCapture::CaptureHexDump(const uint8_t* bytes, size_t count) {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < count; ++i) {
    if (length_ >= 99997) return;
    AppendLocked(' ');
    AppendLocked(kHexDigits[bytes[i] >> 4]);
    AppendLocked(kHexDigits[bytes[i] & 15]);
    if ((i + 1) % 16 == 0 && length_ < 99998) {
      AppendLocked('\r');
      AppendLocked('\n');
    }
  }
  if (count % 16 != 0 && length_ < 99998) {
    AppendLocked('\r');
    AppendLocked('\n');
  }
}

void DebugCapture::CaptureHexWord(uint32_t value) {
  std::lock_guard lock(mutex_);
  if (length_ >= 99992) return;
  for (int shift = 28; shift >= 0; shift -= 4) AppendLocked(kHexDigits[(value >> shift) & 15]);
}

std::string DebugCapture::Contents() const {
  std::lock_guard lock(mutex_);
  return std::string(buffer_, length_);
}

size_t DebugCapture::Length() const {
  std::lock_guard lock(mutex_);
  return length_;
}

}  // namespace tarnvik::access
