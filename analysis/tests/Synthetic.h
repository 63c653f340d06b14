#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "acquisition/DateTime.h"
#include "acquisition/MeasurementStore.h"
#include "analysis/RecordSource.h"

namespace quarn::analysis::testing {

// 2026-03-14 08:00:00, the start of every synthetic run.
inline double StartDays() { return acquisition::EncodeDayNumber({2026, 3, 14, 8, 0, 0, 0}); }

inline double DaysAt(double seconds) { return StartDays() + seconds / kSecondsPerDay; }

inline uint16_t ToField(double value) { return static_cast<uint16_t>(std::lround(std::clamp(value, 0.0, 65535.0))); }

// Records every interval seconds over [0, duration), the concentration from conc(t) plus Gaussian noise of sigma;
// the other series carry fixed, distinct values.
inline std::vector<acquisition::MeasurementRecord> SyntheticRun(double interval, double duration,
                                                                const std::function<double(double)>& conc,
                                                                double sigma = 0, uint32_t seed = 7) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, sigma > 0 ? sigma : 1);
  std::vector<acquisition::MeasurementRecord> records;
  for (size_t i = 0; i * interval < duration; ++i) {
    const double t = static_cast<double>(i) * interval;
    acquisition::MeasurementRecord r;
    r.DT = DaysAt(t);
    r.C2 = ToField(conc(t) + (sigma > 0 ? noise(random) : 0));
    r.S = 3100;
    r.T = 25;
    r.Uo = 1500;
    r.Ur = 1200;
    records.push_back(r);
  }
  return records;
}

// A first-order response from before to after, starting at stepAt seconds with time constant tau.
inline std::function<double(double)> FirstOrderStep(double before, double after, double stepAt, double tau) {
  return [=](double t) { return t < stepAt ? before : after + (before - after) * std::exp(-(t - stepAt) / tau); };
}

}  // namespace quarn::analysis::testing
