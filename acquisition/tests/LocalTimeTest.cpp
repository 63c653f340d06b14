#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/tests/ScopedZone.h"

namespace quarn::acquisition {
namespace {

using testing::ScopedZone;

struct ZoneCase {
  const char* zone;
  LocalDateTime local;
  LocalDateTime utc;
  std::optional<LocalDateTime> laterUtc;  // the second instant of a repeated time
};

// Repeated hours at the end of daylight saving, skipped ones at its start, and plain times next to them.
const ZoneCase kCases[] = {
    {"Europe/Berlin", {2026, 10, 25, 1, 59, 59, 999}, {2026, 10, 24, 23, 59, 59, 999}, {}},
    {"Europe/Berlin", {2026, 10, 25, 2, 0, 0, 0}, {2026, 10, 25, 0, 0, 0, 0}, LocalDateTime{2026, 10, 25, 1, 0, 0, 0}},
    {"Europe/Berlin",
     {2026, 10, 25, 2, 30, 15, 250},
     {2026, 10, 25, 0, 30, 15, 250},
     LocalDateTime{2026, 10, 25, 1, 30, 15, 250}},
    {"Europe/Berlin",
     {2026, 10, 25, 2, 59, 59, 999},
     {2026, 10, 25, 0, 59, 59, 999},
     LocalDateTime{2026, 10, 25, 1, 59, 59, 999}},
    {"Europe/Berlin", {2026, 10, 25, 3, 0, 0, 0}, {2026, 10, 25, 2, 0, 0, 0}, {}},
    {"Europe/Berlin", {2026, 3, 29, 1, 59, 59, 0}, {2026, 3, 29, 0, 59, 59, 0}, {}},
    // Skipped: the clock would have shown it an hour before it shows 03:30.
    {"Europe/Berlin", {2026, 3, 29, 2, 30, 0, 0}, {2026, 3, 29, 1, 30, 0, 0}, {}},
    {"Europe/Berlin", {2026, 3, 29, 3, 0, 0, 0}, {2026, 3, 29, 1, 0, 0, 0}, {}},
    {"Europe/Berlin", {2026, 12, 10, 20, 37, 58, 412}, {2026, 12, 10, 19, 37, 58, 412}, {}},
    {"America/New_York",
     {2026, 11, 1, 1, 30, 0, 0},
     {2026, 11, 1, 5, 30, 0, 0},
     LocalDateTime{2026, 11, 1, 6, 30, 0, 0}},
    {"America/New_York", {2026, 3, 8, 2, 30, 0, 0}, {2026, 3, 8, 7, 30, 0, 0}, {}},
    // The southern hemisphere repeats its hour in April.
    {"Australia/Sydney",
     {2026, 4, 5, 2, 30, 0, 0},
     {2026, 4, 4, 15, 30, 0, 0},
     LocalDateTime{2026, 4, 4, 16, 30, 0, 0}},
    {"UTC", {2026, 10, 25, 2, 30, 0, 0}, {2026, 10, 25, 2, 30, 0, 0}, {}},
};

TEST(LocalTime, RepeatedAndSkippedHoursReadAsTheirInstants) {
  for (const ZoneCase& c : kCases) {
    ScopedZone zone(c.zone);
    const UtcInstants got = UtcFromLocal(EncodeDayNumber(c.local));
    const std::string where =
        std::string(c.zone) + " " + RecordTimeTextMs(EncodeDayNumber(c.local), PlainRegionalFormat());
    EXPECT_EQ(DecodeDayNumber(got.first), c.utc) << where;
    ASSERT_EQ(got.second.has_value(), c.laterUtc.has_value()) << where;
    if (c.laterUtc) {
      EXPECT_EQ(DecodeDayNumber(*got.second), *c.laterUtc) << where;
    }
    // Every existing wall-clock time shows again as itself; both instants of a repeated one do.
    const bool skipped = c.local.hour == 2 && c.local.minute == 30 && c.local.month == 3;
    if (!skipped) {
      EXPECT_EQ(LocalFromUtc(got.first), c.local) << where;
    }
    if (got.second) {
      EXPECT_EQ(LocalFromUtc(*got.second), c.local) << where;
    }
  }
}

double Utc(const LocalDateTime& when) { return EncodeDayNumber(when); }

// Seconds between consecutive instants of a local sequence read in order.
std::vector<double> Steps(const std::vector<LocalDateTime>& locals) {
  LocalTimeLine line;
  std::vector<double> steps;
  std::optional<double> previous;
  for (const LocalDateTime& local : locals) {
    const double t = line.ToUtc(EncodeDayNumber(local));
    if (previous) steps.push_back((t - *previous) * 86400.0);
    previous = t;
  }
  return steps;
}

TEST(LocalTimeLine, ARunThroughTheRepeatedHourStaysInOrderWithTrueDurations) {
  ScopedZone zone("Europe/Berlin");
  // 02:58 summer time to 02:05 winter time (seven minutes), a record every 5 s, as a data file holds them.
  std::vector<LocalDateTime> locals;
  const double start = Utc({2026, 10, 25, 0, 58, 0, 0});
  for (int i = 0; i * 5 <= 7 * 60; ++i) locals.push_back(LocalFromUtc(start + i * 5 / 86400.0));
  ASSERT_EQ(locals.front(), (LocalDateTime{2026, 10, 25, 2, 58, 0, 0}));
  ASSERT_EQ(locals.back(), (LocalDateTime{2026, 10, 25, 2, 5, 0, 0}));
  LocalTimeLine line;
  for (size_t i = 0; i < locals.size(); ++i) {
    const double t = line.ToUtc(EncodeDayNumber(locals[i]));
    EXPECT_NEAR((t - start) * 86400.0, 5.0 * static_cast<double>(i), 1e-3) << i;
  }
}

TEST(LocalTimeLine, TheSkippedHourCostsNoDuration) {
  ScopedZone zone("Europe/Berlin");
  const std::vector<double> steps = Steps({{2026, 3, 29, 1, 59, 0, 0},
                                           {2026, 3, 29, 1, 59, 59, 500},
                                           {2026, 3, 29, 3, 0, 0, 0},
                                           {2026, 3, 29, 3, 0, 30, 0}});
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_NEAR(steps[0], 59.5, 1e-3);
  EXPECT_NEAR(steps[1], 0.5, 1e-3);
  EXPECT_NEAR(steps[2], 30.0, 1e-3);
}

TEST(LocalTimeLine, ATimeSetBackOutsideAChangeStaysWhereItIs) {
  ScopedZone zone("Europe/Berlin");
  // A clock set back by ten minutes on an ordinary day: no second instant to take.
  const std::vector<double> steps = Steps({{2026, 6, 1, 12, 0, 0, 0}, {2026, 6, 1, 11, 50, 0, 0}});
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_NEAR(steps[0], -600.0, 1e-3);
}

TEST(LocalTime, CurrentDayNumberIsUtc) {
  ScopedZone zone("Asia/Tokyo");
  const double before = CurrentDayNumber();
  const LocalDateTime local = CurrentLocalDateTime();
  const double after = CurrentDayNumber();
  // Tokyo is nine hours ahead of UTC, all year.
  const double shifted = EncodeDayNumber(local) - 9.0 / 24.0;
  EXPECT_LE(before - 1.0 / 86400, shifted);
  EXPECT_LE(shifted, after + 1.0 / 86400);
}

}  // namespace
}  // namespace quarn::acquisition
