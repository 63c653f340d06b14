#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "base/MessageBoxes.h"

namespace quarn::base {

// Test double: records every box in order and answers questions from a script (Yes when the script is empty).
class ScriptedMessageBoxes : public MessageBoxes {
 public:
  struct Box {
    BoxKind kind;
    BoxButtons buttons;
    std::string text;
    bool posted;  // true when raised through Post (from a worker)
    bool operator==(const Box&) const = default;
  };

  BoxAnswer Show(BoxKind kind, BoxButtons buttons, const std::string& text) override;
  void Post(BoxKind kind, const std::string& text) override;

  // Answers for the next Yes/No boxes, in order.
  void QueueAnswer(BoxAnswer answer);

  std::vector<Box> Boxes() const;
  std::vector<std::string> Texts() const;
  void Clear();
  // Waits until at least count boxes were raised; false on timeout.
  bool WaitForCount(size_t count, std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mutex_;  // guards boxes_ and answers_
  mutable std::condition_variable changed_;
  std::vector<Box> boxes_;
  std::deque<BoxAnswer> answers_;
};

}  // namespace quarn::base
