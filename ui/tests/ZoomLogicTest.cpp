#include "ui/ZoomLogic.h"

#include <gtest/gtest.h>

namespace quarn::ui {
namespace {

TEST(ZoomLogic, RoundsHalvesToEven) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(0.6), 1);
}

TEST(ZoomLogic, TimeAxis) {
  struct Case {
    int f, l, c;
    std::optional<std::pair<int, int>> in, out;
  };
  const Case cases[] = {
      {0, 100, 101, {{10, 90}}, {{0, 100}}}, {10, 90, 101, {{18, 82}}, {{2, 98}}},
      {0, 5, 6, {{0, 5}}, {{0, 5}}},       // s = Round(0.5) = 0: exactly first to last visible
      {3, 7, 20, {{3, 7}}, {{2, 8}}},      // s = 0 in, at least 1 out
      {0, 15, 100, {{2, 13}}, {{0, 17}}},  // s = Round(1.5) = 2
      {0, 25, 100, {{2, 23}}, {{0, 27}}},  // s = Round(2.5) = 2
      {4, 4, 9, {{4, 4}}, {{3, 5}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ZoomTimeIn(c.f, c.l), c.in) << c.f << ".." << c.l;
    EXPECT_EQ(ZoomTimeOut(c.f, c.l, c.c), c.out) << c.f << ".." << c.l;
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
}  // namespace quarn::ui
