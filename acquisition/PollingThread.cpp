#include "PollingThread.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

#include "base/Timing.h"

namespace quarn::acquisition {

namespace {

// Sleeps ms (scaled) unless a stop is requested first; a request ends the sleep at once.
void PauseUnlessStopped(int ms, std::stop_token stop) {
  std::mutex mutex;  // guards nothing: the wait needs one
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, stop, std::chrono::milliseconds(base::Scaled(ms)), [] { return false; });
}

}  // namespace

int WholeSeconds(int32_t intervalMs) {
  if (intervalMs <= 0) return 0;
  const int32_t seconds = intervalMs / 1000;
  const int32_t rest = intervalMs % 1000;
  if (rest > 500 || (rest == 500 && seconds % 2 == 1)) return seconds + 1;
  return seconds;
}

PollingThread::PollingThread(RunContext context, ReaderInputs inputs, int32_t intervalMs, std::string address)
    : context_(context), inputs_(std::move(inputs)), address_(std::move(address)), interval_(intervalMs) {}

void PollingThread::Start() {
  worker_.Start([this](std::stop_token stop) { Execute(stop); });
}

void PollingThread::Execute(std::stop_token stop) {
  const std::string portName = "COM" + inputs_.portNumber;
  link::PortHandle port;
  try {
    port = link::OpenPort(portName, link::kEventRxFlag);
  } catch (const std::exception&) {
    PostFailure(context_, RunFailure::PortBusy, base::BoxKind::Error, portName + " port is busy");
    return;
  }
  PollUntilStopped(port, stop);
  port->Close();
}

std::vector<SilenceChange> PollingThread::TakeSilenceChanges() {
  std::lock_guard lock(changesMutex_);
  return std::exchange(changes_, {});
}

void PollingThread::WatchSilence(SilenceWatch& silence) {
  const auto limit = std::chrono::milliseconds(base::Scaled(static_cast<int>(SilenceLimit(interval_.load()).count())));
  if (const auto change = silence.Check(SteadyClock::now(), arrivals_.Last(), limit)) {
    std::lock_guard lock(changesMutex_);
    changes_.push_back(*change);
  }
}

uint64_t PollingThread::AwaitNextPoll(uint64_t framesBefore, SilenceWatch& silence, std::stop_token stop) {
  const int seconds = WholeSeconds(interval_.load());
  uint64_t frames = framesBefore;
  if (seconds == 0) {
    // The fastest setting: ask again as soon as the reply is in, so the sensor's input buffer never holds
    // more than the one request it is answering.
    frames = arrivals_.WaitBeyond(framesBefore, std::chrono::milliseconds(base::Scaled(kReplyTimeoutMs)), stop);
    WatchSilence(silence);
  } else {
    for (int i = 0; i < seconds && !stop.stop_requested(); ++i) {
      PauseUnlessStopped(1000, stop);
      WatchSilence(silence);
    }
    frames = arrivals_.Count();
  }
  // A request cut short by Stop had no fair chance to be answered.
  if (frames == framesBefore && !stop.stop_requested()) unansweredRequests_.fetch_add(1);
  return frames;
}

void PollingThread::PollUntilStopped(const link::PortHandle& port, std::stop_token stop) {
  // Started here, stopped and joined before this returns, so before the caller closes the port.
  ReaderThread reader(context_, inputs_, port, &arrivals_);
  reader.Start();
  SilenceWatch silence(SteadyClock::now());

  const std::string request = link::BuildRequest(address_, "F");
  int failures = 0;
  bool limitReached = false;
  uint64_t frames = arrivals_.Count();
  uint64_t framesAtLastSend = frames;
  while (!stop.stop_requested()) {
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
    sentRequests_.fetch_add(1);
    framesAtLastSend = frames;
    frames = AwaitNextPoll(frames, silence, stop);
  }

  // The reply to the last request is on its way at most a few frame times: it belongs to the run, and
  // it is the last thing the sensor sends.
  if (sentRequests_.load() > 0 && framesAtLastSend == arrivals_.Count()) {
    arrivals_.WaitBeyond(framesAtLastSend, std::chrono::milliseconds(base::Scaled(kReplyTimeoutMs)), {});
  }
  // The stop wakes the reader's wait; it never blocks after that, so the join returns at once.
  reader.RequestStop();
  base::Pause(1000);
  reader.Join();
  if (limitReached)
    PostFailure(context_, RunFailure::ConverterGone, base::BoxKind::Error,
                "Limit of attempts to send commands on port");
}

}  // namespace quarn::acquisition
