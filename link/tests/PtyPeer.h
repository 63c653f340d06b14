#pragma once

#include <chrono>
#include <string>

namespace quarn::link::testing {

// The far end of a pseudo-terminal, published as COM<n> in a temporary port folder that QUARN_PORT_DIR
// points at while the peer lives. Tests play the sensor byte for byte through it.
class PtyPeer {
 public:
  explicit PtyPeer(int com = 7);
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  std::string PortName() const { return "COM" + std::to_string(com_); }
  std::string SlavePath() const { return slavePath_; }

  void Write(const std::string& bytes);
  // Bytes written by Write that wait on the port's side, not yet read by anyone.
  size_t QueuedForThePort() const;
  // Bytes up to and including the next CR; empty when none came within the timeout.
  std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Everything that arrives within the window.
  std::string ReadFor(std::chrono::milliseconds window);
  // The converter pulled out: the master closes and the device node goes away.
  void Unplug();

 private:
  int com_;
  int master_ = -1;
  int keepSlave_ = -1;
  std::string dir_;
  std::string slavePath_;
  std::string oldPortDir_;
  bool hadPortDir_ = false;
  std::string pending_;
};

}  // namespace quarn::link::testing
