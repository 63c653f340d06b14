#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <tuple>

#include "chart/SeriesHistory.h"

namespace quarn::chart {
namespace {

using History = SeriesHistory<2>;

// Points at half-unit spacing for the first half and two units for the second (a 0.5 s run beside a 2 s one),
// values kept for the brute-force check.
class Points : public History::Source {
 public:
  static constexpr size_t kHalf = 100000;
  std::vector<History::Values> values;
  double X(size_t i) const override { return i < kHalf ? i * 0.5 : kHalf * 0.5 + double(i - kHalf) * 2; }
  History::Values ValuesAt(size_t i) const override { return values[i]; }
};

// What the view must draw, point by point: for each column of X the single point, or the first point's X with
// the extreme that came first and the last point's X with the other.
std::vector<History::Point> Expected(const Points& points, size_t s, size_t first, size_t last, double width) {
  std::vector<History::Point> drawn;
  for (size_t begin = first; begin < last;) {
    const double column = std::floor(points.X(begin) / width);
    size_t end = begin;
    while (end < last && std::floor(points.X(end) / width) == column) ++end;
    size_t minAt = begin, maxAt = begin;
    for (size_t i = begin; i < end; ++i) {
      if (points.values[i][s] < points.values[minAt][s]) minAt = i;
      if (points.values[i][s] > points.values[maxAt][s]) maxAt = i;
    }
    if (end - begin == 1) {
      drawn.push_back({points.X(begin), double(points.values[begin][s])});
    } else {
      const size_t a = std::min(minAt, maxAt), b = std::max(minAt, maxAt);
      drawn.push_back({points.X(begin), double(points.values[a][s])});
      drawn.push_back({points.X(end - 1), double(points.values[b][s])});
    }
    begin = end;
  }
  return drawn;
}

// Each column of X draws its points' true extremes in the order they came, whatever the shape: rising,
// falling, flat with spikes, plateaus with ties, noise; over ranges that start and end anywhere, and columns
// from finer than the points to wider than the pyramid's finest buckets by far.
TEST(SeriesHistory, EachColumnDrawsItsExtremesInTheOrderTheyCame) {
  std::mt19937 random(11);
  const std::function<uint16_t(size_t)> shapes[] = {
      [](size_t i) { return uint16_t(i % 60000); },
      [](size_t i) { return uint16_t(60000 - i % 60000); },
      [](size_t i) {
        return uint16_t(i % 997 == 0 ? 9000 : i % 1009 == 0 ? 10 : 400);
      },
      [](size_t i) { return uint16_t((i / 5000) % 2 ? 30000 + (i / 300) % 3 : 20000 - (i / 700) % 4); },
      [&](size_t) { return uint16_t(random() % 5000); },
  };
  for (size_t shape = 0; shape < std::size(shapes); ++shape) {
    SCOPED_TRACE(shape);
    Points points;
    History history;
    for (size_t i = 0; i < 2 * Points::kHalf; ++i) {
      const History::Values v = {shapes[shape](i), uint16_t(random() % 100)};
      points.values.push_back(v);
      history.Append(v);
    }
    for (auto [first, last, width] : {std::tuple<size_t, size_t, double>{0, 200000, 512},
                                      {12345, 150000, 64},
                                      {100, 5000, 0.25},
                                      {97000, 104000, 8},
                                      {199000, 200000, 16},
                                      {0, 200000, 65536}}) {
      SCOPED_TRACE(testing::Message() << first << ".." << last << " by " << width);
      const auto view = history.View(points, first, last, width);
      for (size_t s = 0; s < 2; ++s) {
        const auto expected = Expected(points, s, first, last, width);
        ASSERT_EQ(view[s].size(), expected.size());
        for (size_t p = 0; p < expected.size(); ++p) {
          ASSERT_EQ(view[s][p].x, expected[p].x) << p;
          ASSERT_EQ(view[s][p].y, expected[p].y) << p;
        }
      }
    }
  }
}

void ExpectView(const History& history, const Points& points, size_t first, size_t last, double width) {
  const auto view = history.View(points, first, last, width);
  for (size_t s = 0; s < 2; ++s) {
    const auto expected = Expected(points, s, first, last, width);
    ASSERT_EQ(view[s].size(), expected.size()) << first << ".." << last << " by " << width;
    for (size_t p = 0; p < expected.size(); ++p) {
      ASSERT_EQ(view[s][p].x, expected[p].x) << p;
      ASSERT_EQ(view[s][p].y, expected[p].y) << p;
    }
  }
}

// A run in view as it grows: the view made again from the columns kept since the last one is the view made
// afresh, also when views of other ranges and widths come between, and after the history starts over.
TEST(SeriesHistory, AGrowingViewIsTheViewMadeAfresh) {
  std::mt19937 random(12);
  Points points;
  History history;
  size_t count = 0;
  auto grow = [&](size_t more) {
    for (size_t end = count + more; count < end; ++count) {
      const History::Values v = {uint16_t(count % 3000 == 0 ? 9000 : random() % 700), uint16_t(random() % 100)};
      points.values.push_back(v);
      history.Append(v);
    }
  };
  for (int tick = 0; tick < 300 && !HasFatalFailure(); ++tick) {
    grow(tick % 7 == 0 ? 1 : 1 + random() % 400);
    ExpectView(history, points, 0, count, 64);
    ExpectView(history, points, 10, count, 64);
    if (tick % 5 == 0) ExpectView(history, points, 0, count, 8);
    if (tick % 11 == 0) ExpectView(history, points, 0, count / 2, 64);  // shorter than the kept view
    for (double width : {1.0, 2.0, 4.0, 16.0, 32.0}) {
      if (tick % 13 == 0) ExpectView(history, points, 5, count, width);  // more views than are kept
    }
  }
  ASSERT_FALSE(HasFatalFailure());
  history.Clear();
  points.values.clear();
  count = 0;
  grow(5000);
  ExpectView(history, points, 0, count, 64);
}

TEST(SeriesHistory, FindsTheIndexRangeOfAnXRange) {
  Points points;
  History history;
  for (size_t i = 0; i < 2 * Points::kHalf; ++i) {
    points.values.push_back({0, 0});
    history.Append({0, 0});
  }
  EXPECT_EQ(history.IndexRange(points, 10, 20), std::make_pair(size_t(20), size_t(41)));
  // Past the change of spacing, and within a part of the history.
  EXPECT_EQ(history.IndexRange(points, 49999, 50004), std::make_pair(size_t(99998), size_t(100003)));
  EXPECT_EQ(history.IndexRange(points, 0, 1e9, 500, 700), std::make_pair(size_t(500), size_t(700)));
  EXPECT_EQ(history.IndexRange(points, 1e9, 2e9), std::make_pair(size_t(200000), size_t(200000)));
}

}  // namespace
}  // namespace quarn::chart
