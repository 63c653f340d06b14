#include <algorithm>
#include <cmath>

namespace quarn::chart {

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
  views_.clear();
  views_.shrink_to_fit();
  for (auto& level : levels_) level.clear();
}

template <size_t Series>
std::pair<size_t, size_t> SeriesHistory<Series>::IndexRange(const Source& source, double lower, double upper,
                                                            size_t from, size_t to) const {
  to = std::min(to, size_);
  from = std::min(from, to);
  // Binary searches over the source's X, which never decreases with the index.
  auto firstNotBelow = [&](size_t lo, auto below) {
    size_t hi = to;
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
  const size_t begin = firstNotBelow(from, [&](double x) { return x < lower; });
  const size_t end = firstNotBelow(begin, [&](double x) { return x <= upper; });
  return {begin, end};
}

template <size_t Series>
std::array<std::vector<typename SeriesHistory<Series>::Point>, Series> SeriesHistory<Series>::View(const Source& source,
                                                                                                   size_t first,
                                                                                                   size_t last,
                                                                                                   double width) const {
  last = std::min(last, size_);
  if (first >= last || !(width > 0)) return {};
  auto kept = std::find_if(views_.begin(), views_.end(),
                           [&](const ViewColumns& v) { return v.first == first && v.width == width; });
  if (kept == views_.end()) {
    if (views_.size() < kKeptViews) {
      kept = views_.emplace(views_.end());
    } else {
      kept = views_.begin() + static_cast<std::ptrdiff_t>(nextView_);
      nextView_ = (nextView_ + 1) % kKeptViews;
    }
    *kept = {first, width, 0, {}, {}};
  }
  ViewColumns& view = *kept;
  std::array<std::vector<Point>, Series>& points = view.points;
  // Columns before the last had a point past their end, so nothing appended since changes them; the last one
  // is made again. A view that ended later than this one is of other points: it starts over.
  if (view.last > last) view.columns.clear();
  view.last = last;
  size_t begin = first;
  if (!view.columns.empty()) {
    begin = view.columns.back().first;
    for (auto& series : points) series.resize(view.columns.back().second);
    view.columns.pop_back();
  } else {
    for (auto& series : points) series.clear();
  }
  std::vector<Piece> pieces;
  while (begin < last) {
    const double end = (std::floor(source.X(begin) / width) + 1) * width;
    // The column's end: the first point at or past its right edge, found by doubling steps and then halving,
    // so a column costs reads in the logarithm of its points.
    size_t lo = begin + 1, hi = begin + 1, step = 1;
    while (hi < last && source.X(hi) < end) {
      lo = hi + 1;
      hi = std::min(last, hi + step);
      step *= 2;
    }
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (source.X(mid) < end) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    view.columns.emplace_back(begin, points[0].size());
    AddColumn(source, begin, lo, pieces, points);
    begin = lo;
  }
  return points;
}

template <size_t Series>
void SeriesHistory<Series>::AddColumn(const Source& source, size_t first, size_t last, std::vector<Piece>& pieces,
                                      std::array<std::vector<Point>, Series>& points) const {
  if (last - first == 1) {
    const double x = source.X(first);
    const Values values = source.ValuesAt(first);
    for (size_t s = 0; s < Series; ++s) points[s].push_back({x, double(values[s])});
    return;
  }
  // The column as whole buckets, as coarse as they fit, between the single points at its ends, in order.
  pieces.clear();
  const size_t whole0 = (first + kFirstSize - 1) >> kFirstShift;
  const size_t whole1 = last >> kFirstShift;
  if (whole0 >= whole1) {
    for (size_t i = first; i < last; ++i) pieces.push_back({-1, i});
  } else {
    for (size_t i = first; i < (whole0 << kFirstShift); ++i) pieces.push_back({-1, i});
    std::array<Piece, 2 * kLevels> right;
    size_t rightCount = 0;
    size_t lo = whole0, hi = whole1;
    for (int k = 0; lo < hi; ++k) {
      if (k == kLevels - 1) {
        for (size_t b = lo; b < hi; ++b) pieces.push_back({k, b});
        break;
      }
      if (lo & 1) pieces.push_back({k, lo++});
      if (hi & 1) right[rightCount++] = {k, --hi};
      lo >>= 1;
      hi >>= 1;
    }
    while (rightCount > 0) pieces.push_back(right[--rightCount]);
    for (size_t i = whole1 << kFirstShift; i < last; ++i) pieces.push_back({-1, i});
  }

  Values min{}, max{};
  std::array<size_t, Series> minPiece{}, maxPiece{};
  for (size_t p = 0; p < pieces.size(); ++p) {
    Values lo, hi;
    if (pieces[p].level < 0) {
      lo = hi = source.ValuesAt(pieces[p].index);
    } else {
      const Bucket& bucket = levels_[pieces[p].level][pieces[p].index];
      lo = bucket.min;
      hi = bucket.max;
    }
    for (size_t s = 0; s < Series; ++s) {
      // Strict comparisons keep the earliest piece that holds each extreme.
      if (p == 0 || lo[s] < min[s]) {
        min[s] = lo[s];
        minPiece[s] = p;
      }
      if (p == 0 || hi[s] > max[s]) {
        max[s] = hi[s];
        maxPiece[s] = p;
      }
    }
  }
  const double firstX = source.X(first);
  const double lastX = source.X(last - 1);
  for (size_t s = 0; s < Series; ++s) {
    bool minFirst = minPiece[s] < maxPiece[s];
    if (minPiece[s] == maxPiece[s]) {
      const Piece& piece = pieces[minPiece[s]];
      minFirst = piece.level < 0 || MinComesFirst(source, piece.level, piece.index, s);
    }
    points[s].push_back({firstX, double(minFirst ? min[s] : max[s])});
    points[s].push_back({lastX, double(minFirst ? max[s] : min[s])});
  }
}

template <size_t Series>
bool SeriesHistory<Series>::MinComesFirst(const Source& source, int level, size_t bucket, size_t s) const {
  const uint16_t min = levels_[level][bucket].min[s];
  const uint16_t max = levels_[level][bucket].max[s];
  if (min == max) return true;
  // Down the pyramid to where the two extremes part: the earliest of each lies in the first half that holds
  // it. The bucket is whole, so both its halves exist.
  for (int k = level; k > 0; --k) {
    const Bucket& left = levels_[k - 1][2 * bucket];
    const bool minLeft = left.min[s] == min;
    const bool maxLeft = left.max[s] == max;
    if (minLeft != maxLeft) return minLeft;
    bucket = 2 * bucket + (minLeft ? 0 : 1);
  }
  for (size_t i = bucket << kFirstShift; i < (bucket + 1) << kFirstShift; ++i) {
    const uint16_t value = source.ValuesAt(i)[s];
    if (value == min) return true;
    if (value == max) return false;
  }
  return true;
}

}  // namespace quarn::chart
