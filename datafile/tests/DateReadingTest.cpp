#include <gtest/gtest.h>

#include "acquisition/DateTime.h"
#include "datafile/DateReading.h"
#include "datafile/tests/TestFormats.h"

namespace quarn::datafile {
namespace {

using testing::Locale;
using testing::TestFormat;

TEST(DateReading, LocaleOrderFromItsShortDate) {
  EXPECT_EQ(DateOrderOf(TestFormat(Locale::EnGb)), DateOrder::DayMonthYear);
  EXPECT_EQ(DateOrderOf(TestFormat(Locale::DeDe)), DateOrder::DayMonthYear);
  EXPECT_EQ(DateOrderOf(TestFormat(Locale::EnUs)), DateOrder::MonthDayYear);
  EXPECT_EQ(DateOrderOf(TestFormat(Locale::Iso)), DateOrder::YearMonthDay);
  EXPECT_EQ(DateOrderOf(acquisition::PlainRegionalFormat()), DateOrder::YearMonthDay);
  EXPECT_EQ(DateOrderOf(TestFormat(Locale::C)), DateOrder::DayMonthYear);
  EXPECT_EQ(DateOrderOf(TestFormat(Locale::LongNames)), DateOrder::MonthDayYear);
  EXPECT_EQ(DateOrderOf(TestFormat(Locale::YearFirstName)), DateOrder::YearMonthDay);
}

TEST(DateReading, OnlyCalendarDatesRead) {
  struct Case {
    DateFields fields;
    DateOrder order;
    bool reads;
  };
  const Case cases[] = {
      {{29, 2, 2024, 2, 4}, DateOrder::DayMonthYear, true},  {{29, 2, 2025, 2, 4}, DateOrder::DayMonthYear, false},
      {{2, 29, 2024, 1, 4}, DateOrder::MonthDayYear, true},  {{13, 5, 2024, 2, 4}, DateOrder::MonthDayYear, false},
      {{2024, 12, 31, 4, 2}, DateOrder::YearMonthDay, true}, {{2024, 12, 31, 4, 2}, DateOrder::DayMonthYear, false},
      {{5, 9, 13, 2, 2}, DateOrder::DayMonthYear, true},     {{5, 9, 123, 2, 3}, DateOrder::DayMonthYear, false},
      {{0, 9, 2013, 2, 4}, DateOrder::DayMonthYear, false},  {{13, 9, 1302, 2, 4}, DateOrder::DayMonthYear, false},
      {{1, 1, 1900, 2, 4}, DateOrder::DayMonthYear, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DayNumberIn(c.fields, c.order).has_value(), c.reads)
        << c.fields.first << "/" << c.fields.second << "/" << c.fields.third << " " << DateOrderName(c.order);

  acquisition::LocalDateTime when{2013, 9, 5, 0, 0, 0, 0};
  EXPECT_EQ(DayNumberIn({5, 9, 13, 2, 2}, DateOrder::DayMonthYear), acquisition::EncodeDayNumber(when));
  when.year = 1999;
  EXPECT_EQ(DayNumberIn({5, 9, 99, 2, 2}, DateOrder::DayMonthYear), acquisition::EncodeDayNumber(when));
}

TEST(DateReading, MonthNamesEnglishAndTheLocales) {
  MonthNames english;
  MonthNames german;
  german.Add(testing::kGermanShortMonths);
  struct Case {
    const char* word;  // as the file holds it, in its code page
    int english;
    int german;
  };
  const Case cases[] = {
      {"Sep", 9, 9},     {"SEPTEMBER", 9, 9}, {"sept.", 9, 9}, {"Dez", 0, 12},   {"dez.", 0, 12},
      {"M\xE4rz", 0, 3}, {"Mai", 0, 5},       {"Ma", 0, 0},    {"jouluk", 0, 0}, {"", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(english.Month(c.word), c.english) << c.word;
    EXPECT_EQ(german.Month(c.word), c.german) << c.word;
  }
  // A name that the code page cannot hold is not looked for: the file holds it as '?'s.
  MonthNames greek;
  greek.Add({"\u0399\u03b1\u03bd"});
  EXPECT_EQ(greek.Month("???"), 0);
}

TEST(DateReading, ANamedMonthReadsTheSameInEveryOrder) {
  const DateFields named{5, 9, 2013, 1, 4, true, DateOrder::MonthDayYear};
  acquisition::LocalDateTime when{2013, 9, 5, 0, 0, 0, 0};
  for (DateOrder order : {DateOrder::DayMonthYear, DateOrder::MonthDayYear, DateOrder::YearMonthDay})
    EXPECT_EQ(DayNumberIn(named, order), acquisition::EncodeDayNumber(when)) << DateOrderName(order);
}

TEST(DateReading, TwelveHourMarkers) {
  EXPECT_EQ(TimeOfDayMs(12, 0, 1, "AM"), 1000);
  EXPECT_EQ(TimeOfDayMs(12, 0, 0, "pm"), 12 * 3'600'000);
  EXPECT_EQ(TimeOfDayMs(2, 3, 7, "P.M."), (14 * 3600 + 3 * 60 + 7) * 1000);
  EXPECT_EQ(TimeOfDayMs(23, 59, 59, ""), (23 * 3600 + 59 * 60 + 59) * 1000);
  EXPECT_FALSE(TimeOfDayMs(13, 0, 0, "PM"));
  EXPECT_FALSE(TimeOfDayMs(24, 0, 0, ""));
  EXPECT_FALSE(TimeOfDayMs(10, 60, 0, ""));
  EXPECT_FALSE(TimeOfDayMs(10, 0, 0, "Uhr"));
}

}  // namespace
}  // namespace quarn::datafile
