#include <algorithm>

namespace quarn::ui {

template <size_t Series>
void SeriesHistory<Series>::Append(double x, const std::array<double, Series>& values) {
  const size_t index = keys_.size();
  keys_.push_back(x);
  for (size_t s = 0; s < Series; ++s) {
    const float v = static_cast<float>(values[s]);
    values_[s].push_back(v);
    for (int k = 0; k < kLevels; ++k) {
      std::vector<MinMax>& level = levels_[k][s];
      const size_t bucket = index >> (kFirstShift + k);
      if (bucket == level.size()) {
        level.push_back({v, v});
      } else {
        level[bucket].min = std::min(level[bucket].min, v);
        level[bucket].max = std::max(level[bucket].max, v);
      }
    }
  }
}

template <size_t Series>
void SeriesHistory<Series>::Clear() {
  keys_.clear();
  keys_.shrink_to_fit();
  for (auto& v : values_) {
    v.clear();
    v.shrink_to_fit();
  }
  for (auto& level : levels_) {
    for (auto& s : level) {
      s.clear();
      s.shrink_to_fit();
    }
  }
}

template <size_t Series>
std::pair<size_t, size_t> SeriesHistory<Series>::IndexRange(double lower, double upper) const {
  const auto begin = std::lower_bound(keys_.begin(), keys_.end(), lower);
  const auto end = std::upper_bound(begin, keys_.end(), upper);
  return {static_cast<size_t>(begin - keys_.begin()), static_cast<size_t>(end - keys_.begin())};
}

template <size_t Series>
std::vector<typename SeriesHistory<Series>::Point> SeriesHistory<Series>::View(size_t series, size_t first, size_t last,
                                                                               size_t maxPoints) const {
  std::vector<Point> points;
  const size_t size = keys_.size();
  if (size == 0) return points;
  // One neighbour outside the range on each side.
  first = first > 0 ? first - 1 : 0;
  last = std::min(last + 1, size);
  if (first >= last) return points;
  const std::vector<float>& values = values_[series];
  if (last - first <= maxPoints) {
    points.reserve(last - first);
    for (size_t i = first; i < last; ++i) points.push_back({keys_[i], values[i]});
    return points;
  }
  int k = 0;
  while (k + 1 < kLevels && ((last - first) >> (kFirstShift + k)) * 2 > maxPoints) ++k;
  const int shift = kFirstShift + k;
  const std::vector<MinMax>& level = levels_[k][series];
  const size_t b0 = first >> shift;
  const size_t b1 = (last - 1) >> shift;
  points.reserve((b1 - b0 + 1) * 2);
  for (size_t b = b0; b <= b1; ++b) {
    const size_t start = b << shift;
    const size_t end = std::min(((b + 1) << shift), size) - 1;
    points.push_back({keys_[start], level[b].min});
    points.push_back({keys_[end], level[b].max});
  }
  return points;
}

}  // namespace quarn::ui
