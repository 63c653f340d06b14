#include "PortClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace quarn::sim {

PortClient::PortClient(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
  if (fd_ < 0) throw std::runtime_error("open " + path + ": " + std::strerror(errno));
  termios t{};
  if (tcgetattr(fd_, &t) != 0) {
    close(fd_);
    throw std::runtime_error("tcgetattr " + path + ": " + std::strerror(errno));
  }
  cfmakeraw(&t);
  cfsetspeed(&t, B9600);
  tcsetattr(fd_, TCSANOW, &t);
}

PortClient::~PortClient() { close(fd_); }

void PortClient::Write(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error(std::string("write: ") + std::strerror(errno));
    done += static_cast<size_t>(n);
  }
}

std::optional<PortClient::Reply> PortClient::ReadReply(std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + timeout;
  Reply reply;
  reply.bytes.swap(pending_);
  for (;;) {
    if (const size_t cr = reply.bytes.find('\r'); cr != std::string::npos) {
      pending_ = reply.bytes.substr(cr + 1);
      reply.bytes.resize(cr + 1);
      return reply;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || !(p.revents & POLLIN)) return std::nullopt;
    char buffer[512];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    reply.bytes.append(buffer, static_cast<size_t>(n));
    ++reply.reads;
  }
}

std::string PortClient::Ask(const std::string& request) {
  Write(request + "\r");
  const std::optional<Reply> reply = ReadReply();
  if (!reply) return "<none>";
  return reply->bytes.substr(0, reply->bytes.size() - 1);
}

std::optional<std::vector<uint32_t>> ParseFrame(const std::string& reply) {
  const size_t start = reply.find('\x0e');
  if (start == std::string::npos || reply.empty() || reply.back() != '\r') return std::nullopt;
  std::vector<uint32_t> fields;
  std::string digits;
  for (size_t i = start + 1; i + 1 < reply.size(); ++i) {
    const char c = reply[i];
    if (c >= '0' && c <= '9') {
      digits += c;
    } else if (c == '\t' && !digits.empty() && digits.size() <= 9) {
      fields.push_back(static_cast<uint32_t>(std::stoul(digits)));
      digits.clear();
    } else {
      return std::nullopt;
    }
  }
  if (!digits.empty()) return std::nullopt;
  return fields;
}

}  // namespace quarn::sim
