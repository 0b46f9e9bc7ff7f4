// Whole-file reads and replace-safe writes shared by every reader and writer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvik::core {

enum class ReadError {
  None,
  Open,       // the file could not be opened
  TooLarge,   // larger than the caller's limit or than memory can hold
  Read,       // a read failed
};

struct FileBytes {
  // The file's bytes followed by one NUL (not counted in size), so text parsers may stop at it.
  std::vector<char> data;
  size_t size = 0;
  ReadError error = ReadError::None;
  std::string systemText;  // the system's text for the failure, when there is one
  const char* begin() const { return data.data(); }
  char* bytes() { return data.data(); }
};

// Reads a whole file. Sizes are taken in 64 bits; a file larger than maxBytes is TooLarge.
FileBytes ReadWholeFile(const std::string& path, uint64_t maxBytes = uint64_t{1} << 31);

// Writes bytes to a temporary file in the target's folder and renames it over the target only
// when every byte is written, so a failed write leaves any older file untouched and no partial
// file. Returns an empty string on success, else the system's text for the failure.
std::string WriteFileAtomically(const std::string& path, std::string_view bytes);

// Creates a new file with the given bytes only if no file of that name exists (the temporary
// file is linked into place without replacing). Returns "" on success; sets exists when the
// target was already there.
std::string CreateFileExclusively(const std::string& path, std::string_view bytes, bool& exists);

bool FileExists(const std::string& path);

// The platform's text for the last error code (errno on POSIX).
std::string LastSystemErrorText();

}  // namespace tarnvik::core
