#pragma once

#include "identify/SensorCheck.h"

namespace quarn::ui {

// The remembered port under the per-user key ZOV/WENLO, value "Port" (the registry on Windows,
// $XDG_CONFIG_HOME/ZOV/WENLO.conf on Linux).
class SettingsPortStore : public identify::PortStore {
 public:
  Entry Read() override;
  void Write(int port) override;
};

}  // namespace quarn::ui
