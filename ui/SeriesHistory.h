#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "ui/ChunkedArray.h"

namespace quarn::ui {

// The chart's series over points that live elsewhere (the run's records): only a min/max pyramid of 16-bit
// values is kept here, so that a view over any number of points can be drawn from a few thousand. All series
// share their X values (one record, one X); X grows with the index.
template <size_t Series>
class SeriesHistory {
 public:
  using Values = std::array<uint16_t, Series>;
  struct Point {
    double x;
    double y;
  };
  // Where the points are read from: the X and the values of point i < Size().
  class Source {
   public:
    virtual ~Source() = default;
    virtual double X(size_t i) const = 0;
    virtual Values ValuesAt(size_t i) const = 0;
  };

  // The next point's values, in index order.
  void Append(const Values& values);
  void Clear();
  size_t Size() const { return size_; }
  // Index of the first point with x >= lower and one past the last with x <= upper.
  std::pair<size_t, size_t> IndexRange(const Source& source, double lower, double upper) const;

  // The points of each series to draw for [first, last): all of them when there are at most maxPoints,
  // otherwise the minimum and maximum of each bucket of a pyramid level, with one neighbour outside on each
  // side so lines run to the edges. Costs O(maxPoints) reads of the source, whatever the history's size.
  std::array<std::vector<Point>, Series> View(const Source& source, size_t first, size_t last, size_t maxPoints) const;

 private:
  static constexpr int kFirstShift = 4;  // the finest level has 16 points per bucket
  static constexpr int kLevels = 20;
  struct Bucket {
    Values min, max;
  };

  size_t size_ = 0;
  // levels_[k][b]: min and max of each series over points [b << (kFirstShift + k), (b + 1) << ...).
  std::array<ChunkedArray<Bucket, 1024>, kLevels> levels_;
};

}  // namespace quarn::ui

#include "ui/SeriesHistory.inl"
