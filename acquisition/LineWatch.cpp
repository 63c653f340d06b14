#include "LineWatch.h"

#include <algorithm>

namespace quarn::acquisition {

void FrameArrivals::Add(uint64_t frames) {
  if (frames == 0) return;
  {
    std::lock_guard lock(mutex_);
    count_ += frames;
    last_ = SteadyClock::now();
  }
  changed_.notify_all();
}

uint64_t FrameArrivals::Count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

uint64_t FrameArrivals::WaitBeyond(uint64_t seen, std::chrono::milliseconds timeout, std::stop_token stop) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, stop, timeout, [&] { return count_ > seen; });
  return count_;
}

std::optional<SteadyClock::time_point> FrameArrivals::Last() const {
  std::lock_guard lock(mutex_);
  return last_;
}

std::optional<SilenceChange> SilenceWatch::Check(SteadyClock::time_point now,
                                                 std::optional<SteadyClock::time_point> lastFrame,
                                                 SteadyClock::duration limit) {
  if (lastFrame && *lastFrame > lastFrame_) {
    const SteadyClock::time_point before = lastFrame_;
    lastFrame_ = *lastFrame;
    if (silent_) {
      silent_ = false;
      return SilenceChange{false, before, *lastFrame};
    }
  }
  if (!silent_ && now - lastFrame_ >= limit) {
    silent_ = true;
    return SilenceChange{true, lastFrame_, now};
  }
  return std::nullopt;
}

std::chrono::milliseconds SilenceLimit(int32_t intervalMs) {
  return std::chrono::milliseconds(std::max<int64_t>(10000, int64_t{5} * intervalMs));
}

std::string SilentText(const std::string& serial, const std::string& clockText) {
  return "sensor " + serial + " silent since " + clockText;
}

std::string AnsweringAgainText(const std::string& serial, const SilenceChange& change) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(change.until - change.since).count();
  return "sensor " + serial + " answering again after " + std::to_string(seconds) + " s";
}

std::chrono::system_clock::time_point WallClockOf(SteadyClock::time_point t) {
  const auto ago = SteadyClock::now() - t;
  return std::chrono::system_clock::now() - std::chrono::duration_cast<std::chrono::system_clock::duration>(ago);
}

}  // namespace quarn::acquisition
