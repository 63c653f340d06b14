#include "Reconnect.h"

#include <algorithm>
#include <set>

#include "recorder/Recorder.h"

namespace quarn::recorder {

base::BoxAnswer StretchBoxes::Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) {
  Post(kind, text);
  return buttons == base::BoxButtons::YesNo ? base::BoxAnswer::No : base::BoxAnswer::Ok;
}

void StretchBoxes::Post(base::BoxKind kind, const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    if (portLost_ && text == swallowedText_) return;
  }
  run_.Post(kind, text);
}

void StretchBoxes::Failed(acquisition::RunFailure failure, const std::string& boxText) {
  if ((keepPortLoss_ && failure == acquisition::RunFailure::ConverterGone) ||
      (keepBusy_ && failure == acquisition::RunFailure::PortBusy)) {
    std::lock_guard lock(mutex_);
    portLost_ = true;
    swallowedText_ = boxText;
    return;
  }
  run_.Failed(failure, boxText);
}

bool StretchBoxes::PortLost() const {
  std::lock_guard lock(mutex_);
  return portLost_;
}

namespace {

bool SameSensor(const SensorIdentity& a, const SensorIdentity& b) {
  return a.serial == b.serial && a.firmware == b.firmware;
}

}  // namespace

AwaitResult AwaitSensor(const SensorIdentity& wanted, const ReconnectSettings& settings,
                        std::optional<std::chrono::steady_clock::time_point> giveUpAt, StopRequest& stop,
                        ErrorLineBoxes& boxes) {
  using Clock = std::chrono::steady_clock;
  // Each stranger is named once, not at every look.
  std::set<std::string> named;
  auto nameStranger = [&](const SensorIdentity& other) {
    if (!named.insert(other.port + "/" + other.serial + "/" + other.firmware).second) return;
    boxes.Print("sensor " + other.serial + " (" + other.firmware + ") answered on COM" + other.port +
                ", not the run's sensor " + wanted.serial + " (" + wanted.firmware + "): still waiting for it");
  };
  for (;;) {
    const IdentifyResult own = IdentifyPort(wanted.port);
    if (own.status == ExitStatus::Ok) {
      if (SameSensor(own.identity, wanted)) return {AwaitOutcome::Found, own.identity};
      nameStranger(own.identity);
    }
    const IdentifyResult moved = FindSerial(wanted.serial);
    if (moved.status == ExitStatus::Ok) {
      if (SameSensor(moved.identity, wanted)) return {AwaitOutcome::Found, moved.identity};
      nameStranger(moved.identity);
    }
    auto wait = settings.lookEvery;
    if (giveUpAt) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*giveUpAt - Clock::now());
      if (left <= std::chrono::milliseconds(0)) return {AwaitOutcome::GaveUp, {}};
      wait = std::min(wait, left);
    }
    if (stop.WaitFor(wait)) return {AwaitOutcome::Stopped, {}};
  }
}

}  // namespace quarn::recorder
