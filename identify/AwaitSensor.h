#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "base/WorkerThread.h"
#include "identify/SensorIdentity.h"

namespace quarn::identify {

enum class AwaitOutcome { Found, GaveUp, Stopped };

struct AwaitResult {
  AwaitOutcome outcome = AwaitOutcome::GaveUp;
  base::SensorIdentity identity;  // when found: on its port now
};

// Waits at most the time given; true once the wait is to end.
using WaitOrStop = std::function<bool(std::chrono::milliseconds)>;
// Hears of another sensor that answered in place of the one wanted, once per sensor and port.
using OtherSensorHeard = std::function<void(const base::SensorIdentity& other)>;

// Whether two identities are one sensor: the same serial number and firmware revision.
bool SameSensor(const base::SensorIdentity& a, const base::SensorIdentity& b);

// Looks for the sensor wanted every lookEvery, at once first: on its own port, then on every free port by
// its serial number. Found only when serial number and firmware both match; another sensor that answers is
// told to otherSensor and its port is left closed, free for other programs. Gives up at giveUpAt, when given.
// A look under way is not cut short by a stop: it ends within a few exchanges.
AwaitResult AwaitSensor(const base::SensorIdentity& wanted, std::chrono::milliseconds lookEvery,
                        std::optional<std::chrono::steady_clock::time_point> giveUpAt, const WaitOrStop& wait,
                        const OtherSensorHeard& otherSensor);

// AwaitSensor, without a time limit, on a worker thread of its own, for a caller that must not block (the
// window's GUI thread): it asks now and then for the other sensors heard and whether the wait has ended.
class SensorAwaiter {
 public:
  SensorAwaiter(base::SensorIdentity wanted, std::chrono::milliseconds lookEvery);
  SensorAwaiter(const SensorAwaiter&) = delete;
  SensorAwaiter& operator=(const SensorAwaiter&) = delete;

  void Start();
  // Ends the pause between looks at once; a look under way ends within a few exchanges.
  void RequestStop() { worker_.RequestStop(); }
  void Join() { worker_.Join(); }
  bool Finished() const { return worker_.Finished(); }
  // Once finished: Found with the sensor on its port now, or Stopped.
  AwaitResult Result() const;
  // The other sensors that answered since the last call, oldest first.
  std::vector<base::SensorIdentity> TakeOtherSensors();

 private:
  const base::SensorIdentity wanted_;
  const std::chrono::milliseconds lookEvery_;
  mutable std::mutex mutex_;
  AwaitResult result_;                        // guarded by mutex_
  std::vector<base::SensorIdentity> others_;  // guarded by mutex_
  base::WorkerThread worker_;                 // last: joins before the members above go
};

}  // namespace quarn::identify
