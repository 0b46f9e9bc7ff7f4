// The serial transport on POSIX: a termios device opened non-blocking, with poll() bounding
// every wait. Pseudo-terminals work too (they have no modem lines; that is not an error).
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "access/serial_port.h"

namespace tarnvik::access {
namespace {

constexpr char kOpenCaption[] = "Opening the COM port";
constexpr char kGetStateCaption[] = "Getting COM port state";
constexpr char kSetStateCaption[] = "Setting COM port state";
constexpr char kPurgeCaption[] = "Purging COM port buffers";
constexpr cc_t kXon = 17;
constexpr cc_t kXoff = 19;

bool BaudConstant(int baud, speed_t& out) {
  struct Entry {
    int baud;
    speed_t constant;
  };
  static constexpr Entry kTable[] = {
      {300, B300},     {600, B600},     {1200, B1200},   {2400, B2400},     {4800, B4800},
      {9600, B9600},   {19200, B19200}, {38400, B38400}, {57600, B57600},   {115200, B115200},
      {230400, B230400},
  };
  for (const Entry& e : kTable) {
    if (e.baud == baud) {
      out = e.constant;
      return true;
    }
  }
  return false;
}

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class PosixSerialPort final : public Transport {
 public:
  explicit PosixSerialPort(int fd) : fd_(fd) {}
  ~PosixSerialPort() override { Close(); }

  int SetSpeed(int baud, bool xonXoff) override {
    std::lock_guard lock(mutex_);
    if (closed_) return FailLocked(kSetStateCaption, EBADF);
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return FailLocked(kGetStateCaption, errno);
    speed_t speed;
    if (!BaudConstant(baud, speed)) return FailLocked(kSetStateCaption, EINVAL);
    // Binary 8N1: no parity, no character translation or stripping, no echo, no signals.
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK | BRKINT);
    tio.c_cc[VSTART] = kXon;
    tio.c_cc[VSTOP] = kXoff;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    // An XOFF from the unit whose XON never came (a transfer aborted mid-reply, a unit left
    // busy) keeps the line's output stopped, even across a close. The line is set without flow
    // control first, which restarts stopped output, and then with it where the protocol asks.
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) return FailLocked(kSetStateCaption, errno);
    tcflow(fd_, TCOON);
    if (xonXoff) {
      tio.c_iflag |= IXON | IXOFF;
      if (tcsetattr(fd_, TCSANOW, &tio) != 0) return FailLocked(kSetStateCaption, errno);
    }
    // DTR and RTS on. A pseudo-terminal has no modem lines (ENOTTY/EINVAL): not an error.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd_, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
      return FailLocked(kSetStateCaption, errno);
    }
    if (tcflush(fd_, TCIOFLUSH) != 0) return FailLocked(kPurgeCaption, errno);
    baud_ = baud;
    return 0;
  }

  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override {
    int fd;
    {
      std::lock_guard lock(mutex_);
      if (closed_) return -1;
      fd = fd_;
    }
    int waitMs = maxWaitMs < 0 ? 0 : (maxWaitMs > kReadSliceMs ? kReadSliceMs : maxWaitMs);
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, waitMs);
    if (ready < 0 && errno != EINTR) return Fail("Reading the COM port", errno);
    std::lock_guard lock(mutex_);
    if (closed_) return -1;  // closed by an abort while waiting
    if (ready <= 0) return 0;
    ssize_t n = ::read(fd_, buffer, size);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
    // 0 bytes after a readiness report is a hang-up; EIO is what a pseudo-terminal gives when
    // the other side went away.
    return FailLocked("Reading the COM port", n == 0 ? EIO : errno);
  }

  int Write(const uint8_t* bytes, size_t count) override {
    int baud;
    {
      std::lock_guard lock(mutex_);
      baud = baud_;
    }
    const int64_t deadline = SteadyMs() + WriteTimeoutMs(baud, count);
    size_t done = 0;
    while (done < count) {
      int fd;
      {
        std::lock_guard lock(mutex_);
        if (closed_) return -1;
        fd = fd_;
        ssize_t n = ::write(fd_, bytes + done, count - done);
        if (n > 0) {
          done += static_cast<size_t>(n);
          continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
          return FailLocked("Writing to the COM port", errno);
        }
      }
      // The line is full (or stopped by XOFF): wait for room until the time-out. A write that
      // times out before every byte went out has failed.
      int64_t left = deadline - SteadyMs();
      if (left <= 0) return Fail("Writing to the COM port", ETIMEDOUT);
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return Fail("Writing to the COM port", errno);
    }
    return 0;
  }

  void Purge() override {
    std::lock_guard lock(mutex_);
    if (!closed_) tcflush(fd_, TCIOFLUSH);
  }

  void Close() override {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
    // Exclusive use ends before the descriptor does: the flag belongs to the line, not to
    // this descriptor, and outlives it wherever the device stays open on the other side (a
    // pseudo-terminal, a line some other program holds). Left set, the next open by a normal
    // user (root is exempt) would fail with "Device or resource busy".
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }

  std::string ErrorCaption() const override {
    std::lock_guard lock(mutex_);
    return errorCaption_;
  }
  std::string ErrorText() const override {
    std::lock_guard lock(mutex_);
    return errorText_;
  }

 private:
  int FailLocked(const char* caption, int error) {
    errorCaption_ = caption;
    errorText_ = std::strerror(error);
    return -1;
  }
  int Fail(const char* caption, int error) {
    std::lock_guard lock(mutex_);
    return FailLocked(caption, error);
  }

  mutable std::mutex mutex_;  // guards fd_ against Close from the aborting thread
  int fd_;
  bool closed_ = false;
  int baud_ = 9600;
  std::string errorCaption_;
  std::string errorText_;
};

}  // namespace

int WriteTimeoutMs(int baud, size_t count) {
  return static_cast<int>(count) * (baud == 4800 ? 3 : 2);
}

std::string SerialDevicePath(const std::string& portName) {
  std::string name = portName;
  if (!name.empty() && name.back() == ':') name.pop_back();
  if (name.size() > 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(name[2])) == 'M') {
    bool digits = true;
    for (size_t i = 3; i < name.size(); ++i) digits = digits && std::isdigit(static_cast<unsigned char>(name[i]));
    if (digits && name.size() <= 6) {
      int n = std::stoi(name.substr(3));
      if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
    }
  }
  return portName;
}

std::string DescribeOpenFailure(int systemError, const std::string& devicePath) {
  std::string text = std::strerror(systemError);
  if (systemError == EACCES || systemError == EPERM) {
    return text + " (" + devicePath + ": the user must be a member of the dialout group)";
  }
  return text + " (" + devicePath + ")";
}

std::unique_ptr<Transport> OpenSerialPort(const std::string& portName, std::string& errorCaption,
                                          std::string& errorText) {
  std::string path = SerialDevicePath(portName);
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    int error = errno;
    errorCaption = kOpenCaption;
    errorText = DescribeOpenFailure(error, path);
    return nullptr;
  }
  // Not shared: other openers are refused while we hold the port (root is exempt). Close
  // gives the exclusive use up again (TIOCNXCL).
  ::ioctl(fd, TIOCEXCL);
  return std::make_unique<PosixSerialPort>(fd);
}

}  // namespace tarnvik::access
