#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "acquisition/LineWatch.h"
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
// At the fastest setting (an interval that rounds to no whole second) it asks as fast as the line allows
// but never floods the sensor: the next request goes out when the reply to the last one has arrived, or
// after the reply time-out, so at most one request is ever unanswered. It also watches for a sensor that
// has fallen silent.
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
  // Requests written so far in this run.
  uint64_t SentRequests() const { return sentRequests_.load(); }
  // Requests that should have been answered and were not: no frame came before the next request was due.
  // The latest request, still waiting for its reply, is not among them.
  uint64_t UnansweredRequests() const { return unansweredRequests_.load(); }
  // The silences begun or ended since the last call, oldest first.
  std::vector<SilenceChange> TakeSilenceChanges();

 private:
  void Execute(std::stop_token stop);
  void PollUntilStopped(const link::PortHandle& port, std::stop_token stop);
  // Waits for the reply to the request just sent: until its frame has arrived at the fastest setting,
  // the interval's whole seconds otherwise; notes a silence meanwhile. Returns the frame count then.
  uint64_t AwaitNextPoll(uint64_t framesBefore, SilenceWatch& silence, std::stop_token stop);
  void WatchSilence(SilenceWatch& silence);

  RunContext context_;
  const ReaderInputs inputs_;
  const std::string address_;
  std::atomic<int32_t> interval_;
  std::atomic<uint64_t> sentRequests_{0};
  std::atomic<uint64_t> unansweredRequests_{0};
  FrameArrivals arrivals_;
  std::mutex changesMutex_;
  std::vector<SilenceChange> changes_;  // guarded by changesMutex_
  base::WorkerThread worker_;           // last: joins before the members above go
};

}  // namespace quarn::acquisition
