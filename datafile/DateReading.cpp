#include "DateReading.h"

#include <algorithm>
#include <cctype>
#include <iterator>
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

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

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

bool IsWordByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return IsAsciiLetter(c) || (u >= 0x80 && u != 0xA0);
}

namespace {

// Up to maxDigits digits at pos: their value, pos moved past them; nothing when there is no digit or more.
std::optional<int> Number(std::string_view text, size_t& pos, int maxDigits, uint8_t* digits = nullptr) {
  int value = 0;
  int count = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    if (++count > maxDigits) return std::nullopt;
    value = value * 10 + (text[pos++] - '0');
  }
  if (count == 0) return std::nullopt;
  if (digits != nullptr) *digits = static_cast<uint8_t>(count);
  return value;
}

// Between the parts of a date: one to three characters that are neither digits, letters, TABs nor colons
// (a colon separates the parts of a time: "14:03:07" is no date).
bool DateSeparator(std::string_view text, size_t& pos) {
  const size_t start = pos;
  while (pos < text.size() && pos - start < 3 && !IsDigit(text[pos]) && !IsWordByte(text[pos]) && text[pos] != '\t' &&
         text[pos] != ':')
    ++pos;
  return pos > start && pos < text.size() && (IsDigit(text[pos]) || IsWordByte(text[pos]));
}

// One part of a date: a number of up to four digits, or a word that names a month.
struct DatePart {
  int value = 0;
  uint8_t digits = 0;  // 0 for a month name
  bool named = false;
};

// unknownWord is set to the part when it is a word that names no month.
std::optional<DatePart> ParseDatePart(std::string_view text, size_t& pos, const MonthNames& names,
                                      std::string_view& unknownWord) {
  DatePart part;
  if (pos < text.size() && IsDigit(text[pos])) {
    const auto value = Number(text, pos, 4, &part.digits);
    if (!value) return std::nullopt;
    part.value = *value;
    return part;
  }
  const size_t start = pos;
  while (pos < text.size() && IsWordByte(text[pos])) ++pos;
  part.value = names.Month(text.substr(start, pos - start));
  part.named = true;
  if (part.value == 0) {
    unknownWord = text.substr(start, pos - start);
    return std::nullopt;
  }
  return part;
}

// The short date at pos in column, as three numbers or with the month named (day-month-year, month-day-year
// or year-month-day); end is set just past it. Its last part is always a number.
std::optional<DateFields> ParseDateAt(std::string_view column, size_t pos, size_t& end, const MonthNames& names,
                                      std::string_view& unknownWord) {
  std::array<DatePart, 3> parts;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0 && !DateSeparator(column, pos)) return std::nullopt;
    const auto part = ParseDatePart(column, pos, names, unknownWord);
    if (!part) return std::nullopt;
    parts[i] = *part;
  }
  const auto& [a, b, c] = parts;
  DateFields fields;
  if (c.named) return std::nullopt;
  if (!a.named && !b.named) {
    if (b.digits > 2) return std::nullopt;
    fields = {a.value, b.value, c.value, a.digits, c.digits};
  } else if (a.named && !b.named) {
    fields = {b.value, a.value, c.value, b.digits, c.digits, true, DateOrder::MonthDayYear};
  } else if (!a.named && a.digits > 2) {
    fields = {c.value, b.value, a.value, c.digits, a.digits, true, DateOrder::YearMonthDay};
  } else if (!a.named) {
    fields = {a.value, b.value, c.value, a.digits, c.digits, true, DateOrder::DayMonthYear};
  } else {
    return std::nullopt;
  }
  end = pos;
  return fields;
}

}  // namespace

std::optional<DateFields> ReadDateFields(std::string_view column, size_t& end, const MonthNames& names,
                                         std::string_view& unknownWord) {
  auto fields = ParseDateAt(column, 0, end, names, unknownWord);
  if (fields || column.empty() || !IsWordByte(column[0])) return fields;
  size_t pos = 0;
  while (pos < column.size() && IsWordByte(column[pos])) ++pos;
  if (!DateSeparator(column, pos)) return std::nullopt;
  fields = ParseDateAt(column, pos, end, names, unknownWord);
  if (fields && !fields->monthNamed) return std::nullopt;
  return fields;
}

