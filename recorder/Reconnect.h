#pragma once

#include <chrono>
#include <optional>

namespace quarn::recorder {

// How a run waits for a lost sensor.
struct ReconnectSettings {
  bool enabled = true;
  std::optional<std::chrono::milliseconds> timeout;  // unlimited when empty
  std::chrono::milliseconds lookEvery = std::chrono::seconds(2);
  // No frame for this long past the polling period, on a port still open, counts as a lost sensor.
  std::chrono::milliseconds silenceLimit = std::chrono::seconds(30);
};

}  // namespace quarn::recorder
