#pragma once

#include <string>
#include <vector>

#include "analysis/Limits.h"
#include "analysis/SensorFigures.h"

namespace quarn::analysis {

// Whether figures met their limits, and which they did not.
struct Verdict {
  // The limits not met, by their keys in the limits file's order ("sd_max", "T90_max_s"); on a sensor's overall
  // verdict a step's are followed by its marker's label in parentheses ("T90_max_s (gas on 800 ppm)").
  // A limit whose figure is missing (a T90 not reached, no level after, an sd of fewer than two records) is not
  // met.
  std::vector<std::string> failed;
  bool Passed() const { return failed.empty(); }
  // "PASS", or "FAIL: " and the limits not met, "; " apart: the text of the verdict column.
  std::string Text() const;
};

struct SensorVerdicts {
  Verdict file;                // the whole file's Conc: the general sd_max and drift_per_hour_max
  std::vector<Verdict> steps;  // one per step, by AcceptanceLimits::ForStep of its marker's label
  Verdict overall;             // the file's failures, then each step's with its label: the sensor's verdict
};

SensorVerdicts Judge(const AcceptanceLimits& limits, const SensorFigures& figures);

}  // namespace quarn::analysis
