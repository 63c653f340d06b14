#pragma once

#include <atomic>
#include <functional>
#include <stop_token>
#include <thread>
#include <utility>

namespace quarn::base {

// One worker thread and its single owner: Start runs the body once, RequestStop asks it to end, Join waits
// for it; destroying it does both. The body sees the request through its stop token; a body that blocks
// registers a std::stop_callback that wakes its wait, so a stop is noticed at once.
// A stop requested before Start is seen by the body from its first moment.
// Declare it as the owner's last member, so that it joins before the members its body uses are destroyed.
class WorkerThread {
 public:
  WorkerThread() = default;
  ~WorkerThread() {
    RequestStop();
    Join();
  }
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // A second call, also after the body has ended, does nothing.
  void Start(std::function<void(std::stop_token)> body) {
    if (thread_.joinable() || finished_.load()) return;
    thread_ = std::jthread([this, body = std::move(body)](std::stop_token) {
      body(stop_.get_token());
      finished_.store(true);
    });
  }
  void RequestStop() { stop_.request_stop(); }
  // Returns once the body has ended (at once when it never started).
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  // The body has ended, on request or on its own.
  bool Finished() const { return finished_.load(); }
  std::stop_token StopToken() const { return stop_.get_token(); }

 private:
  // Our own source rather than the jthread's, so that a request made before Start is not lost.
  std::stop_source stop_;
  std::atomic<bool> finished_{false};
  std::jthread thread_;
};

}  // namespace quarn::base
