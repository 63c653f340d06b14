#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "link/Protocol.h"

namespace quarn::acquisition {

using SteadyClock = std::chrono::steady_clock;

// How long the poller waits for a reply at the fastest setting before it asks again: a few frame times,
// so that a reply already under way is never overtaken by the next request.
inline constexpr int kReplyTimeoutMs = 4 * link::kFrameTimeMs;

// The CR-ended frames the reader has taken from the port. The reader counts them in; the poller waits on
// them to send its next request only when the previous one has been answered.
class FrameArrivals {
 public:
  // Reader thread: frames that completed in one read.
  void Add(uint64_t frames);
  uint64_t Count() const;
  // Returns once Count() exceeds seen, the stop is requested or timeout passes; the count then.
  uint64_t WaitBeyond(uint64_t seen, std::chrono::milliseconds timeout, std::stop_token stop);
  // When the last frame was taken in; nothing before the first.
  std::optional<SteadyClock::time_point> Last() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  uint64_t count_ = 0;
  std::optional<SteadyClock::time_point> last_;
};

// A sensor falling silent during a run, or answering again.
struct SilenceChange {
  bool silent = false;
  // The last frame before the silence, or the start of the run when none came.
  SteadyClock::time_point since;
  // Answering again: when the first frame after the silence came.
  SteadyClock::time_point until;
};

// Notices a silence: no frame for the limit. One change when the silence begins and one when frames return.
class SilenceWatch {
 public:
  explicit SilenceWatch(SteadyClock::time_point start) : lastFrame_(start) {}
  // lastFrame: the time of the latest frame so far, if any.
  std::optional<SilenceChange> Check(SteadyClock::time_point now, std::optional<SteadyClock::time_point> lastFrame,
                                     SteadyClock::duration limit);

 private:
  SteadyClock::time_point lastFrame_;
  bool silent_ = false;
};

// How long without a frame counts as silence: five intervals, at least 10 s.
std::chrono::milliseconds SilenceLimit(int32_t intervalMs);

// "sensor 102345 silent since 14:03:07"; clockText is the local time of day of change.since.
std::string SilentText(const std::string& serial, const std::string& clockText);
// "sensor 102345 answering again after 42 s"
std::string AnsweringAgainText(const std::string& serial, const SilenceChange& change);

// The wall-clock moment of a steady-clock one, for the texts above.
std::chrono::system_clock::time_point WallClockOf(SteadyClock::time_point t);

}  // namespace quarn::acquisition
