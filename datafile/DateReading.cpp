#include "DateReading.h"

#include <cctype>
#include <vector>

#include "acquisition/DateTime.h"
#include "base/CodePage.h"

namespace quarn::datafile {

const char* DateOrderName(DateOrder order) {
  switch (order) {
    case DateOrder::DayMonthYear: return "day-first";
    case DateOrder::MonthDayYear: return "month-first";
    case DateOrder::YearMonthDay: return "year-first";
  }
  return "day-first";
}

DateOrder DateOrderOf(const acquisition::RegionalFormat& format) {
  acquisition::LocalDateTime sample;
  sample.year = 2013;
  sample.month = 9;
  sample.day = 25;
  const std::string text = format.ShortDate(sample);
  std::vector<int> numbers;
  for (size_t i = 0; i < text.size();) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    int value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) value = value * 10 + (text[i++] - '0');
    numbers.push_back(value);
  }
  if (numbers.empty()) return DateOrder::DayMonthYear;
  if (numbers[0] == 2013 || (numbers.size() >= 3 && numbers[0] == 13 && numbers[2] == 25))
    return DateOrder::YearMonthDay;
  if (numbers[0] == 9) return DateOrder::MonthDayYear;
  // "Sep 25, 2013": the month named before the day.
  if (numbers.size() == 2 && !std::isdigit(static_cast<unsigned char>(text[0]))) return DateOrder::MonthDayYear;
  return DateOrder::DayMonthYear;
}

namespace {

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

// A year of four digits from 1900 on; one of two digits in the hundred years up to latestYear.
std::optional<int> FullYear(int year, int digits, int latestYear) {
  if (digits == 4) return year >= 1900 ? std::optional<int>(year) : std::nullopt;
  if (digits != 2) return std::nullopt;
  const int full = latestYear / 100 * 100 + year;
  return full > latestYear ? full - 100 : full;
}

}  // namespace

std::optional<int64_t> DayNumberIn(const DateFields& fields, DateOrder order, int latestYear) {
  int day = 0;
  int month = 0;
  std::optional<int> year;
  if (fields.monthNamed) order = DateOrder::DayMonthYear;
  switch (order) {
    case DateOrder::DayMonthYear:
      day = fields.first;
      month = fields.second;
      if (fields.firstDigits > 2) return std::nullopt;
      year = FullYear(fields.third, fields.thirdDigits, latestYear);
      break;
    case DateOrder::MonthDayYear:
      month = fields.first;
      day = fields.second;
      if (fields.firstDigits > 2) return std::nullopt;
      year = FullYear(fields.third, fields.thirdDigits, latestYear);
      break;
    case DateOrder::YearMonthDay:
      year = FullYear(fields.first, fields.firstDigits, latestYear);
      month = fields.second;
      day = fields.third;
      if (fields.thirdDigits > 2) return std::nullopt;
      break;
  }
  if (!year || month < 1 || month > 12 || day < 1 || day > DaysInMonth(*year, month)) return std::nullopt;
  acquisition::LocalDateTime when;
  when.year = *year;
  when.month = month;
  when.day = day;
  return static_cast<int64_t>(acquisition::EncodeDayNumber(when));
}

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string NameKey(std::string_view name) {
  while (!name.empty() && name.back() == '.') name.remove_suffix(1);
  std::string key(name);
  for (char& c : key) c = LowerAscii(c);
  return key;
}

constexpr std::array<const char*, 12> kEnglishShort = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 12> kEnglishLong = {"January",   "February", "March",    "April",
                                                      "May",       "June",     "July",     "August",
                                                      "September", "October",  "November", "December"};

}  // namespace

MonthNames::MonthNames() {
  for (int m = 0; m < 12; ++m) {
    names_.emplace_back(NameKey(kEnglishShort[m]), m + 1);
    names_.emplace_back(NameKey(kEnglishLong[m]), m + 1);
    // Some English locales abbreviate September to four letters.
    if (m == 8) names_.emplace_back("sept", m + 1);
  }
}

void MonthNames::Add(const std::array<std::string, 12>& names) {
  std::vector<std::pair<std::string, int>> added;
  for (int m = 0; m < 12; ++m) {
    const std::string bytes = base::Utf8ToCp1252(names[m]);
    // A name the code page cannot hold was written as '?'s: it cannot be told apart, so it is not looked for.
    std::string key = NameKey(bytes);
    if (key.empty() || bytes.find('?') != std::string::npos) continue;
    added.emplace_back(std::move(key), m + 1);
  }
  names_.insert(names_.begin(), added.begin(), added.end());
}

int MonthNames::Month(std::string_view word) const {
  while (!word.empty() && word.back() == '.') word.remove_suffix(1);
  for (const auto& [key, month] : names_) {
    if (key.size() != word.size()) continue;
    bool same = true;
    for (size_t i = 0; i < key.size() && same; ++i) same = LowerAscii(word[i]) == key[i];
    if (same) return month;
  }
  return 0;
}

std::optional<int64_t> TimeOfDayMs(int hour, int minute, int second, std::string_view marker) {
  if (minute < 0 || minute > 59 || second < 0 || second > 59 || hour < 0) return std::nullopt;
  if (!marker.empty()) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(marker[0])));
    if ((c != 'a' && c != 'p') || hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + (c == 'p' ? 12 : 0);
  } else if (hour > 23) {
    return std::nullopt;
  }
  return ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000;
}

}  // namespace quarn::datafile
