#include "core/text_buffer.h"

#include <cstdarg>
#include <cstdio>
#include <new>

namespace tarnvik::core {

int TextBuffer::AppendLine(std::string_view line) {
  try {
    while (text_.size() + line.size() + 1 >= capacity_) capacity_ *= 2;
    text_.append(line);
  } catch (const std::bad_alloc&) {
    text_.clear();
    text_.shrink_to_fit();
    return -1;
  }
  return 0;
}

int TextBuffer::AppendFormat(const char* format, ...) {
  char line[kLineCapacity * 2];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length < 0) return -1;
  if (static_cast<size_t>(length) < sizeof line) return AppendLine(std::string_view(line, length));
  std::string longLine(static_cast<size_t>(length) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(longLine.data(), longLine.size(), format, args);
  va_end(args);
  longLine.resize(static_cast<size_t>(length));
  return AppendLine(longLine);
}

}  // namespace tarnvik::core
