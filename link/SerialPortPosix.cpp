#include "SerialPort.h"
#include "SerialPortFaults.h"

#include <termios.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace quarn::link {

namespace {

std::error_code Errno(int code) { return {code, std::system_category()}; }

speed_t SpeedFor(uint32_t baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

uint32_t BaudFor(speed_t speed) {
  switch (speed) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

// Milliseconds left until deadline for poll(); -1 when there is no deadline.
int Remaining(bool limited, std::chrono::steady_clock::time_point deadline) {
  if (!limited) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

// The POSIX side of a port: the tty descriptor, an eventfd that ends waits, and the bytes taken from the tty
// that the program has not read yet.
struct SerialPort::Native {
  Native(int fd, std::string path);
  ~Native();

  std::error_code GetLineSettings(LineSettings& settings);
  std::error_code SetLineSettings(const LineSettings& settings);
  std::error_code Purge(uint32_t flags);
  std::error_code SetEventMask(uint8_t mask);
  uint8_t EventMask() const;
  WaitResult WaitEvent(const ManualResetEvent* wake, int timeoutMs, std::error_code& error);
  std::error_code BytesWaiting(size_t& queued);
  std::error_code Read(uint8_t* buffer, size_t count, int timeoutMs);
  std::error_code Write(const uint8_t* data, size_t count, int timeoutMs);
  void Close();
  bool IsOpen() const;

  // Moves whatever the tty has into queue_; sets sawEvent when a masked event was among it.
  // Caller holds mutex_.
  std::error_code DrainLocked(uint8_t mask, bool& sawEvent);
  std::error_code StateErrorLocked() const;
  std::error_code WriteAll(const uint8_t* data, size_t count, std::chrono::steady_clock::time_point deadline);

  const std::string path_;
  const int wakeFd_;  // eventfd that ends a pending wait on SetEventMask or Close

  mutable std::mutex mutex_;  // guards fd_, queue_, mask_, maskGeneration_, eventChar_, disconnected_
  int fd_;
  std::string queue_;  // received bytes not yet read by the program
  uint8_t mask_ = 0;
  uint64_t maskGeneration_ = 0;
  char eventChar_ = 0;
  bool disconnected_ = false;
};

std::error_code ProbePort(const std::string& devicePath) {
  if (devicePath.empty()) return Errno(ENOENT);
  const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Errno(errno);
  int code = 0;
  int exclusive = 0;
  if (!isatty(fd)) {
    code = ENOTTY;
  } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    code = errno == EWOULDBLOCK ? EBUSY : errno;
  } else if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
    // Set by another opener; root's open went through it, but the port is taken all the same.
    code = EBUSY;
  }
  close(fd);
  return code == 0 ? std::error_code() : Errno(code);
}

std::shared_ptr<SerialPort> SerialPort::Open(const std::string& devicePath, std::error_code& error) {
  error.clear();
  if (devicePath.empty()) {
    error = Errno(ENOENT);
    return nullptr;
  }
  const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = Errno(errno);
    return nullptr;
  }
  auto fail = [&](int code) {
    close(fd);
    error = Errno(code);
    return nullptr;
  };
  if (!isatty(fd)) return fail(ENOTTY);
  // TIOCEXCL does not stop root; the advisory lock does, for every opener that plays by the same rules.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
  if (ioctl(fd, TIOCEXCL) != 0) return fail(errno);

  // A COM handle is a plain byte channel: no line editing, echo or translation. Flow control stays as read.
  termios t{};
  if (tcgetattr(fd, &t) != 0) return fail(errno);
  const tcflag_t keptInput = t.c_iflag & (IXON | IXOFF | IXANY);
  const tcflag_t keptControl = t.c_cflag & CRTSCTS;
  cfmakeraw(&t);
  t.c_iflag |= keptInput;
  t.c_cflag |= keptControl | CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &t) != 0) return fail(errno);

  return std::shared_ptr<SerialPort>(new SerialPort(std::make_unique<Native>(fd, devicePath), devicePath));
}

SerialPort::Native::Native(int fd, std::string path)
    : path_(std::move(path)), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), fd_(fd) {}

SerialPort::Native::~Native() {
  Close();
  if (wakeFd_ >= 0) close(wakeFd_);
}

void SerialPort::Native::Close() {
  int fd;
  {
    std::lock_guard lock(mutex_);
    fd = fd_;
    fd_ = -1;
    queue_.clear();
    ++maskGeneration_;
  }
  if (fd < 0) return;
  const uint64_t one = 1;
  if (write(wakeFd_, &one, sizeof one) < 0) {
    // Nothing waits on a port whose wake descriptor is broken.
  }
  ioctl(fd, TIOCNXCL);
  close(fd);
}

bool SerialPort::Native::IsOpen() const {
  std::lock_guard lock(mutex_);
  return fd_ >= 0;
}

