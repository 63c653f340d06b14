#include "ReaderChannel.h"

namespace quarn::console {

void ReaderChannel::Post(ReaderReport report) {
  std::lock_guard lock(mutex_);
  reports_.push_back(std::move(report));
}

std::optional<ReaderReport> ReaderChannel::Take() {
  std::lock_guard lock(mutex_);
  if (reports_.empty()) return std::nullopt;
  ReaderReport report = std::move(reports_.front());
  reports_.pop_front();
  return report;
}

}  // namespace quarn::console
