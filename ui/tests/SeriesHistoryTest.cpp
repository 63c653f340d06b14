#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <tuple>

#include "ui/SeriesHistory.h"

namespace quarn::ui {
namespace {

using History = SeriesHistory<2>;

// Points whose X is their index, values kept for the brute-force check.
class IndexPoints : public History::Source {
 public:
  std::vector<History::Values> values;
  double X(size_t i) const override { return double(i); }
  History::Values ValuesAt(size_t i) const override { return values[i]; }
};

// Every bucket the view draws holds the true minimum and maximum of the points it spans, whatever order the
// points came in: rising, falling, flat with spikes, noise.
TEST(SeriesHistory, EachDrawnBucketHoldsTheMinimumAndMaximumOfItsPoints) {
  std::mt19937 random(11);
  const std::function<uint16_t(size_t)> shapes[] = {
      [](size_t i) { return uint16_t(i % 60000); },
      [](size_t i) { return uint16_t(60000 - i % 60000); },
      [](size_t i) { return uint16_t(i % 997 == 0 ? 9000 : 400); },
      [&](size_t) { return uint16_t(random() % 5000); },
  };
  for (size_t shape = 0; shape < std::size(shapes); ++shape) {
    SCOPED_TRACE(shape);
    IndexPoints points;
    History history;
    for (size_t i = 0; i < 200000; ++i) {
      const History::Values v = {shapes[shape](i), uint16_t(random() % 100)};
      points.values.push_back(v);
      history.Append(v);
    }
    for (auto [first, last, maxPoints] : {std::tuple<size_t, size_t, size_t>{0, 200000, 500},
                                          {12345, 150000, 1000},
                                          {100, 5000, 300},
                                          {199000, 200000, 64}}) {
      const auto view = history.View(points, first, last, maxPoints);
      ASSERT_EQ(view[0].size() % 2, 0u);
      for (size_t s = 0; s < 2; ++s) {
        for (size_t p = 0; p + 1 < view[s].size(); p += 2) {
          const size_t from = size_t(view[s][p].x), to = size_t(view[s][p + 1].x);
          uint16_t lo = 65535, hi = 0;
          for (size_t i = from; i <= to; ++i) {
            lo = std::min(lo, points.values[i][s]);
            hi = std::max(hi, points.values[i][s]);
          }
          ASSERT_EQ(view[s][p].y, lo) << from << ".." << to;
          ASSERT_EQ(view[s][p + 1].y, hi) << from << ".." << to;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quarn::ui
