#include "ResponseTimes.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/Gaps.h"

namespace quarn::analysis {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Mean concentration of records first .. last - 1; none when empty.
std::optional<double> MeanConcentration(const RecordSource& source, size_t first, size_t last) {
  if (first >= last) return std::nullopt;
  double sum = 0;
  double count = 0;
  const double shift = ValuesOf(source.At(first))[kConcentration];
  source.Visit(first, last, [&](std::span<const acquisition::MeasurementRecord> records) {
    for (const acquisition::MeasurementRecord& r : records) {
      sum += ValuesOf(r)[kConcentration] - shift;
      ++count;
    }
  });
  return shift + sum / count;
}

// The least-squares slope of the concentration of records first .. last - 1 over their time, per minute; none
// below two samples or when they share one time.
std::optional<double> SlopePerMinute(const RecordSource& source, size_t first, size_t last) {
  if (last < first + 2) return std::nullopt;
  // Moments about the first sample, so that day numbers and large values keep their precision.
  const acquisition::MeasurementRecord origin = source.At(first);
  const double t0 = origin.DT;
  const double c0 = ValuesOf(origin)[kConcentration];
  double n = 0, st = 0, sc = 0, stt = 0, stc = 0;
  source.Visit(first, last, [&](std::span<const acquisition::MeasurementRecord> records) {
    for (const acquisition::MeasurementRecord& r : records) {
      const double t = (r.DT - t0) * kSecondsPerDay / 60;
      const double c = ValuesOf(r)[kConcentration] - c0;
      n += 1;
      st += t;
      sc += c;
      stt += t * t;
      stc += t * c;
    }
  });
  const double spread = n * stt - st * st;
  if (spread <= 0) return std::nullopt;
  return (n * stc - st * sc) / spread;
}

// Seconds from the marker until the concentration crosses level (in the direction of rising) and stays beyond it
// for hold samples, among records first .. last - 1; the crossing is placed between the last sample before it
// and the first beyond it, never before the marker. When a gap lies between those two, the crossing happened
// while the sensor was away: its time is not known.
class CrossingSearch {
 public:
  // gapMiddles: a time amid each gap, ascending.
  CrossingSearch(double markerDays, double level, bool rising, int hold, const std::vector<double>& gapMiddles)
      : markerDays_(markerDays), level_(level), rising_(rising), hold_(std::max(1, hold)), gapMiddles_(gapMiddles) {}

  // Feeds the next sample; true once the crossing is confirmed.
  bool Add(double days, double value) {
    const bool beyond = rising_ ? value >= level_ : value <= level_;
    if (!beyond) {
      run_ = 0;
      previousDays_ = days;
      previousValue_ = value;
      havePrevious_ = true;
      return false;
    }
    if (run_ == 0) {
      startDays_ = days;
      const auto gap = std::upper_bound(gapMiddles_.begin(), gapMiddles_.end(), previousDays_);
      inGap_ = havePrevious_ && gap != gapMiddles_.end() && *gap < days;
      if (havePrevious_ && value != previousValue_) {
        const double share = (level_ - previousValue_) / (value - previousValue_);
        startDays_ = previousDays_ + share * (days - previousDays_);
      }
    }
    ++run_;
    return run_ >= hold_;
  }
  // Before the first sample of the step: the last sample before the marker, for placing a crossing between
  // the two.
  void SetPrevious(double days, double value) {
    const bool beyond = rising_ ? value >= level_ : value <= level_;
    if (beyond) return;
    previousDays_ = days;
    previousValue_ = value;
    havePrevious_ = true;
  }
  // None when the crossing fell into a gap.
  std::optional<double> Seconds() const {
    if (inGap_) return std::nullopt;
    return std::max(0.0, (startDays_ - markerDays_) * kSecondsPerDay);
  }

 private:
  double markerDays_;
  double level_;
  bool rising_;
  int hold_;
  const std::vector<double>& gapMiddles_;
  bool inGap_ = false;
  int run_ = 0;
  double startDays_ = 0;
  double previousDays_ = 0;
  double previousValue_ = 0;
  bool havePrevious_ = false;
};

}  // namespace

