#include "PseudoTerminal.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace quarn::sim {

namespace {

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

bool AddFlags(int fd, int statusFlags) {
  const int status = fcntl(fd, F_GETFL);
  const int descriptor = fcntl(fd, F_GETFD);
  return status >= 0 && descriptor >= 0 && fcntl(fd, F_SETFL, status | statusFlags) == 0 &&
         fcntl(fd, F_SETFD, descriptor | FD_CLOEXEC) == 0;
}

}  // namespace

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open(std::string& error) {
  int master = -1;
  int slave = -1;
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  cfsetispeed(&raw, B9600);
  cfsetospeed(&raw, B9600);
  raw.c_cflag |= CLOCAL | CREAD;
  if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
    error = ErrnoText("openpty");
    return nullptr;
  }
  if (!AddFlags(master, O_NONBLOCK) || !AddFlags(slave, 0)) {
    error = ErrnoText("fcntl");
    close(master);
    close(slave);
    return nullptr;
  }
  return std::unique_ptr<PseudoTerminal>(new PseudoTerminal(master, slave, name));
}

PseudoTerminal::PseudoTerminal(int master, int slave, std::string slavePath)
    : master_(master), slave_(slave), slavePath_(std::move(slavePath)) {}

PseudoTerminal::~PseudoTerminal() {
  close(slave_);
  close(master_);
}

bool PublishLink(const std::string& link, const std::string& target, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path linkPath(link);
  if (linkPath.has_parent_path()) fs::create_directories(linkPath.parent_path(), ec);
  // Built beside the final name and renamed over it, so that nobody sees a missing or half-made link.
  const std::string temporary = link + ".new" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) {
    error = ErrnoText("symlink " + temporary);
    return false;
  }
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    error = ErrnoText("rename to " + link);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
  char buffer[4096];
  const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
  if (length < 0 || std::string(buffer, static_cast<size_t>(length)) != target) return;
  unlink(link.c_str());
}

}  // namespace quarn::sim
