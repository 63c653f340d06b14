#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

#include "acquisition/RunFailure.h"
#include "base/MessageBoxes.h"
#include "recorder/ErrorLineBoxes.h"
#include "recorder/SensorIdentity.h"

namespace quarn::recorder {

class StopRequest;

// How a run waits for a lost sensor.
struct ReconnectSettings {
  bool enabled = true;
  std::optional<std::chrono::milliseconds> timeout;  // unlimited when empty
  std::chrono::milliseconds lookEvery = std::chrono::seconds(2);
  // No frame for this long past the polling period, on a port still open, counts as a lost sensor.
  std::chrono::milliseconds silenceLimit = std::chrono::seconds(30);
};

// The boxes of one stretch of polling: everything goes on to the run's boxes, except a lost port (ten failed
// sends) when the run reconnects. That one is kept here, so the run looks for the sensor instead of ending.
// A resumed stretch also keeps a busy port: another program may have taken it between the look that found
// the sensor and the polling thread's open, and the run then looks again.
class StretchBoxes : public base::MessageBoxes, public acquisition::RunFailures {
 public:
  StretchBoxes(ErrorLineBoxes& run, bool keepPortLoss, bool keepBusy)
      : run_(run), keepPortLoss_(keepPortLoss), keepBusy_(keepBusy) {}

  base::BoxAnswer Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) override;
  void Post(base::BoxKind kind, const std::string& text) override;
  void Failed(acquisition::RunFailure failure, const std::string& boxText) override;

  // Whether the port was lost in this stretch (only when kept).
  bool PortLost() const;

 private:
  ErrorLineBoxes& run_;
  const bool keepPortLoss_;
  const bool keepBusy_;
  mutable std::mutex mutex_;
  bool portLost_ = false;      // guarded by mutex_
  std::string swallowedText_;  // guarded by mutex_: the box that follows the kept failure
};

enum class AwaitOutcome { Found, GaveUp, Stopped };

struct AwaitResult {
  AwaitOutcome outcome = AwaitOutcome::GaveUp;
  SensorIdentity identity;  // when found: on its port now
};

// Looks for the sensor wanted every settings.lookEvery, at once first: on its own port, then on every free
// port by its serial number. Found only when serial number and firmware both match; another sensor that
// answers is named once on boxes and its port is left closed. Gives up at giveUpAt, when given.
AwaitResult AwaitSensor(const SensorIdentity& wanted, const ReconnectSettings& settings,
                        std::optional<std::chrono::steady_clock::time_point> giveUpAt, StopRequest& stop,
                        ErrorLineBoxes& boxes);

}  // namespace quarn::recorder
