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
// the timers of delayed or split replies and of the late appearance or disappearance. Like a real
// sensor it answers one request at a time, sends its replies at the pace of its line, and keeps
// requests that arrive meanwhile in a small input buffer (what does not fit is lost).
class Simulator {
 public:
  explicit Simulator(SimSettings settings);
  ~Simulator();

  // Runs until "quit" or SIGTERM/SIGINT/SIGHUP; the exit status.
  int Run();

 private:
  using Clock = std::chrono::steady_clock;

  // A piece of a reply that goes out at its time; pieces leave strictly in order, byte by byte at
  // the line's pace from start on.
  struct Chunk {
    Clock::time_point due;
    std::string bytes;
    std::optional<Clock::time_point> start;
    size_t sent = 0;
    // On the last piece of a reply: the request it answers; empty for frames sent unasked.
    std::string answers;
  };

  // PortDir/COM<n> for the port number in force.
  std::string LinkPath() const;
  bool Plug();
  void Unplug();
  void ReadRequests();
  void TakeByte(char c);
  // Answers buffered requests until one has a reply on its way.
  void AnswerNextRequests();
  void QueueReply(const std::string& reply, const std::string& request);
  void SendDueBytes(Clock::time_point now);
  Clock::duration ByteTime() const;
  // False once standard input has ended.
  bool ReadControl();
  void HandleControl(const std::string& line);
  std::optional<Clock::time_point> NextWakeUp() const;

  SimSettings settings_;
  SensorReplies replies_;
  std::string linkPath_;
  std::unique_ptr<PseudoTerminal> terminal_;
  // The request being received, whole requests waiting for their turn, and their bytes together
  // (CRs included), which the input buffer's size bounds.
  std::string requestBuffer_;
  bool requestTruncated_ = false;
  std::deque<std::string> waitingRequests_;
  size_t bufferedBytes_ = 0;
  size_t lostRequests_ = 0;
  // Requests received and neither answered in full nor passed over yet.
  size_t pendingRequests_ = 0;
  std::string controlBuffer_;
  std::deque<Chunk> outbox_;
  // When the line has finished the last byte written so far.
  Clock::time_point lineFreeAt_{};
  std::optional<Clock::time_point> appearAt_;
  std::optional<Clock::time_point> disappearAt_;
  bool quit_ = false;
};

}  // namespace quarn::sim
