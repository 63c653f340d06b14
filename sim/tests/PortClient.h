#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarn::sim {

// A bare termios client of the simulated port, independent of the program's serial layer.
class PortClient {
 public:
  // Opens the port (following the link) in raw mode; throws std::runtime_error on failure.
  explicit PortClient(const std::string& path);
  ~PortClient();
  PortClient(const PortClient&) = delete;
  PortClient& operator=(const PortClient&) = delete;

  int Fd() const { return fd_; }
  void Write(const std::string& bytes);

  struct Reply {
    std::string bytes;  // up to and including the CR
    int reads = 0;      // how many read() calls delivered them
  };
  // The next reply up to its CR; nothing when none completes within the timeout or the port failed.
  std::optional<Reply> ReadReply(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Writes request + CR and returns the reply text without its CR ("<none>" when there is none).
  std::string Ask(const std::string& request);

 private:
  int fd_;
  std::string pending_;  // bytes after the last CR handed out
};

// The fields of a measurement frame: bytes before 0x0E are skipped, then every field must be decimal digits
// ended by TAB and the frame must end in CR right after the last TAB. Nothing when the frame breaks that
// form.
std::optional<std::vector<uint32_t>> ParseFrame(const std::string& reply);

}  // namespace quarn::sim
