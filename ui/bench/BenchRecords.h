#pragma once

#include <cstddef>
#include <cstdint>

#include "acquisition/MeasurementStore.h"

namespace quarn::ui::bench {

// The i-th record of a synthetic run at the 0.5 s interval: slowly varying values, as a sensor gives them.
inline acquisition::MeasurementRecord Record(size_t i) {
  acquisition::MeasurementRecord r;
  r.DT = 46000.0 + static_cast<double>(i) * (0.5 / 86400.0);
  r.T = static_cast<uint16_t>(25 + (i / 7200) % 5);
  r.S = static_cast<uint16_t>(3100 + (i * 7) % 50);
  r.Ur = 1200;
  r.Uo = static_cast<uint16_t>(1500 + (i * 3) % 20);
  r.par7 = 10000;
  r.C2 = static_cast<uint16_t>(400 + (i * 13) % 100);
  return r;
}

}  // namespace quarn::ui::bench
