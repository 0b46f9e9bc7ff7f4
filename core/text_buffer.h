// The growable output buffer that text file writers fill line by line before a single write.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnvik::core {

class TextBuffer {
 public:
  static constexpr size_t kInitialCapacity = 20000;
  static constexpr size_t kLineCapacity = 128;

  TextBuffer() { text_.reserve(kInitialCapacity); }

  // Appends a line (the caller includes any line end). The nominal capacity doubles whenever
  // length + line length + 1 reaches it, as the writers' memory accounting expects. Returns 0,
  // or -1 when no memory is left (writers then report "Memory allocation error").
  int AppendLine(std::string_view line);
  // Formats one line printf-style and appends it. Lines are not limited to kLineCapacity: a
  // longer line is appended whole rather than cut.
  int AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

  const std::string& Text() const { return text_; }
  size_t Length() const { return text_.size(); }
  size_t Capacity() const { return capacity_; }
  void Clear() {
    text_.clear();
    capacity_ = kInitialCapacity;
  }

 private:
  std::string text_;
  size_t capacity_ = kInitialCapacity;
};

}  // namespace tarnvik::core
