#pragma once

#include <QTimer>
#include <functional>
#include <stop_token>
#include <utility>

#include "base/WorkerThread.h"

namespace quarn::review {

// A read on a worker thread of its own, looked in on from the GUI thread ten times a second: every look but
// the last shows what was read so far (the store only grows meanwhile), the last one comes after the worker has
// been joined, so what it wrote may be read freely. Declare it as the owner's last member, so that the worker
// is joined before the members its body writes go.
class PolledLoad {
 public:
  static constexpr int kPollMs = 100;

  ~PolledLoad() { Stop(); }

  void Start(std::function<void(std::stop_token)> body, std::function<void()> look, std::function<void()> finish) {
    running_ = true;
    look_ = std::move(look);
    finish_ = std::move(finish);
    QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { Poll(); });
    poll_.start(kPollMs);
    worker_.Start(std::move(body));
  }
  // Between Start and the last look.
  bool Running() const { return running_; }
  // Asks the worker to end; the next look finishes what it read.
  void RequestStop() { worker_.RequestStop(); }
  // Ends the worker and waits for it, without a last look (the owner is going).
  void Stop() {
    poll_.stop();
    worker_.RequestStop();
    worker_.Join();
  }

 private:
  void Poll() {
    if (!worker_.Finished()) {
      look_();
      return;
    }
    poll_.stop();
    worker_.Join();
    running_ = false;
    finish_();
  }

  bool running_ = false;
  std::function<void()> look_;
  std::function<void()> finish_;
  QTimer poll_;
  base::WorkerThread worker_;
};

}  // namespace quarn::review
