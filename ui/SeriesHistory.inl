#include <algorithm>

namespace quarn::ui {

template <size_t Series>
void SeriesHistory<Series>::Append(const Values& values) {
  const size_t index = size_++;
  for (int k = 0; k < kLevels; ++k) {
    ChunkedArray<Bucket, 1024>& level = levels_[k];
    const size_t bucket = index >> (kFirstShift + k);
    if (bucket == level.size()) {
      level.push_back({values, values});
      continue;
    }
    Bucket& b = level[bucket];
    bool widened = false;
    for (size_t s = 0; s < Series; ++s) {
      if (values[s] < b.min[s]) {
        b.min[s] = values[s];
        widened = true;
      }
      if (values[s] > b.max[s]) {
        b.max[s] = values[s];
        widened = true;
      }
    }
    // The buckets above hold this one and already exist (the point does not start them): a point inside
    // this bucket's range is inside theirs.
    if (!widened) return;
  }
}

template <size_t Series>
void SeriesHistory<Series>::Clear() {
  size_ = 0;
  for (auto& level : levels_) level.clear();
}

template <size_t Series>
std::pair<size_t, size_t> SeriesHistory<Series>::IndexRange(const Source& source, double lower, double upper) const {
  // Binary searches over the source's X, which grows with the index.
  auto firstNotBelow = [&](size_t from, auto below) {
    size_t lo = from, hi = size_;
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (below(source.X(mid))) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  };
  const size_t begin = firstNotBelow(0, [&](double x) { return x < lower; });
  const size_t end = firstNotBelow(begin, [&](double x) { return x <= upper; });
  return {begin, end};
}

template <size_t Series>
std::array<std::vector<typename SeriesHistory<Series>::Point>, Series> SeriesHistory<Series>::View(
    const Source& source, size_t first, size_t last, size_t maxPoints) const {
  std::array<std::vector<Point>, Series> points;
  if (size_ == 0) return points;
  // One neighbour outside the range on each side.
  first = first > 0 ? first - 1 : 0;
  last = std::min(last + 1, size_);
  if (first >= last) return points;
  if (last - first <= maxPoints) {
    for (auto& p : points) p.reserve(last - first);
    for (size_t i = first; i < last; ++i) {
      const double x = source.X(i);
      const Values values = source.ValuesAt(i);
      for (size_t s = 0; s < Series; ++s) points[s].push_back({x, double(values[s])});
    }
    return points;
  }
  int k = 0;
  while (k + 1 < kLevels && ((last - first) >> (kFirstShift + k)) * 2 > maxPoints) ++k;
  const int shift = kFirstShift + k;
  const ChunkedArray<Bucket, 1024>& level = levels_[k];
  const size_t b0 = first >> shift;
  const size_t b1 = (last - 1) >> shift;
  for (auto& p : points) p.reserve((b1 - b0 + 1) * 2);
  for (size_t b = b0; b <= b1; ++b) {
    const double startX = source.X(b << shift);
    const double endX = source.X(std::min(((b + 1) << shift), size_) - 1);
    for (size_t s = 0; s < Series; ++s) {
      points[s].push_back({startX, double(level[b].min[s])});
      points[s].push_back({endX, double(level[b].max[s])});
    }
  }
  return points;
}

}  // namespace quarn::ui
