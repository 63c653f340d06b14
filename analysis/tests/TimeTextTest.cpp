#include "analysis/TimeText.h"

#include <gtest/gtest.h>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"

namespace quarn::analysis {
namespace {

using acquisition::EncodeDayNumber;
using acquisition::LocalDateTime;

struct TimeCase {
  const char* text;
  DateOrder order;
  std::optional<LocalDateTime> expected;
};

TEST(TimeTextTest, RegionalAndIsoForms) {
  const LocalDateTime afternoon{2013, 9, 5, 14, 3, 7, 0};
  const LocalDateTime midnight{2013, 9, 5, 0, 0, 0, 0};
  const std::vector<TimeCase> cases = {
      {"2013-09-05 14:03:07", DateOrder::kDayMonthYear, afternoon},
      {"2013-09-05T14:03:07", DateOrder::kMonthDayYear, afternoon},
      {"2013-09-05T14:03:07.250", DateOrder::kDayMonthYear, LocalDateTime{2013, 9, 5, 14, 3, 7, 250}},
      {"2013-09-05T14:03", DateOrder::kDayMonthYear, LocalDateTime{2013, 9, 5, 14, 3, 0, 0}},
      {"05.09.2013 14:03:07", DateOrder::kDayMonthYear, afternoon},
      {"5/9/2013 14:03:07", DateOrder::kDayMonthYear, afternoon},
      {"9/5/2013 2:03:07 PM", DateOrder::kMonthDayYear, afternoon},
      {"9/5/13 2:03:07 pm", DateOrder::kMonthDayYear, afternoon},
      {"9/5/13 12:03:07 AM", DateOrder::kMonthDayYear, LocalDateTime{2013, 9, 5, 0, 3, 7, 0}},
      {"05.09.2013", DateOrder::kDayMonthYear, midnight},
      {"2013-09-05", DateOrder::kDayMonthYear, midnight},
      {" 2013-09-05 14:03:07 ", DateOrder::kDayMonthYear, afternoon},
      {"29.02.2024 10:00:00", DateOrder::kDayMonthYear, LocalDateTime{2024, 2, 29, 10, 0, 0, 0}},
      {"29.02.2023 10:00:00", DateOrder::kDayMonthYear, std::nullopt},
      {"13/25/2013 10:00:00", DateOrder::kMonthDayYear, std::nullopt},
      {"2013-09-05 24:00:00", DateOrder::kDayMonthYear, std::nullopt},
      {"2013-09-05 14:03:07 XM", DateOrder::kDayMonthYear, std::nullopt},
      {"2013-09-05 14:03:07 extra", DateOrder::kDayMonthYear, std::nullopt},
      {"2013/09-05", DateOrder::kDayMonthYear, std::nullopt},
      {"yesterday", DateOrder::kDayMonthYear, std::nullopt},
      {"", DateOrder::kDayMonthYear, std::nullopt},
      {"14:03:07", DateOrder::kDayMonthYear, std::nullopt},
  };
  for (const TimeCase& c : cases) {
    const std::optional<double> got = ParseTimeText(c.text, c.order);
    if (!c.expected) {
      EXPECT_FALSE(got.has_value()) << c.text;
    } else {
      ASSERT_TRUE(got.has_value()) << c.text;
      EXPECT_DOUBLE_EQ(*got, EncodeDayNumber(*c.expected)) << c.text;
    }
  }
}

TEST(TimeTextTest, ReadsWhatTheDataFileWrites) {
  const acquisition::PlainRegionalFormat format;
  for (const LocalDateTime& when : {LocalDateTime{2026, 12, 10, 16, 43, 6, 0}, LocalDateTime{2026, 1, 1, 0, 0, 0, 0}}) {
    const double DT = EncodeDayNumber(when);
    EXPECT_EQ(ParseTimeText(acquisition::RecordTimeText(DT, format), DateOrder::kDayMonthYear), DT);
  }
}

}  // namespace
}  // namespace quarn::analysis
