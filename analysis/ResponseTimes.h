#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/RecordSource.h"

namespace quarn::analysis {

// A gas marker: when the user marked a change, and the label given.
struct Marker {
  double time = 0;  // days since 1899-12-30, as a record's DT
  std::string label;
  std::string timeText;  // as the marker file holds it (the data file's time text); may be empty
};

struct ResponseSettings {
  // Seconds over which the levels before and after a step are averaged.
  double windowSeconds = 60;
  // Consecutive samples that must lie beyond a level for it to count as crossed, so that noise does not.
  int holdSamples = 3;
  // The level after a step counts as settled while its slope over the level window stays within this share
  // of the step per minute.
  double settledSlopePerMinute = 0.02;
};

// Whether the level after a step had settled, which the response times depend on; they are provisional
// otherwise.
enum class Settling {
  Settled,
  // The concentration still moved over the level window by more than the allowed share of the step.
  StillMoving,
  // The step ends (next marker or last record) before a whole level window has passed after the marker, so the
  // level window holds the step itself.
  WindowCutShort,
  // Fewer than two samples in the level window, so no slope to judge by.
  TooFewSamples,
  // No step to measure: a level before or after the marker is missing, or the two are equal.
  NoStep,
};

inline constexpr std::array<double, 3> kResponseFractions{0.1, 0.5, 0.9};

// The step that follows one marker in the concentration (Conc).
struct StepResponse {
  Marker marker;
  // Mean over the window before the marker; none without a sample there.
  std::optional<double> levelBefore;
  // Mean over the window before the next marker (or the last record), never reaching back before this marker;
  // none without a sample there.
  std::optional<double> levelAfter;
  // The records levelAfter is the mean of: first .. last - 1 of the source (first == last without any).
  size_t levelAfterFirst = 0;
  size_t levelAfterLast = 0;
  // T10, T50, T90: seconds from the marker until the concentration first crossed 10, 50 and 90 % of the change
  // from levelBefore to levelAfter, rising or falling, and stayed beyond for the hold; none when it did not,
  // when it did so while the sensor was away (a gap), or when there is no change to measure.
  std::array<std::optional<double>, kResponseFractions.size()> crossingSeconds{};
  Settling settling = Settling::NoStep;
  // The least-squares slope of the concentration over the level window after the step, as a share of the
  // change per minute (0.05 is 5 % of the step per minute); none below two samples or without a change.
  std::optional<double> slopeShare;
};

// The step after each gas marker; markers are taken in time order, each step ending at the next gas marker or
// at the last record. The recorder's gap markers among them start no step: they say where records are missing. The
// records must be in time order. Costs the records of each marker's windows and of its step up to the last crossing
// found.
std::vector<StepResponse> ResponseTimes(const RecordSource& source, std::span<const Marker> markers,
                                        const ResponseSettings& settings);

}  // namespace quarn::analysis
