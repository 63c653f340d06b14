#include <gtest/gtest.h>

#include "review/DataFileTexts.h"

namespace quarn::review {
namespace {

using datafile::DateOrder;

TEST(DateOrderOfPattern, TheFirstOfDayMonthAndYearDecides) {
  const std::pair<const char*, DateOrder> cases[] = {
      {"dd/MM/yyyy", DateOrder::DayMonthYear},  // en_GB
      {"dd.MM.yy", DateOrder::DayMonthYear},    // de_DE
      {"M/d/yy", DateOrder::MonthDayYear},      // en_US
      {"yyyy-MM-dd", DateOrder::YearMonthDay},  // ISO, sv_SE
      {"yy/M/d", DateOrder::YearMonthDay},      // zh_CN
      {"d. M. yyyy", DateOrder::DayMonthYear},  // cs_CZ
      {"dddd, MMMM d", DateOrder::DayMonthYear}, {"", DateOrder::DayMonthYear},
  };
  for (const auto& [pattern, order] : cases) EXPECT_EQ(DateOrderOfPattern(pattern), order) << pattern;
}

}  // namespace
}  // namespace quarn::review
