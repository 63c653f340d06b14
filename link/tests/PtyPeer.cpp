#include "PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace quarn::link::testing {

PtyPeer::PtyPeer(int com) : com_(com) {
  char name[256];
  int slave = -1;
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &slave, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
  slavePath_ = name;
  // Holding a slave descriptor keeps the master from seeing hang-ups between the program's opens.
  keepSlave_ = slave;
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

  char tmpl[] = "/tmp/quarn-pty-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  std::filesystem::create_symlink(slavePath_, dir_ + "/COM" + std::to_string(com_));
  if (const char* old = std::getenv("QUARN_PORT_DIR")) {
    hadPortDir_ = true;
    oldPortDir_ = old;
  }
  setenv("QUARN_PORT_DIR", dir_.c_str(), 1);
}

PtyPeer::~PtyPeer() {
  Unplug();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
  if (hadPortDir_) {
    setenv("QUARN_PORT_DIR", oldPortDir_.c_str(), 1);
  } else {
    unsetenv("QUARN_PORT_DIR");
  }
}

size_t PtyPeer::QueuedForThePort() const {
  int count = 0;
  if (keepSlave_ < 0 || ioctl(keepSlave_, FIONREAD, &count) != 0) return 0;
  return static_cast<size_t>(count);
}

void PtyPeer::Write(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{master_, POLLOUT, 0};
      if (poll(&p, 1, 1000) <= 0) throw std::runtime_error("pty write stalled");
    }
  }
}

std::string PtyPeer::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const size_t cr = pending_.find('\r'); cr != std::string::npos) {
      std::string line = pending_.substr(0, cr + 1);
      pending_.erase(0, cr + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || master_ < 0) return {};
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[512];
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) pending_.append(buf, static_cast<size_t>(n));
  }
}

std::string PtyPeer::ReadFor(std::chrono::milliseconds window) {
  const auto deadline = std::chrono::steady_clock::now() + window;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || master_ < 0) break;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[512];
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) pending_.append(buf, static_cast<size_t>(n));
  }
  std::string all;
  all.swap(pending_);
  return all;
}

void PtyPeer::Unplug() {
  if (keepSlave_ >= 0) close(keepSlave_);
  if (master_ >= 0) close(master_);
  keepSlave_ = master_ = -1;
  std::error_code ignored;
  std::filesystem::remove(dir_ + "/COM" + std::to_string(com_), ignored);
}

}  // namespace quarn::link::testing
