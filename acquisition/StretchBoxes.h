#pragma once

#include <mutex>
#include <string>

#include "acquisition/RunFailure.h"
#include "base/MessageBoxes.h"

namespace quarn::acquisition {

// The boxes of one stretch of polling in a run that reconnects: everything goes on to the run's boxes (and
// failures), except a lost port (ten failed sends). That one is kept here, so the run looks for the sensor
// instead of ending; its box can still be shown later. A resumed stretch also keeps a busy port: another
// program may have taken it between the look that found the sensor and the polling thread's open, and the
// run then looks again.
class StretchBoxes : public base::MessageBoxes, public RunFailures {
 public:
  // failures may be null.
  StretchBoxes(base::MessageBoxes& boxes, RunFailures* failures, bool keepPortLoss, bool keepBusy)
      : boxes_(boxes), failures_(failures), keepPortLoss_(keepPortLoss), keepBusy_(keepBusy) {}

  // Answers at once (No to a question) as a posted box would: the stretch's threads never wait.
  base::BoxAnswer Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) override;
  void Post(base::BoxKind kind, const std::string& text) override;
  void Failed(RunFailure failure, const std::string& boxText) override;

  // Whether the port was lost in this stretch (only when kept).
  bool PortLost() const;
  // The box the kept failure would have shown; empty when none was kept.
  std::string KeptText() const;

 private:
  base::MessageBoxes& boxes_;
  RunFailures* const failures_;
  const bool keepPortLoss_;
  const bool keepBusy_;
  mutable std::mutex mutex_;
  bool portLost_ = false;  // guarded by mutex_
  std::string keptText_;   // guarded by mutex_: the box that follows the kept failure
};

}  // namespace quarn::acquisition
