#pragma once

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <string>

#include "acquisition/ReaderThread.h"
#include "base/WorkerThread.h"
#include "link/Protocol.h"

namespace quarn::acquisition {

// The whole seconds a poll waits for an interval in milliseconds: nearest, halves to even
// (500 -> 0, 1500 -> 2, 2500 -> 2); never negative.
int WholeSeconds(int32_t intervalMs);

// Ten failed sends in a row end the run.
inline constexpr int kMaxFailedSends = 10;

// The polling thread of a run. It opens the port inputs.portNumber names, runs the reader thread on it,
// sends the measurement request once per interval and, at the end, stops the reader, waits a second and
// closes the port. It may end on its own (port busy, ten failed sends); RequestStop and Join work either way.
class PollingThread {
 public:
  PollingThread(RunContext context, ReaderInputs inputs, int32_t intervalMs,
                std::string address = std::string(link::kAddress));
  PollingThread(const PollingThread&) = delete;
  PollingThread& operator=(const PollingThread&) = delete;

  void Start();
  // Noticed before the next send, and at once during a wait.
  void RequestStop() { worker_.RequestStop(); }
  void Join() { worker_.Join(); }
  bool Finished() const { return worker_.Finished(); }

  // Sampling interval in milliseconds; may change while the thread runs and applies from the next wait.
  void SetInterval(int32_t ms) { interval_.store(ms); }
  int32_t Interval() const { return interval_.load(); }
  // Requests written so far in this run; with the records, how many polls went unanswered.
  uint64_t SentRequests() const { return sentRequests_.load(); }

 private:
  void Execute(std::stop_token stop);
  void PollUntilStopped(const link::PortHandle& port, std::stop_token stop);

  RunContext context_;
  const ReaderInputs inputs_;
  const std::string address_;
  std::atomic<int32_t> interval_;
  std::atomic<uint64_t> sentRequests_{0};
  base::WorkerThread worker_;  // last: joins before the members above go
};

}  // namespace quarn::acquisition
