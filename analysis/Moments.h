#pragma once

#include <array>
#include <cstddef>

#include "analysis/RecordSource.h"

namespace quarn::analysis {

// Central moments of a set of points (t, y1..y5): count, means, sums of squared deviations and the
// co-moment of each series with time, and the extremes. Sets combine exactly (pairwise, without the
// cancellation of raw power sums), so any range can be built from the moments of its parts.
struct Moments {
  struct Series {
    double mean = 0;
    double m2 = 0;        // sum of (y - mean)^2
    double coMoment = 0;  // sum of (t - meanT) * (y - mean)
    double min = 0;
    double max = 0;
  };
  double count = 0;
  double meanT = 0;  // seconds since the index's origin
  double m2T = 0;
  std::array<Series, kSeriesCount> series{};

  // This set joined with other.
  void Merge(const Moments& other);
};

// Sums of points shifted by the first point, so that the sums stay small and their cancellation harmless
// (the values are 16-bit integers: their shifted sums and squares are exact).
class ShiftedSums {
 public:
  void Add(double t, const SeriesValues& y);
  size_t Count() const { return count_; }
  Moments ToMoments() const;

 private:
  size_t count_ = 0;
  double t0_ = 0;
  double sumT_ = 0;
  double sumTT_ = 0;
  struct Series {
    double y0 = 0;
    double sum = 0;
    double sumSquares = 0;
    double sumTY = 0;
    double min = 0;
    double max = 0;
  };
  std::array<Series, kSeriesCount> series_{};
};

}  // namespace quarn::analysis
