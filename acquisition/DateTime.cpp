#include "DateTime.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>

namespace quarn::acquisition {

namespace {

constexpr int64_t kMsPerDay = 86'400'000;
// 1970-01-01 counted from 1899-12-30.
constexpr int64_t kUnixEpochDay = 25'569;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, LocalDateTime& out) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  out.year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
  out.month = static_cast<int>(m);
  out.day = static_cast<int>(d);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// A day number on a linear millisecond scale from 1899-12-30 00:00 (negative days count their fraction
// forward, see EncodeDayNumber).
int64_t LinearMs(double DT) {
  if (DT >= 0) return std::llround(DT * kMsPerDay);
  const auto days = static_cast<int64_t>(std::trunc(DT));
  return days * kMsPerDay + std::llround((static_cast<double>(days) - DT) * kMsPerDay);
}

double FromLinearMs(int64_t ms) {
  const int64_t days = FloorDiv(ms, kMsPerDay);
  const double fraction = static_cast<double>(ms - days * kMsPerDay) / kMsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

std::tm LocalFields(std::time_t seconds) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  return local;
}

// The zone's offset from UTC, in seconds, at an instant given on the linear scale.
int OffsetAt(int64_t linearMs) {
  const int64_t seconds = FloorDiv(linearMs, 1000) - kUnixEpochDay * 86'400;
  const std::tm local = LocalFields(static_cast<std::time_t>(seconds));
  const int64_t wall = DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                     static_cast<unsigned>(local.tm_mday)) *
                           86'400 +
                       local.tm_hour * 3600 + local.tm_min * 60 + std::min(local.tm_sec, 59);
  return static_cast<int>(wall - seconds);
}

// The offsets that a local time (linear ms) can carry: two in a repeated hour (the one before the change
// first), none in a skipped one (then `before` is the offset before the change).
int ValidOffsets(int64_t local, int (&offsets)[2], int& before) {
  constexpr int64_t kDayMs = kMsPerDay;
  const int a = OffsetAt(local - kDayMs);
  const int b = OffsetAt(local + kDayMs);
  before = a;
  if (a == b) {
    offsets[0] = a;
    return 1;
  }
  int count = 0;
  for (int offset : {a, b}) {
    if (OffsetAt(local - int64_t{offset} * 1000) == offset) offsets[count++] = offset;
  }
  return count;
}

UtcInstants InstantsFrom(int64_t local, const int (&offsets)[2], int count, int before) {
  UtcInstants out;
  if (count == 0) {
    out.first = FromLinearMs(local - int64_t{before} * 1000);
    return out;
  }
  int64_t first = local - int64_t{offsets[0]} * 1000;
  if (count == 2) {
    int64_t second = local - int64_t{offsets[1]} * 1000;
    if (second < first) std::swap(first, second);
    out.second = FromLinearMs(second);
  }
  out.first = FromLinearMs(first);
  return out;
}

}  // namespace

double CurrentDayNumber() {
  const auto now = std::chrono::system_clock::now();
  const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  return FromLinearMs(ms + kUnixEpochDay * kMsPerDay);
}

LocalDateTime LocalFromUtc(double DT) {
  const int64_t utc = LinearMs(DT);
  return DecodeDayNumber(FromLinearMs(utc + int64_t{OffsetAt(utc)} * 1000));
}

UtcInstants UtcFromLocal(double localDT) {
  const int64_t local = LinearMs(localDT);
  int offsets[2];
  int before = 0;
  const int count = ValidOffsets(local, offsets, before);
  return InstantsFrom(local, offsets, count, before);
}

double PickInstant(const UtcInstants& instants, std::optional<double> after) {
  if (instants.second && after && instants.first < *after && *instants.second >= *after) return *instants.second;
  return instants.first;
}

double LocalTimeLine::ToUtc(double localDT) {
  const int64_t local = LinearMs(localDT);
  const int64_t minute = FloorDiv(local, 60'000);
  if (minute != minute_) {
    int before = 0;
    offsetCount_ = ValidOffsets(minute * 60'000, offsets_, before);
    // A skipped minute keeps the offset before the change.
    if (offsetCount_ == 0) {
      offsets_[0] = before;
      offsetCount_ = -1;
    }
    minute_ = minute;
  }
  const int before = offsets_[0];
  const UtcInstants instants = InstantsFrom(local, offsets_, offsetCount_ < 0 ? 0 : offsetCount_, before);
  previous_ = PickInstant(instants, previous_);
  return *previous_;
}

double EncodeDayNumber(const LocalDateTime& when) {
  const int64_t days =
      DaysFromCivil(when.year, static_cast<unsigned>(when.month), static_cast<unsigned>(when.day)) + kUnixEpochDay;
  const int64_t ms =
      ((static_cast<int64_t>(when.hour) * 60 + when.minute) * 60 + when.second) * 1000 + when.millisecond;
  const double fraction = static_cast<double>(ms) / kMsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

LocalDateTime DecodeDayNumber(double DT) {
  int64_t days;
  int64_t ms;
  if (DT >= 0) {
    const int64_t total = std::llround(DT * kMsPerDay);
    days = total / kMsPerDay;
    ms = total % kMsPerDay;
  } else {
    days = static_cast<int64_t>(std::trunc(DT));
    ms = std::llround((static_cast<double>(days) - DT) * kMsPerDay);
    if (ms >= kMsPerDay) {
      days -= 1;
      ms -= kMsPerDay;
    }
  }
  LocalDateTime out;
  CivilFromDays(days - kUnixEpochDay, out);
  out.hour = static_cast<int>(ms / 3'600'000);
  out.minute = static_cast<int>(ms / 60'000 % 60);
  out.second = static_cast<int>(ms / 1000 % 60);
  out.millisecond = static_cast<int>(ms % 1000);
  return out;
}

LocalDateTime CurrentLocalDateTime() {
  const auto now = std::chrono::system_clock::now();
  const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const std::tm local = LocalFields(static_cast<std::time_t>(sinceEpoch / 1000));
  LocalDateTime out;
  out.year = local.tm_year + 1900;
  out.month = local.tm_mon + 1;
  out.day = local.tm_mday;
  out.hour = local.tm_hour;
  out.minute = local.tm_min;
  // A leap second shows as 60; the record keeps the last regular second.
  out.second = local.tm_sec > 59 ? 59 : local.tm_sec;
  out.millisecond = static_cast<int>(sinceEpoch % 1000);
  return out;
}

}  // namespace quarn::acquisition