std::error_code SerialPort::Native::StateErrorLocked() const {
  if (fd_ < 0) return Errno(EBADF);
  if (disconnected_) return Errno(EIO);
  return {};
}

std::error_code SerialPort::Native::GetLineSettings(LineSettings& settings) {
  std::lock_guard lock(mutex_);
  if (auto e = StateErrorLocked()) return e;
  termios t{};
  if (tcgetattr(fd_, &t) != 0) return Errno(errno);
  settings.rest = t;
  settings.baudRate = BaudFor(cfgetospeed(&t));
  switch (t.c_cflag & CSIZE) {
    case CS5: settings.byteSize = 5; break;
    case CS6: settings.byteSize = 6; break;
    case CS7: settings.byteSize = 7; break;
    default: settings.byteSize = 8; break;
  }
  settings.parity = (t.c_cflag & PARENB) ? ((t.c_cflag & PARODD) ? 1 : 2) : kNoParity;
  settings.stopBits = (t.c_cflag & CSTOPB) ? 2 : kOneStopBit;
  settings.eventChar = eventChar_;
  return {};
}

std::error_code SerialPort::Native::SetLineSettings(const LineSettings& settings) {
  std::lock_guard lock(mutex_);
  if (auto e = StateErrorLocked()) return e;
  termios t = settings.rest;
  const speed_t speed = SpeedFor(settings.baudRate);
  if (speed == B0) return Errno(EINVAL);
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  t.c_cflag &= ~CSIZE;
  switch (settings.byteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return Errno(EINVAL);
  }
  t.c_cflag &= ~(PARENB | PARODD);
  if (settings.parity == 1) t.c_cflag |= PARENB | PARODD;
  if (settings.parity == 2) t.c_cflag |= PARENB;
  if (settings.stopBits == kOneStopBit) {
    t.c_cflag &= ~CSTOPB;
  } else {
    t.c_cflag |= CSTOPB;
  }
  if (tcsetattr(fd_, TCSANOW, &t) != 0) return Errno(errno);
  eventChar_ = settings.eventChar;
  return {};
}

std::error_code SerialPort::Native::Purge(uint32_t flags) {
  std::lock_guard lock(mutex_);
  if (auto e = StateErrorLocked()) return e;
  if ((flags & kPurgeTx) && tcflush(fd_, TCOFLUSH) != 0) return Errno(errno);
  if (flags & kPurgeRx) {
    if (tcflush(fd_, TCIFLUSH) != 0) return Errno(errno);
    queue_.clear();
  }
  return {};
}

std::error_code SerialPort::Native::SetEventMask(uint8_t mask) {
  {
    std::lock_guard lock(mutex_);
    if (auto e = StateErrorLocked()) return e;
    mask_ = mask;
    ++maskGeneration_;
  }
  const uint64_t one = 1;
  if (write(wakeFd_, &one, sizeof one) < 0) return Errno(errno);
  return {};
}

uint8_t SerialPort::Native::EventMask() const {
  std::lock_guard lock(mutex_);
  return mask_;
}

std::error_code SerialPort::Native::DrainLocked(uint8_t mask, bool& sawEvent) {
  sawEvent = false;
  if (auto e = StateErrorLocked()) return e;
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(fd_, chunk, sizeof chunk);
    if (n > 0) {
      if ((mask & kEventRxChar) || ((mask & kEventRxFlag) && std::memchr(chunk, eventChar_, n) != nullptr)) {
        sawEvent = true;
      }
      queue_.append(chunk, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return {};
    // read() == 0 or EIO on a tty: the other end is gone, and so is anything it had not delivered.
    disconnected_ = true;
    queue_.clear();
    return Errno(n == 0 ? EIO : errno);
  }
}

WaitResult SerialPort::Native::WaitEvent(const ManualResetEvent* wake, int timeoutMs, std::error_code& error) {
  error.clear();
  int fd;
  uint64_t generation;
  uint8_t mask;
  {
    std::lock_guard lock(mutex_);
    if ((error = StateErrorLocked())) return WaitResult::Failed;
    if (mask_ == 0) {
      error = Errno(EINVAL);
      return WaitResult::Failed;
    }
    fd = fd_;
    generation = maskGeneration_;
    mask = mask_;
  }
  const bool limited = timeoutMs >= 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
  for (;;) {
    pollfd fds[3] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}, {wake ? wake->Fd() : -1, POLLIN, 0}};
    const int r = poll(fds, 3, Remaining(limited, deadline));
    if (r < 0) {
      if (errno == EINTR) continue;
      error = Errno(errno);
      return WaitResult::Failed;
    }
    if (fds[2].revents & POLLIN) return WaitResult::Woken;
    std::lock_guard lock(mutex_);
    if (fds[1].revents & POLLIN) {
      uint64_t drained;
      if (read(wakeFd_, &drained, sizeof drained) < 0) {
        // Another waiter took the count first; the generation below still tells.
      }
    }
    if (maskGeneration_ != generation || fd_ != fd) return WaitResult::MaskChanged;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
      bool sawEvent = false;
      if ((error = DrainLocked(mask, sawEvent))) return WaitResult::Failed;
      if (sawEvent) return WaitResult::Event;
      if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        disconnected_ = true;
        queue_.clear();
        error = Errno(EIO);
        return WaitResult::Failed;
      }
    }
    if (r == 0 || (limited && Remaining(limited, deadline) == 0)) return WaitResult::Timeout;
  }
}

