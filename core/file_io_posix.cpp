#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/file_io.h"

namespace tarnvik::core {
namespace {

std::string ErrnoText(int code) { return std::strerror(code); }

// Writes all bytes to an open descriptor; false on any short or failed write.
bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

// Writes bytes into a new temporary file beside path; returns its name, or "" with errno set.
std::string WriteTemporary(const std::string& path, std::string_view bytes) {
  std::string name = path + ".tmpXXXXXX";
  int fd = ::mkstemp(name.data());
  if (fd < 0) return "";
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    ::unlink(name.c_str());
    errno = saved;
    return "";
  }
  ::chmod(name.c_str(), 0644);
  return name;
}

}  // namespace

FileBytes ReadWholeFile(const std::string& path, uint64_t maxBytes) {
  FileBytes result;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.error = ReadError::Open;
    result.systemText = ErrnoText(errno);
    return result;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    result.error = ReadError::Read;
    result.systemText = ErrnoText(errno);
    ::close(fd);
    return result;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size > maxBytes) {
    result.error = ReadError::TooLarge;
    result.systemText = "Not enough memory resources are available to process this command.";
    ::close(fd);
    return result;
  }
  try {
    result.data.assign(static_cast<size_t>(size) + 1, '\0');
  } catch (const std::bad_alloc&) {
    result.error = ReadError::TooLarge;
    result.systemText = "Not enough memory resources are available to process this command.";
    ::close(fd);
    return result;
  }
  size_t got = 0;
  while (got < size) {
    ssize_t n = ::read(fd, result.data.data() + got, static_cast<size_t>(size) - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got != size) {
    result.error = ReadError::Read;
    result.systemText = ErrnoText(errno ? errno : EIO);
    ::close(fd);
    return result;
  }
  ::close(fd);
  result.size = static_cast<size_t>(size);
  return result;
}

std::string WriteFileAtomically(const std::string& path, std::string_view bytes) {
  std::string temporary = WriteTemporary(path, bytes);
  if (temporary.empty()) return ErrnoText(errno);
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    int saved = errno;
    ::unlink(temporary.c_str());
    return ErrnoText(saved);
  }
  return "";
}

std::string CreateFileExclusively(const std::string& path, std::string_view bytes, bool& exists) {
  exists = false;
  std::string temporary = WriteTemporary(path, bytes);
  if (temporary.empty()) return ErrnoText(errno);
  // link() fails with EEXIST instead of replacing: the complete file appears atomically and
  // never over an existing one.
  int rc = ::link(temporary.c_str(), path.c_str());
  int saved = errno;
  ::unlink(temporary.c_str());
  if (rc == 0) return "";
  if (saved == EEXIST) {
    exists = true;
    return ErrnoText(saved);
  }
  if (saved != EPERM && saved != ENOTSUP && saved != EXDEV) return ErrnoText(saved);
  // File systems without hard links (FAT on a memory card): create exclusively and write in
  // place, removing the file again if the write fails.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    exists = errno == EEXIST;
    return ErrnoText(errno);
  }
  bool ok = WriteAll(fd, bytes);
  saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    ::unlink(path.c_str());
    return ErrnoText(saved);
  }
  return "";
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string LastSystemErrorText() { return ErrnoText(errno); }

}  // namespace tarnvik::core
