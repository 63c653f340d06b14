#pragma once

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

namespace quarn::ui {

// Every point of the chart's series, kept compactly, with a min/max pyramid so that a view over any number
// of points can be drawn from a few thousand. All series share their X values (one record, one X).
template <size_t Series>
class SeriesHistory {
 public:
  struct Point {
    double x;
    double y;
  };

  void Append(double x, const std::array<double, Series>& values);
  void Clear();
  size_t Size() const { return keys_.size(); }
  double X(size_t i) const { return keys_[i]; }
  // Index of the first point with x >= lower and one past the last with x <= upper.
  std::pair<size_t, size_t> IndexRange(double lower, double upper) const;

  // The points of one series to draw for [first, last): all of them when there are at most maxPoints,
  // otherwise the minimum and maximum of each bucket of a pyramid level, with one neighbour outside on each
  // side so lines run to the edges. Costs O(maxPoints), whatever the history's size.
  std::vector<Point> View(size_t series, size_t first, size_t last, size_t maxPoints) const;

 private:
  static constexpr int kFirstShift = 3;  // the finest level has 8 points per bucket
  static constexpr int kLevels = 22;
  struct MinMax {
    float min, max;
  };

  std::vector<double> keys_;
  std::array<std::vector<float>, Series> values_;
  // levels_[k][s][b]: min and max of series s over points [b << (kFirstShift + k), (b + 1) << ...).
  std::array<std::array<std::vector<MinMax>, Series>, kLevels> levels_;
};

}  // namespace quarn::ui

#include "ui/SeriesHistory.inl"
