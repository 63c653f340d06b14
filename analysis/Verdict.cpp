#include "Verdict.h"

#include <cmath>

namespace quarn::analysis {

namespace {

constexpr size_t kT90 = 2;  // of kResponseFractions

// A figure at most limit; a missing figure fails a limit that is set.
void AtMost(const std::optional<double>& figure, const std::optional<double>& limit, const char* key,
            Verdict& verdict) {
  if (limit && (!figure || *figure > *limit)) verdict.failed.push_back(key);
}

void JudgeSpread(const Limits& limits, const SeriesStatistics& conc, Verdict& verdict) {
  AtMost(conc.sd, limits.sdMax, "sd_max", verdict);
  const std::optional<double> drift = conc.driftPerHour ? std::optional(std::abs(*conc.driftPerHour)) : std::nullopt;
  AtMost(drift, limits.driftPerHourMax, "drift_per_hour_max", verdict);
}

}  // namespace

std::string Verdict::Text() const {
  if (Passed()) return "PASS";
  std::string text = "FAIL: ";
  for (size_t i = 0; i < failed.size(); ++i) text += (i > 0 ? "; " : "") + failed[i];
  return text;
}

SensorVerdicts Judge(const AcceptanceLimits& limits, const SensorFigures& figures) {
  SensorVerdicts verdicts;
  JudgeSpread(limits.general, figures.summary.conc, verdicts.file);
  verdicts.overall = verdicts.file;
  for (size_t s = 0; s < figures.steps.size(); ++s) {
    const StepResponse& step = figures.steps[s];
    const Limits own = limits.ForStep(step.marker.label);
    Verdict verdict;
    JudgeSpread(own, s < figures.levelWindows.size() ? figures.levelWindows[s] : SeriesStatistics{}, verdict);
    AtMost(step.crossingSeconds[kT90], own.t90MaxSeconds, "T90_max_s", verdict);
    if (own.levelAfterMin && (!step.levelAfter || *step.levelAfter < *own.levelAfterMin)) {
      verdict.failed.push_back("level_after_min");
    }
    AtMost(step.levelAfter, own.levelAfterMax, "level_after_max", verdict);
    for (const std::string& key : verdict.failed)
      verdicts.overall.failed.push_back(key + " (" + step.marker.label + ")");
    verdicts.steps.push_back(std::move(verdict));
  }
  return verdicts;
}

}  // namespace quarn::analysis
