#include "analysis/TimeText.h"

#include <gtest/gtest.h>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "datafile/DataFileReader.h"

namespace quarn::analysis {
namespace {

using acquisition::EncodeDayNumber;
using acquisition::LocalDateTime;
using datafile::DateOrder;

struct TimeCase {
  const char* text;
  datafile::DateOrder order;
  std::optional<LocalDateTime> expected;
};

TEST(TimeTextTest, RegionalAndIsoForms) {
  const LocalDateTime afternoon{2013, 9, 5, 14, 3, 7, 0};
  const LocalDateTime midnight{2013, 9, 5, 0, 0, 0, 0};
  const std::vector<TimeCase> cases = {
      {"2013-09-05 14:03:07", DateOrder::DayMonthYear, afternoon},
      {"2013-09-05T14:03:07", DateOrder::MonthDayYear, afternoon},
      {"2013-09-05T14:03:07.250", DateOrder::DayMonthYear, LocalDateTime{2013, 9, 5, 14, 3, 7, 250}},
      {"2013-09-05T14:03", DateOrder::DayMonthYear, LocalDateTime{2013, 9, 5, 14, 3, 0, 0}},
      {"05.09.2013 14:03:07", DateOrder::DayMonthYear, afternoon},
      {"5/9/2013 14:03:07", DateOrder::DayMonthYear, afternoon},
      {"9/5/2013 2:03:07 PM", DateOrder::MonthDayYear, afternoon},
      {"9/5/13 2:03:07 pm", DateOrder::MonthDayYear, afternoon},
      {"9/5/13 12:03:07 AM", DateOrder::MonthDayYear, LocalDateTime{2013, 9, 5, 0, 3, 7, 0}},
      {"05.09.2013", DateOrder::DayMonthYear, midnight},
      {"2013-09-05", DateOrder::DayMonthYear, midnight},
      {" 2013-09-05 14:03:07 ", DateOrder::DayMonthYear, afternoon},
      {"29.02.2024 10:00:00", DateOrder::DayMonthYear, LocalDateTime{2024, 2, 29, 10, 0, 0, 0}},
      {"29.02.2023 10:00:00", DateOrder::DayMonthYear, std::nullopt},
      {"13/25/2013 10:00:00", DateOrder::MonthDayYear, std::nullopt},
      {"2013-09-05 24:00:00", DateOrder::DayMonthYear, std::nullopt},
      {"2013-09-05 14:03:07 XM", DateOrder::DayMonthYear, std::nullopt},
      {"2013-09-05 14:03:07 extra", DateOrder::DayMonthYear, std::nullopt},
      {"2013:09:05", DateOrder::DayMonthYear, std::nullopt},
      {"2013-09", DateOrder::DayMonthYear, std::nullopt},
      {"yesterday", DateOrder::DayMonthYear, std::nullopt},
      {"", DateOrder::DayMonthYear, std::nullopt},
      {"14:03:07", DateOrder::DayMonthYear, std::nullopt},
      {"5 Sep 2013 14:03:07", DateOrder::MonthDayYear, afternoon},
      {"05 September 2013 14:03:07", DateOrder::DayMonthYear, afternoon},
      {"Sep 5, 2013 2:03:07 PM", DateOrder::DayMonthYear, afternoon},
      {"Thu, 5 Sep 2013 14:03:07", DateOrder::DayMonthYear, afternoon},
      {"Thursday 5. Sep. 2013", DateOrder::DayMonthYear, midnight},
      {"5 Sep 2013", DateOrder::DayMonthYear, midnight},
      {"5 Sop 2013 14:03:07", DateOrder::DayMonthYear, std::nullopt},
      {"31 Sep 2013 14:03:07", DateOrder::DayMonthYear, std::nullopt},
  };
  for (const TimeCase& c : cases) {
    const std::optional<double> got = ParseTimeText(c.text, c.order, datafile::MonthNames());
    if (!c.expected) {
      EXPECT_FALSE(got.has_value()) << c.text;
    } else {
      ASSERT_TRUE(got.has_value()) << c.text;
      EXPECT_DOUBLE_EQ(*got, EncodeDayNumber(*c.expected)) << c.text;
    }
  }
}

TEST(TimeTextTest, MonthNamesOfTheLocaleWhenGiven) {
  datafile::ReadOptions german;
  german.shortMonthNames = {"Jan.", "Feb.", "M\u00e4rz", "Apr.", "Mai",  "Juni",
                            "Juli", "Aug.", "Sep.",      "Okt.", "Nov.", "Dez."};
  german.longMonthNames = {"Januar", "Februar", "M\u00e4rz", "April",   "Mai",      "Juni",
                           "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
  const datafile::MonthNames names = datafile::MonthNamesOf(german);
  const double december = EncodeDayNumber({2026, 12, 10, 14, 3, 7, 0});
  const double march = EncodeDayNumber({2026, 3, 10, 0, 0, 0, 0});
  const std::vector<std::pair<const char*, double>> cases = {
      {"10. Dez. 2026 14:03:07", december},
      {"10. Dezember 2026 14:03:07", december},
      {"Do., 10. Dez. 2026 14:03:07", december},
      {"10 Dec 2026 14:03:07", december},
      {"10. M\u00e4rz 2026", march},
      {"10. m\u00e4rz 2026", march},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseTimeText(text, DateOrder::DayMonthYear, names), expected) << text;
    // English names alone do not know them.
    if (std::string_view(text).find("Dec") == std::string_view::npos) {
      EXPECT_FALSE(ParseTimeText(text, DateOrder::DayMonthYear, datafile::MonthNames()).has_value()) << text;
    }
  }
  EXPECT_FALSE(ParseTimeText("10. Dezz. 2026 14:03:07", DateOrder::DayMonthYear, names).has_value());
}

TEST(TimeTextTest, ReadsWhatTheDataFileWrites) {
  const acquisition::PlainRegionalFormat format;
  for (const LocalDateTime& when : {LocalDateTime{2026, 12, 10, 16, 43, 6, 0}, LocalDateTime{2026, 1, 1, 0, 0, 0, 0}}) {
    const double DT = EncodeDayNumber(when);
    EXPECT_EQ(ParseTimeText(acquisition::RecordTimeText(DT, format), DateOrder::DayMonthYear, datafile::MonthNames()),
              DT);
  }
}

}  // namespace
}  // namespace quarn::analysis
