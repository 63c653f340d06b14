#include "chart/ZoomLogic.h"

#include <gtest/gtest.h>

namespace quarn::chart {
namespace {

TEST(ZoomLogic, RoundsHalvesToEven) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(0.6), 1);
}

// By time around the view's centre: "X+" takes a tenth of the span off each side, "X-" undoes it, within the
// records' times.
TEST(ZoomLogic, TimeAxis) {
  using Range = std::optional<std::pair<double, double>>;
  struct Case {
    double lower, upper;
    Range in, out;
  };
  const Case cases[] = {
      {0, 100, {{10, 90}}, {{0, 100}}},  // out: clipped to the records at 0 .. 100
      {10, 90, {{18, 82}}, {{0, 100}}},  // out: 40 +- 50 gives back 0 .. 100
      {40, 60, {{42, 58}}, {{37.5, 62.5}}},
      {92, 100, {{92.8, 99.2}}, {{91, 100}}},      // out: 96 +- 5 stops at the last record
      {50, 51, std::nullopt, {{49.875, 51.125}}},  // in: 0.8 would be below the smallest span of 1
      {200, 300, {{210, 290}}, std::nullopt},      // out: no record there to widen to
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lower << ".." << c.upper);
    const Range in = ZoomTimeIn(c.lower, c.upper, 1);
    const Range out = ZoomTimeOut(c.lower, c.upper, 0, 100);
    ASSERT_EQ(in.has_value(), c.in.has_value());
    ASSERT_EQ(out.has_value(), c.out.has_value());
    if (in) {
      EXPECT_DOUBLE_EQ(in->first, c.in->first);
      EXPECT_DOUBLE_EQ(in->second, c.in->second);
    }
    if (out) {
      EXPECT_DOUBLE_EQ(out->first, c.out->first);
      EXPECT_DOUBLE_EQ(out->second, c.out->second);
    }
  }
}

TEST(ZoomLogic, ValueAxis) {
  EXPECT_EQ(ZoomValueIn(0, 1), std::nullopt);  // a step of 1 would cross the limits
  EXPECT_EQ(ZoomValueOut(0, 1), std::make_pair(-1.0, 2.0));
  EXPECT_EQ(ZoomValueIn(0, 100), std::make_pair(10.0, 90.0));
  EXPECT_EQ(ZoomValueOut(0, 100), std::make_pair(-10.0, 110.0));
  EXPECT_EQ(ZoomValueIn(0.4, 25.4), std::make_pair(2.0, 23.0));  // 0..25, s = Round(2.5) = 2
  EXPECT_EQ(ZoomValueIn(0, 2), std::make_pair(1.0, 1.0));
}

}  // namespace
}  // namespace quarn::chart
