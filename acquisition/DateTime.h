#pragma once

#include <cstdint>
#include <optional>

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

// The 64-bit date-time of a record: whole days since 1899-12-30, the fraction the time of day. A record's
// time counts in UTC, so that it never runs backwards when the clock changes; the calendar conversion below
// serves local and UTC fields alike.
// Before that day the value is negative and its fraction still counts forward from midnight
// (-1.25 is 1899-12-29 06:00), which keeps the day and the time independent.
double EncodeDayNumber(const LocalDateTime& when);
// The inverse, rounded to the nearest millisecond.
LocalDateTime DecodeDayNumber(double DT);

// The local date and time now.
LocalDateTime CurrentLocalDateTime();

// Now as a record's time: days since 1899-12-30 00:00 UTC.
double CurrentDayNumber();

// The local wall clock at an instant (a UTC day number), by the system's zone rules (TZ respected).
LocalDateTime LocalFromUtc(double DT);

// The instants a local wall-clock time (as a day number) stands for: one, or two (earlier first) in the hour
// the clock repeats when daylight saving ends. A time the clock skips when it starts stands for the instant
// it would have shown without the change.
struct UtcInstants {
  double first = 0;
  std::optional<double> second;
};
UtcInstants UtcFromLocal(double localDT);

// Reads the local wall-clock times of a sequence (a data file's records) as instants. In a repeated hour the
// earlier instant is taken unless it would run before the previous time read: a time that steps back by the
// clock's shift right at the change is the later one, so the sequence stays in order.
class LocalTimeLine {
 public:
  double ToUtc(double localDT);
  // The previous instant taken, to resolve a time read apart from the sequence against.
  std::optional<double> Previous() const { return previous_; }

 private:
  std::optional<double> previous_;
  // The zone's offsets (seconds) valid within the last local minute asked about: conversions of a long file
  // stay cheap.
  int64_t minute_ = INT64_MIN;
  int offsets_[2] = {0, 0};
  int offsetCount_ = 0;
};

// Of the instants a local time stands for, the earliest at or after `after`; the earliest without one.
double PickInstant(const UtcInstants& instants, std::optional<double> after);

}  // namespace quarn::acquisition
