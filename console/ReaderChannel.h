#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/MessageBoxes.h"
#include "console/ConsoleLog.h"

namespace quarn::console {

// Lines for the console log.
struct LogLines {
  std::vector<std::string> lines;
  bool operator==(const LogLines&) const = default;
};

// A message box with one OK button.
struct ReaderBox {
  base::BoxKind kind = base::BoxKind::Error;
  std::string text;
  bool operator==(const ReaderBox&) const = default;
};

using ReaderReport = std::variant<LogLines, ReaderBox>;

// The way between the console reader and the GUI thread. The reader posts its lines and boxes and goes on
// at once; the GUI thread takes them in the order they were posted. The display mode goes the other way.
class ReaderChannel {
 public:
  void SetMode(DisplayMode mode) { mode_.store(mode); }
  DisplayMode Mode() const { return mode_.load(); }

  void Post(ReaderReport report);
  // The oldest report not yet taken.
  std::optional<ReaderReport> Take();

 private:
  std::atomic<DisplayMode> mode_{DisplayMode::Ascii};
  std::mutex mutex_;  // guards reports_
  std::deque<ReaderReport> reports_;
};

}  // namespace quarn::console
