#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "acquisition/ReaderThread.h"
#include "link/Protocol.h"

namespace quarn::acquisition {

// The whole seconds a poll waits for an interval in milliseconds: nearest, halves to even
// (500 -> 0, 1500 -> 2, 2500 -> 2); never negative.
int WholeSeconds(int32_t intervalMs);

// Ten failed sends in a row end the run.
inline constexpr int kMaxFailedSends = 10;

// The polling thread of a run. It opens the port, starts the reader thread on it, sends the measurement
// request once per interval and, at the end, stops the reader, waits a second and closes the port.
// It may end on its own (port busy, ten failed sends); the owner's RequestStop and Join work either way.
class PollingThread {
 public:
  PollingThread(RunContext context, ReaderInputs inputs);
  // Asks the thread to stop and waits for it.
  ~PollingThread();
  PollingThread(const PollingThread&) = delete;
  PollingThread& operator=(const PollingThread&) = delete;

  // Sampling interval in milliseconds; may change while the thread runs and applies from the next wait.
  std::atomic<int32_t> interval{2000};
  // Set before Start: the port number as decimal text and the sensor address.
  std::string portNumber;
  std::string address = link::kAddress;

  void Start();
  void SetInterval(int32_t ms) { interval.store(ms); }
  // The terminate request; noticed before the next send or within one second of a wait.
  void RequestStop();
  bool Finished() const { return finished_.load(); }
  void Join();

 private:
  void Execute();
  bool StopRequested() const;
  // Sleeps ms (scaled) unless a stop is requested first.
  void PauseUnlessStopped(int ms);

  RunContext context_;
  const ReaderInputs inputs_;
  mutable std::mutex stopMutex_;  // guards stop_ for stopChanged_
  std::condition_variable stopChanged_;
  bool stop_ = false;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace quarn::acquisition