std::error_code SerialPort::Native::BytesWaiting(size_t& queued) {
  std::lock_guard lock(mutex_);
  queued = 0;
  bool sawEvent;
  if (auto e = DrainLocked(0, sawEvent)) return e;
  queued = queue_.size();
  return {};
}

std::error_code SerialPort::Native::Read(uint8_t* buffer, size_t count, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int fd;
    {
      std::lock_guard lock(mutex_);
      bool sawEvent;
      if (queue_.size() < count) {
        if (auto e = DrainLocked(0, sawEvent)) return e;
      }
      if (queue_.size() >= count) {
        std::memcpy(buffer, queue_.data(), count);
        queue_.erase(0, count);
        return {};
      }
      fd = fd_;
    }
    const int left = Remaining(true, deadline);
    if (left == 0) return Errno(ETIMEDOUT);
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, left) < 0 && errno != EINTR) return Errno(errno);
  }
}

std::error_code SerialPort::Native::Write(const uint8_t* data, size_t count, int timeoutMs) {
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::milliseconds(timeoutMs);
  uint32_t baud = 9600;
  {
    std::lock_guard lock(mutex_);
    termios t{};
    if (fd_ >= 0 && tcgetattr(fd_, &t) == 0 && BaudFor(cfgetospeed(&t)) > 0) baud = BaudFor(cfgetospeed(&t));
  }
  // A write completes when the line has carried the bytes (ten bits each). A real UART takes that long
  // by itself; a pseudo-terminal would not, and back-to-back polls would flood the reader.
  const auto lineTime = std::chrono::microseconds(count * 10 * 1000000 / baud);
  const std::error_code result = WriteAll(data, count, deadline);
  if (!result) std::this_thread::sleep_until(start + lineTime);
  return result;
}

std::error_code SerialPort::Native::WriteAll(const uint8_t* data, size_t count,
                                             std::chrono::steady_clock::time_point deadline) {
  size_t done = 0;
  while (done < count) {
    int fd;
    {
      std::lock_guard lock(mutex_);
      if (auto e = StateErrorLocked()) return e;
      fd = fd_;
    }
    const ssize_t n = write(fd, data + done, count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const int left = Remaining(true, deadline);
      if (left == 0) return Errno(ETIMEDOUT);
      pollfd p{fd, POLLOUT, 0};
      const int r = poll(&p, 1, left);
      if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        std::lock_guard lock(mutex_);
        disconnected_ = true;
        return Errno(EIO);
      }
      continue;
    }
    if (n < 0 && errno == EIO) {
      std::lock_guard lock(mutex_);
      disconnected_ = true;
    }
    return Errno(n < 0 ? errno : EIO);
  }
  return {};
}

SerialPort::SerialPort(std::unique_ptr<Native> native, std::string devicePath)
    : native_(std::move(native)), devicePath_(std::move(devicePath)) {}
SerialPort::~SerialPort() = default;
std::error_code SerialPort::GetLineSettings(LineSettings& settings) { return native_->GetLineSettings(settings); }
std::error_code SerialPort::SetLineSettings(const LineSettings& settings) { return native_->SetLineSettings(settings); }
std::error_code SerialPort::Purge(uint32_t flags) { return native_->Purge(flags); }
std::error_code SerialPort::SetEventMask(uint8_t mask) { return native_->SetEventMask(mask); }
uint8_t SerialPort::EventMask() const { return native_->EventMask(); }
WaitResult SerialPort::WaitEvent(const ManualResetEvent* wake, int timeoutMs, std::error_code& error) {
  return native_->WaitEvent(wake, timeoutMs, error);
}
std::error_code SerialPort::BytesWaiting(size_t& queued) { return native_->BytesWaiting(queued); }
std::error_code SerialPort::Read(uint8_t* buffer, size_t count, int timeoutMs) {
  if (auto fault = detail::TakeFault(devicePath_, detail::FaultedOperation::Read)) return fault;
  return native_->Read(buffer, count, timeoutMs);
}
std::error_code SerialPort::Write(const uint8_t* data, size_t count, int timeoutMs) {
  if (auto fault = detail::TakeFault(devicePath_, detail::FaultedOperation::Write)) return fault;
  return native_->Write(data, count, timeoutMs);
}
void SerialPort::Close() { native_->Close(); }
bool SerialPort::IsOpen() const { return native_->IsOpen(); }

}  // namespace quarn::link
