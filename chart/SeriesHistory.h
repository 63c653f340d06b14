#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "chart/ChunkedArray.h"

namespace quarn::chart {

// The chart's series over points that live elsewhere (the run's records): only a min/max pyramid of 16-bit
// values is kept here, so that a view over any number of points can be drawn from a few thousand. All series
// share their X values (one record, one X); X never decreases with the index.
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
  // Index of the first point with x >= lower and one past the last with x <= upper, searched within
  // [from, to) (the whole history by default).
  std::pair<size_t, size_t> IndexRange(const Source& source, double lower, double upper, size_t from = 0,
                                       size_t to = SIZE_MAX) const;

  // The points of each series to draw for points [first, last), in columns of X `width` wide that begin at
  // whole multiples of width, so that equal spans of X get equal detail whatever the points' spacing. A
  // column with one point draws it; a column with more draws each series' two extremes in the order they
  // came, the first at the column's first point's X, the second at its last point's X, so a monotonic flank
  // stays monotonic. Costs a few dozen reads of the pyramid and the source per column, whatever the
  // number of points in it. The columns of the last few views are kept: a view from the same first point at
  // the same width (a growing run in view) computes again only its last column and what came after it.
  std::array<std::vector<Point>, Series> View(const Source& source, size_t first, size_t last, double width) const;

 private:
  static constexpr int kFirstShift = 4;  // the finest level has 16 points per bucket
  static constexpr size_t kFirstSize = size_t(1) << kFirstShift;
  static constexpr int kLevels = 20;
  struct Bucket {
    Values min, max;
  };
  // A piece of a column: a bucket of a level, or one point read from the source.
  struct Piece {
    int level;  // -1 for a single point
    size_t index;
  };
  // Whether the earliest minimum of series s in the bucket comes before its earliest maximum.
  bool MinComesFirst(const Source& source, int level, size_t bucket, size_t s) const;
  // Appends the column of points [first, last) to points.
  void AddColumn(const Source& source, size_t first, size_t last, std::vector<Piece>& pieces,
                 std::array<std::vector<Point>, Series>& points) const;

  // The columns of a view: where each begins and where its points begin in points.
  struct ViewColumns {
    size_t first = 0;
    double width = 0;
    size_t last = 0;                                 // one past the last point viewed
    std::vector<std::pair<size_t, size_t>> columns;  // (first point, first of its points in points)
    std::array<std::vector<Point>, Series> points;
  };
  static constexpr size_t kKeptViews = 4;  // a run, the stretches between its gaps, an export at its size

  size_t size_ = 0;
  mutable std::vector<ViewColumns> views_;
  mutable size_t nextView_ = 0;  // the kept view to replace next
  // levels_[k][b]: min and max of each series over points [b << (kFirstShift + k), (b + 1) << ...).
  std::array<ChunkedArray<Bucket, 1024>, kLevels> levels_;
};

}  // namespace quarn::chart

#include "chart/SeriesHistory.inl"
