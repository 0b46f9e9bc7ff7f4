#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "access/pseudo_terminal.h"

namespace tarnvik::access {
namespace {

// Pause while no host is attached (POLLHUP is reported at once then; without a pause the
// reader would spin).
constexpr int kNoHostPauseMs = 5;
constexpr int kWriteWaitMs = 1000;

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int BaudFromLine(unsigned speedCode) {
  struct Entry {
    speed_t code;
    int baud;
  };
  static constexpr Entry kTable[] = {
      {B300, 300},     {B600, 600},     {B1200, 1200},   {B2400, 2400},     {B4800, 4800},
      {B9600, 9600},   {B19200, 19200}, {B38400, 38400}, {B57600, 57600},   {B115200, 115200},
      {B230400, 230400},
  };
  for (const Entry& e : kTable) {
    if (e.code == speedCode) return e.baud;
  }
  return 0;
}

std::unique_ptr<PseudoTerminal> PseudoTerminal::Create(std::string& error) {
  int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  char name[128];
  if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
    error = std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  // Raw on both sides: the line's settings are shared by the two ends of the pair and kept
  // while this side stays open, also across a close and reopen of the host side.
  termios tio{};
  if (tcgetattr(fd, &tio) == 0) {
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &tio);
  }
  int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  return std::unique_ptr<PseudoTerminal>(new PseudoTerminal(fd, name));
}

PseudoTerminal::~PseudoTerminal() { Close(); }

int PseudoTerminal::Fd() {
  std::lock_guard lock(mutex_);
  return closed_ ? -1 : fd_;
}

bool PseudoTerminal::HostAttached() {
  int fd = Fd();
  if (fd < 0) return false;
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 0) < 0) return false;
  return (p.revents & POLLHUP) == 0;
}

bool PseudoTerminal::HostLine(int& baud, bool& xonXoff, bool& echo) {
  int fd = Fd();
  termios tio{};
  if (fd < 0 || tcgetattr(fd, &tio) != 0) return false;
  baud = BaudFromLine(cfgetospeed(&tio));
  xonXoff = (tio.c_iflag & IXON) != 0;
  echo = (tio.c_lflag & ECHO) != 0;
  return true;
}

int PseudoTerminal::SetSpeed(int, bool) { return Fd() < 0 ? -1 : 0; }

int PseudoTerminal::Read(uint8_t* buffer, size_t size, int maxWaitMs) {
  const int64_t deadline = SteadyMs() + (maxWaitMs < 0 ? 0 : maxWaitMs);
  for (;;) {
    int fd = Fd();
    if (fd < 0) return -1;
    int64_t left = deadline - SteadyMs();
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left < 0 ? 0 : left));
    if (ready < 0 && errno != EINTR) {
      std::lock_guard lock(mutex_);
      errorText_ = std::strerror(errno);
      return -1;
    }
    if (ready > 0 && (p.revents & POLLIN)) {
      ssize_t n = ::read(fd, buffer, size);
      if (n > 0) return static_cast<int>(n);
      // EIO: the host closed its side; EAGAIN: nothing after all.
    }
    if (ready > 0 && !(p.revents & POLLIN) && (p.revents & POLLNVAL)) return -1;
    left = deadline - SteadyMs();
    if (left <= 0) return 0;
    if (ready > 0) {
      // Hang-up (no host attached): wait a little rather than spin on POLLHUP.
      std::this_thread::sleep_for(std::chrono::milliseconds(left < kNoHostPauseMs ? left : kNoHostPauseMs));
    }
  }
}

int PseudoTerminal::Write(const uint8_t* bytes, size_t count) {
  const int64_t deadline = SteadyMs() + kWriteWaitMs;
  size_t done = 0;
  while (done < count) {
    if (!HostAttached()) return Fd() < 0 ? -1 : 0;  // nobody listens: the bytes are lost
    int fd = Fd();
    if (fd < 0) return -1;
    ssize_t n = ::write(fd, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != EIO) {
      std::lock_guard lock(mutex_);
      errorText_ = std::strerror(errno);
      return -1;
    }
    int64_t left = deadline - SteadyMs();
    if (left <= 0) return -1;
    pollfd p{fd, POLLOUT, 0};
    poll(&p, 1, static_cast<int>(left < 10 ? left : 10));
  }
  return 0;
}

void PseudoTerminal::Purge() {
  int fd = Fd();
  if (fd >= 0) tcflush(fd, TCIOFLUSH);
}

void PseudoTerminal::Close() {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  closed_ = true;
  ::close(fd_);
}

std::string PseudoTerminal::ErrorCaption() const { return ""; }

std::string PseudoTerminal::ErrorText() const {
  std::lock_guard lock(mutex_);
  return errorText_;
}

}  // namespace tarnvik::access