std::vector<StepResponse> ResponseTimes(const RecordSource& source, std::span<const Marker> markers,
                                        const ResponseSettings& settings) {
  std::vector<Marker> ordered(markers.begin(), markers.end());
  std::stable_sort(ordered.begin(), ordered.end(), [](const Marker& a, const Marker& b) { return a.time < b.time; });
  std::vector<double> gapMiddles;
  for (const Gap& gap : GapsOf(ordered)) gapMiddles.push_back(gap.start.time + gap.seconds / kSecondsPerDay / 2);
  ordered = WithoutGapMarkers(ordered);
  const double windowDays = settings.windowSeconds / kSecondsPerDay;
  const size_t count = source.Count();

  std::vector<StepResponse> steps;
  for (size_t m = 0; m < ordered.size(); ++m) {
    StepResponse step;
    step.marker = ordered[m];
    const double markerDays = ordered[m].time;
    const bool last = m + 1 == ordered.size();
    // The step runs from the marker to the next marker (excluded) or to the last record (included).
    const size_t stepBegin = IndexRange(source, markerDays, kInfinity).first;
    const size_t stepEnd = last ? count : IndexRange(source, ordered[m + 1].time, kInfinity).first;
    const size_t beforeBegin = IndexRange(source, markerDays - windowDays, kInfinity).first;
    step.levelBefore = MeanConcentration(source, beforeBegin, stepBegin);
    if (stepBegin < stepEnd) {
      const double endDays = last ? source.TimeAt(count - 1) : ordered[m + 1].time;
      const double afterFrom = std::max(markerDays, endDays - windowDays);
      size_t afterBegin = IndexRange(source, afterFrom, kInfinity).first;
      afterBegin = std::clamp(afterBegin, stepBegin, stepEnd);
      step.levelAfter = MeanConcentration(source, afterBegin, stepEnd);
      step.levelAfterFirst = afterBegin;
      step.levelAfterLast = stepEnd;
      if (step.levelBefore && step.levelAfter && *step.levelAfter != *step.levelBefore) {
        const double change = *step.levelAfter - *step.levelBefore;
        if (const std::optional<double> slope = SlopePerMinute(source, afterBegin, stepEnd)) {
          step.slopeShare = *slope / std::abs(change);
        }
        if (endDays - markerDays < windowDays) {
          step.settling = Settling::WindowCutShort;
        } else if (!step.slopeShare) {
          step.settling = Settling::TooFewSamples;
        } else if (std::abs(*step.slopeShare) > settings.settledSlopePerMinute) {
          step.settling = Settling::StillMoving;
        } else {
          step.settling = Settling::Settled;
        }
      }
    }
    if (step.levelBefore && step.levelAfter && *step.levelAfter != *step.levelBefore) {
      const double change = *step.levelAfter - *step.levelBefore;
      std::vector<CrossingSearch> searches;
      for (double fraction : kResponseFractions) {
        searches.emplace_back(markerDays, *step.levelBefore + fraction * change, change > 0, settings.holdSamples,
                              gapMiddles);
        if (stepBegin > 0) {
          const acquisition::MeasurementRecord previous = source.At(stepBegin - 1);
          searches.back().SetPrevious(previous.DT, ValuesOf(previous)[kConcentration]);
        }
      }
      // Read the step in pieces, so that a fast step costs only its first records.
      constexpr size_t kPiece = 1024;
      size_t open = searches.size();
      std::array<bool, kResponseFractions.size()> done{};
      for (size_t begin = stepBegin; begin < stepEnd && open > 0; begin += kPiece) {
        source.Visit(begin, std::min(stepEnd, begin + kPiece),
                     [&](std::span<const acquisition::MeasurementRecord> records) {
                       for (const acquisition::MeasurementRecord& r : records) {
                         for (size_t f = 0; f < searches.size(); ++f) {
                           if (done[f]) continue;
                           if (searches[f].Add(r.DT, ValuesOf(r)[kConcentration])) {
                             done[f] = true;
                             step.crossingSeconds[f] = searches[f].Seconds();
                             --open;
                           }
                         }
                       }
                     });
      }
    }
    steps.push_back(std::move(step));
  }
  return steps;
}

}  // namespace quarn::analysis
