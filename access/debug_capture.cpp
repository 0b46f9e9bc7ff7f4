#include "access/debug_capture.h"

#include "core/file_io.h"

namespace tarnvik::access {
namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kSaveCaption[] = "Save debug buffer";
}  // namespace

void DebugCapture::Clear() {
  WithStore([](Store& s) { s.length = 0; });
}

void DebugCapture::CaptureByte(uint8_t byte) {
  WithStore([&](Store& s) { s.Append(static_cast<char>(byte)); });
}

void DebugCapture::CaptureBytes(const uint8_t* bytes, size_t count) {
  WithStore([&](Store& s) {
    for (size_t i = 0; i < count; ++i) s.Append(static_cast<char>(bytes[i]));
  });
}

void DebugCapture::CaptureText(std::string_view text) {
  WithStore([&](Store& s) {
    for (char c : text) {
      if (c == '\0') break;
      s.Append(c);
    }
  });
}

void DebugCapture::CaptureHexDump(const uint8_t* bytes, size_t count) {
  WithStore([&](Store& s) {
    for (size_t i = 0; i < count; ++i) {
      if (s.length >= 99997) return;
      s.Append(' ');
      s.Append(kHexDigits[bytes[i] >> 4]);
      s.Append(kHexDigits[bytes[i] & 15]);
      if ((i + 1) % 16 == 0 && s.length < 99998) {
        s.Append('\r');
        s.Append('\n');
      }
    }
    if (count % 16 != 0 && s.length < 99998) {
      s.Append('\r');
      s.Append('\n');
    }
  });
}

void DebugCapture::CaptureHexWord(uint32_t value) {
  WithStore([&](Store& s) {
    if (s.length >= 99992) return;
    for (int shift = 28; shift >= 0; shift -= 4) s.Append(kHexDigits[(value >> shift) & 15]);
  });
}

std::string DebugCapture::Contents() const {
  const Store& s = store();
  std::lock_guard lock(s.mutex);
  return std::string(s.buffer, s.length);
}

size_t DebugCapture::Length() const {
  const Store& s = store();
  std::lock_guard lock(s.mutex);
  return s.length;
}

void DebugCapture::ReleaseTap() {
  if (!target_) return;
  std::lock_guard lock(target_->store_.mutex);
  tapReleased_ = true;
}

DebugCapture& ProcessDebugCapture() {
  // Never destroyed: a worker left to end on its own after an abort may still hold a tap on it
  // while the process exits.
  static DebugCapture* capture = new DebugCapture;
  return *capture;
}

int SaveDebugCapture(core::Ui& ui, const DebugCapture& capture, core::FileRequest& request) {
  std::string bytes = capture.Contents();
  if (bytes.empty()) {
    ui.ShowMessage(kSaveCaption, "Buffer is empty", core::Icon::Information);
    return -1;
  }
  request.title = kSaveCaption;
  request.filters = {{"Log files", "*.log"}};
  request.filterIndex = 1;
  request.defaultExtension = "log";
  std::optional<std::string> path = ui.ChooseSaveFile(request);
  if (!path) return -1;
  std::string error = core::WriteFileAtomically(*path, bytes);
  if (!error.empty()) {
    ui.ShowMessage("File write error", error, core::Icon::Information);
    return -1;
  }
  ui.ShowMessage(kSaveCaption, "File written", core::Icon::Information);
  return 0;
}

}  // namespace tarnvik::access