std::optional<int64_t> ReadTimeOfDay(std::string_view column, size_t pos) {
  // " hh:mm:ss" and nothing after it, as most files write it: read at a glance.
  if (column.size() == pos + 9 && column[pos] == ' ' && column[pos + 3] == ':' && column[pos + 6] == ':') {
    const char* t = column.data() + pos;
    const unsigned digits[6] = {static_cast<unsigned>(static_cast<unsigned char>(t[1]) - '0'),
                                static_cast<unsigned>(static_cast<unsigned char>(t[2]) - '0'),
                                static_cast<unsigned>(static_cast<unsigned char>(t[4]) - '0'),
                                static_cast<unsigned>(static_cast<unsigned char>(t[5]) - '0'),
                                static_cast<unsigned>(static_cast<unsigned char>(t[7]) - '0'),
                                static_cast<unsigned>(static_cast<unsigned char>(t[8]) - '0')};
    if (std::all_of(std::begin(digits), std::end(digits), [](unsigned d) { return d <= 9; })) {
      return TimeOfDayMs(static_cast<int>(digits[0] * 10 + digits[1]), static_cast<int>(digits[2] * 10 + digits[3]),
                         static_cast<int>(digits[4] * 10 + digits[5]), {});
    }
  }
  while (pos < column.size() && !IsDigit(column[pos]) && !IsAsciiLetter(column[pos])) ++pos;
  if (pos == column.size()) return 0;
  auto hour = Number(column, pos, 2);
  if (!hour || pos >= column.size() || IsDigit(column[pos]) || IsAsciiLetter(column[pos])) return std::nullopt;
  ++pos;
  auto minute = Number(column, pos, 2);
  if (!minute) return std::nullopt;
  int second = 0;
  int millisecond = 0;
  if (pos + 1 < column.size() && (column[pos] == ':' || column[pos] == '.') && IsDigit(column[pos + 1])) {
    ++pos;
    auto s = Number(column, pos, 2);
    if (!s) return std::nullopt;
    second = *s;
    if (pos + 1 < column.size() && (column[pos] == '.' || column[pos] == ',') && IsDigit(column[pos + 1])) {
      ++pos;
      int scale = 100;
      while (pos < column.size() && IsDigit(column[pos])) {
        millisecond += (column[pos++] - '0') * scale;
        scale /= 10;
      }
    }
  }
  while (pos < column.size()) {
    const auto c = static_cast<unsigned char>(column[pos]);
    if (c == ' ' || c == '?' || c == 0xA0) {
      ++pos;
    } else if (c == 0xE2 && column.substr(pos, 3) == "\xE2\x80\xAF") {
      pos += 3;
    } else {
      break;
    }
  }
  const size_t markerStart = pos;
  while (pos < column.size() && (IsAsciiLetter(column[pos]) || column[pos] == '.')) ++pos;
  while (pos < column.size() && column[pos] == ' ') ++pos;
  if (pos != column.size()) return std::nullopt;
  auto ms = TimeOfDayMs(*hour, *minute, second, column.substr(markerStart, pos - markerStart));
  if (!ms) return std::nullopt;
  return *ms + millisecond;
}

double LocalDayTime(int64_t days, int64_t ms) {
  const double fraction = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

std::optional<double> ReadDateTime(std::string_view text, DateOrder order, const MonthNames& names, int latestYear) {
  const auto notBlank = [](char c) { return c != ' ' && c != '\t'; };
  while (!text.empty() && !notBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && !notBlank(text.back())) text.remove_suffix(1);
  size_t end = 0;
  std::string_view unknownWord;
  const std::optional<DateFields> fields = ReadDateFields(text, end, names, unknownWord);
  if (!fields) return std::nullopt;
  // A four-digit first number is the year, whatever order the file's other dates were read in.
  const DateOrder read = !fields->monthNamed && fields->firstDigits == 4 ? DateOrder::YearMonthDay : order;
  const std::optional<int64_t> day = DayNumberIn(*fields, read, latestYear);
  if (!day) return std::nullopt;
  // ISO 8601 puts a T between the date and the time.
  if (end + 1 < text.size() && text[end] == 'T' && IsDigit(text[end + 1])) ++end;
  const std::optional<int64_t> ms = ReadTimeOfDay(text, end);
  if (!ms) return std::nullopt;
  return LocalDayTime(*day, *ms);
}

}  // namespace quarn::datafile
