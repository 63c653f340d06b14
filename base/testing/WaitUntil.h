#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace quarn::base {

// Polls the condition until it holds or the deadline passes, and returns its last value. Between two polls
// pause runs: a widget test turns the event loop there; without one the thread sleeps a few milliseconds.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(20),
                      const std::function<void()>& pause = {}) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return condition();
    if (pause) {
      pause();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  return true;
}

}  // namespace quarn::base
