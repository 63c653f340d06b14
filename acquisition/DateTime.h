#pragma once

namespace quarn::acquisition {

// A local calendar date and time to the millisecond.
struct LocalDateTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;    // 0..23
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  bool operator==(const LocalDateTime&) const = default;
};

// The 64-bit date-time of a record: whole days since 1899-12-30, the fraction the time of day.
// Before that day the value is negative and its fraction still counts forward from midnight
// (-1.25 is 1899-12-29 06:00), which keeps the day and the time independent.
double EncodeDayNumber(const LocalDateTime& when);
// The inverse, rounded to the nearest millisecond.
LocalDateTime DecodeDayNumber(double DT);

// The local date and time now.
LocalDateTime CurrentLocalDateTime();

}  // namespace quarn::acquisition
