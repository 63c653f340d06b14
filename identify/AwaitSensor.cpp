#include "AwaitSensor.h"

#include <algorithm>
#include <condition_variable>
#include <set>
#include <string>
#include <utility>

namespace quarn::identify {

bool SameSensor(const base::SensorIdentity& a, const base::SensorIdentity& b) {
  return a.serialNumber == b.serialNumber && a.firmware == b.firmware;
}

AwaitResult AwaitSensor(const base::SensorIdentity& wanted, std::chrono::milliseconds lookEvery,
                        std::optional<std::chrono::steady_clock::time_point> giveUpAt, const WaitOrStop& wait,
                        const OtherSensorHeard& otherSensor) {
  using Clock = std::chrono::steady_clock;
  // Each other sensor is told once, not at every look.
  std::set<std::string> told;
  auto tell = [&](const base::SensorIdentity& other) {
    if (told.insert(other.portNumber + "/" + other.serialNumber + "/" + other.firmware).second) otherSensor(other);
  };
  for (;;) {
    const IdentifyResult own = IdentifyPort(wanted.portNumber);
    if (own.status == IdentifyStatus::Ok) {
      if (SameSensor(own.identity, wanted)) return {AwaitOutcome::Found, own.identity};
      tell(own.identity);
    }
    const IdentifyResult moved = FindSerial(wanted.serialNumber);
    if (moved.status == IdentifyStatus::Ok) {
      if (SameSensor(moved.identity, wanted)) return {AwaitOutcome::Found, moved.identity};
      tell(moved.identity);
    }
    auto pause = lookEvery;
    if (giveUpAt) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*giveUpAt - Clock::now());
      if (left <= std::chrono::milliseconds(0)) return {AwaitOutcome::GaveUp, {}};
      pause = std::min(pause, left);
    }
    if (wait(pause)) return {AwaitOutcome::Stopped, {}};
  }
}

SensorAwaiter::SensorAwaiter(base::SensorIdentity wanted, std::chrono::milliseconds lookEvery)
    : wanted_(std::move(wanted)), lookEvery_(lookEvery) {}

void SensorAwaiter::Start() {
  worker_.Start([this](std::stop_token stop) {
    auto wait = [&](std::chrono::milliseconds pause) {
      std::mutex mutex;  // guards nothing: the wait needs one
      std::condition_variable_any wake;
      std::unique_lock lock(mutex);
      wake.wait_for(lock, stop, pause, [] { return false; });
      return stop.stop_requested();
    };
    auto heard = [&](const base::SensorIdentity& other) {
      std::lock_guard lock(mutex_);
      others_.push_back(other);
    };
    AwaitResult result = stop.stop_requested() ? AwaitResult{AwaitOutcome::Stopped, {}}
                                               : AwaitSensor(wanted_, lookEvery_, std::nullopt, wait, heard);
    std::lock_guard lock(mutex_);
    result_ = std::move(result);
  });
}

AwaitResult SensorAwaiter::Result() const {
  std::lock_guard lock(mutex_);
  return result_;
}

std::vector<base::SensorIdentity> SensorAwaiter::TakeOtherSensors() {
  std::lock_guard lock(mutex_);
  return std::exchange(others_, {});
}

}  // namespace quarn::identify
