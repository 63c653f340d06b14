#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "acquisition/RegionalFormat.h"

namespace quarn::datafile {

// The order of day, month and year in a short date.
enum class DateOrder {
  DayMonthYear,  // 05.09.2013, 05/09/2013
  MonthDayYear,  // 9/5/2013
  YearMonthDay,  // 2013-09-05
};

// "day-first", "month-first", "year-first".
const char* DateOrderName(DateOrder order);

// The order in which format writes its short date (it is asked for 25 September 2013).
DateOrder DateOrderOf(const acquisition::RegionalFormat& format);

// The three numbers of a short date as written, before an order gives them their meaning. A date that names
// its month ("5 Sep 2013", "Sep 5, 2013") needs no order: its fields are day, month and year, whatever order
// it was written in.
struct DateFields {
  int first = 0;
  int second = 0;
  int third = 0;
  uint8_t firstDigits = 0;
  uint8_t thirdDigits = 0;
  bool monthNamed = false;
  DateOrder writtenOrder = DateOrder::DayMonthYear;  // with monthNamed: the order it was written in
  bool operator==(const DateFields&) const = default;
};

// The last year a two-digit year may stand for when nothing dates the file: 30..99 are 1930..1999.
inline constexpr int kDefaultLatestYear = 2029;

// The date's day number (days since 1899-12-30) when order reads fields as a valid calendar date: month
// 1..12, day within the month, year of four digits from 1900 on or of two (the hundred years up to
// latestYear). A date with its month named reads the same in every order.
std::optional<int64_t> DayNumberIn(const DateFields& fields, DateOrder order, int latestYear = kDefaultLatestYear);

// The last year of the two-digit-year window for a file dated in year: 80 years back, 20 ahead.
inline constexpr int LatestYearAround(int year) { return year + 20; }

// The month names a date may be written with: English short and long names, and those a locale writes.
class MonthNames {
 public:
  MonthNames();  // English only
  // Adds a locale's twelve names (UTF-8, January first; empty ones are left out), which are looked up before
  // the English ones. They are matched in the file's code page, as the writer wrote them.
  void Add(const std::array<std::string, 12>& names);
  // The month (1..12) that word names, ignoring the case of ASCII letters and a dot that ends a name; 0
  // when it names none.
  int Month(std::string_view word) const;

 private:
  std::vector<std::pair<std::string, int>> names_;  // code page bytes, ASCII lower case, no ending dot
};

// Time of day in milliseconds from the numbers after the date: hour, minute and optional second, and a
// marker after them (letters; A... is before noon, P... after it) for 12-hour times. Nothing when they
// are out of range.
std::optional<int64_t> TimeOfDayMs(int hour, int minute, int second, std::string_view marker);

inline constexpr int64_t kMsPerDay = 86'400'000;

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// A byte of a word: an ASCII letter, or a byte of a letter beyond ASCII in the code page.
bool IsWordByte(char c);

// The short date that opens column (code page bytes), as three numbers with one to three separating characters
// or with the month named (day-month-year, month-day-year or year-month-day); end is set just past it. Some
// locales open it with the day of the week ("Thursday, September 05, 2013"): a word before a date that names
// its month is passed over. unknownWord is set to a word that was read as a month and names none.
std::optional<DateFields> ReadDateFields(std::string_view column, size_t& end, const MonthNames& names,
                                         std::string_view& unknownWord);

// The time after the date (column from pos): hour, minute, optional second and fraction (to the millisecond),
// then an optional marker after a blank, a no-break space (also as UTF-8 U+202F) or a '?' that stands for one
// in the code page. An empty rest is midnight (the date alone). In milliseconds since midnight.
std::optional<int64_t> ReadTimeOfDay(std::string_view column, size_t pos);

// The local day number of a day and a time of day in milliseconds; days before 1899-12-30 count their
// fraction backwards, as the day numbers do.
double LocalDayTime(int64_t days, int64_t ms);

// The local day number of a whole date-time text in the code page: a date as ReadDateFields reads it (a
// four-digit first number is the year, otherwise order says which of the first two is the day), then a time
// as ReadTimeOfDay reads it, after a blank or, as ISO 8601 writes it, a T ("2013-09-05T14:03:07"). Blanks
// around it are passed over. Nothing when the text is not such a date or names no valid day or time.
std::optional<double> ReadDateTime(std::string_view text, DateOrder order, const MonthNames& names,
                                   int latestYear = kDefaultLatestYear);

}  // namespace quarn::datafile
