#include "PollingThread.h"

#include <chrono>
#include <exception>
#include <memory>

#include "base/Timing.h"

namespace quarn::acquisition {

int WholeSeconds(int32_t intervalMs) {
  if (intervalMs <= 0) return 0;
  const int32_t seconds = intervalMs / 1000;
  const int32_t rest = intervalMs % 1000;
  if (rest > 500 || (rest == 500 && seconds % 2 == 1)) return seconds + 1;
  return seconds;
}

PollingThread::PollingThread(RunContext context, ReaderInputs inputs) : context_(context), inputs_(std::move(inputs)) {}

PollingThread::~PollingThread() {
  RequestStop();
  Join();
}

void PollingThread::Start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] {
    Execute();
    finished_.store(true);
  });
}

void PollingThread::RequestStop() {
  {
    std::lock_guard lock(stopMutex_);
    stop_ = true;
  }
  stopChanged_.notify_all();
}

bool PollingThread::StopRequested() const {
  std::lock_guard lock(stopMutex_);
  return stop_;
}

void PollingThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void PollingThread::PauseUnlessStopped(int ms) {
  std::unique_lock lock(stopMutex_);
  stopChanged_.wait_for(lock, std::chrono::milliseconds(base::Scaled(ms)), [this] { return stop_; });
}

void PollingThread::Execute() {
  link::PortHandle port;
  try {
    port = link::OpenPort("COM" + portNumber, link::kEventRxFlag);
  } catch (const std::exception&) {
    context_.boxes.Post(base::BoxKind::Error, "COM" + portNumber + " port is busy");
    return;
  }

  // Owned here alone: started below, joined before the port is closed, destroyed when this returns.
  auto reader = std::make_unique<ReaderThread>(context_, inputs_);
  reader->port = port;
  reader->portNumber = portNumber;
  reader->Start();

  const std::string request = link::BuildRequest(address, "F");
  int failures = 0;
  bool limitReached = false;
  while (!StopRequested()) {
    try {
      link::WritePort(port, request);
    } catch (const link::PortError&) {
      if (++failures >= kMaxFailedSends) {
        limitReached = true;
        break;
      }
      continue;
    }
    failures = 0;
    const int seconds = WholeSeconds(interval.load());
    for (int i = 0; i < seconds && !StopRequested(); ++i) PauseUnlessStopped(1000);
  }

  reader->RequestStop();
  reader->wakeEvent.Set();
  base::Pause(1000);
  // The reader never blocks once woken, so this returns at once; the port is closed only after it.
  reader->Join();
  if (limitReached) context_.boxes.Post(base::BoxKind::Error, "Limit of attempts to send commands on port");
  port->Close();
}

}  // namespace quarn::acquisition
