#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "sim/PseudoTerminal.h"
#include "sim/SensorReplies.h"
#include "sim/Settings.h"

namespace quarn::sim {

// The simulator process: one thread, one poll loop over the pseudo-terminal, standard input and
// the timers of delayed or split replies and of the late appearance or disappearance.
class Simulator {
 public:
  explicit Simulator(SimSettings settings);
  ~Simulator();

  // Runs until "quit" or SIGTERM/SIGINT/SIGHUP; the exit status.
  int Run();

 private:
  using Clock = std::chrono::steady_clock;

  // A piece of a reply that goes out at its time; pieces leave strictly in order.
  struct Chunk {
    Clock::time_point due;
    std::string bytes;
  };

  bool Plug();
  void Unplug();
  void ReadRequests();
  void HandleRequest(const std::string& line);
  void QueueReply(const std::string& reply);
  void SendDueChunks(Clock::time_point now);
  // False once standard input has ended.
  bool ReadControl();
  void HandleControl(const std::string& line);
  std::optional<Clock::time_point> NextWakeUp() const;

  SimSettings settings_;
  SensorReplies replies_;
  std::string linkPath_;
  std::unique_ptr<PseudoTerminal> terminal_;
  std::string requestBuffer_;
  std::string controlBuffer_;
  std::deque<Chunk> outbox_;
  std::optional<Clock::time_point> appearAt_;
  std::optional<Clock::time_point> disappearAt_;
  bool quit_ = false;
};

}  // namespace quarn::sim
