#include "analysis/Statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>

#include "analysis/tests/Synthetic.h"

namespace quarn::analysis {
namespace {

using testing::DaysAt;
using testing::SyntheticRun;

struct NoiseCase {
  double interval;
  double level;
  double sigma;
  double duration;
};

void PrintTo(const NoiseCase& c, std::ostream* out) {
  *out << "Level" << c.level << "Sigma" << c.sigma << "Every" << c.interval << "sFor" << c.duration << "s";
}

class NoiseStatisticsTest : public ::testing::TestWithParam<NoiseCase> {};

TEST_P(NoiseStatisticsTest, MeanAndDeviationOfConstantPlusGaussianNoise) {
  const NoiseCase c = GetParam();
  const auto records = SyntheticRun(
      c.interval, c.duration, [&](double) { return c.level; }, c.sigma);
  const SpanRecords source(records);
  StatisticsIndex index;
  index.Update(source);
  const size_t n = records.size();
  const SeriesStatistics conc = index.Query(source, 0, n).series[kConcentration];
  ASSERT_EQ(conc.count, n);
  // Five standard errors; the values are whole numbers, which adds 1/12 to the variance.
  const double sd = std::sqrt(c.sigma * c.sigma + 1.0 / 12);
  EXPECT_NEAR(conc.mean, c.level, 5 * sd / std::sqrt(double(n)));
  ASSERT_TRUE(conc.sd.has_value());
  EXPECT_NEAR(*conc.sd, sd, 5 * sd / std::sqrt(2.0 * double(n)));
  EXPECT_LE(conc.min, c.level - 2 * c.sigma);
  EXPECT_GE(conc.max, c.level + 2 * c.sigma);
  EXPECT_DOUBLE_EQ(conc.peakToPeak, conc.max - conc.min);
  ASSERT_TRUE(conc.driftPerHour.has_value());
  // No drift beyond what the noise allows: slope standard error is sigma / sqrt(sum (t - mean t)^2).
  const double span = c.interval * double(n);
  const double slopeError = sd / std::sqrt(double(n) * span * span / 12) * 3600;
  EXPECT_NEAR(*conc.driftPerHour, 0, 5 * slopeError);

  // The other series are constant: no deviation, no drift.
  const SeriesStatistics temp = index.Query(source, 0, n).series[2];
  EXPECT_DOUBLE_EQ(temp.mean, 25);
  EXPECT_DOUBLE_EQ(*temp.sd, 0);
  EXPECT_DOUBLE_EQ(temp.peakToPeak, 0);
  EXPECT_NEAR(*temp.driftPerHour, 0, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Cases, NoiseStatisticsTest,
                         ::testing::Values(NoiseCase{0.5, 400, 5, 3600}, NoiseCase{2, 30000, 40, 7200},
                                           NoiseCase{0.5, 1000, 1, 600}, NoiseCase{0.07, 20000, 200, 3000}));

struct DriftCase {
  double interval;
  double slopePerHour;
  double sigma;
  double hours;
};

void PrintTo(const DriftCase& c, std::ostream* out) {
  *out << "Slope" << c.slopePerHour << "PerHourSigma" << c.sigma << "Every" << c.interval << "sFor" << c.hours << "h";
}

class DriftStatisticsTest : public ::testing::TestWithParam<DriftCase> {};

TEST_P(DriftStatisticsTest, LinearDriftOfKnownSlope) {
  const DriftCase c = GetParam();
  const auto records = SyntheticRun(
      c.interval, c.hours * 3600, [&](double t) { return 2000 + c.slopePerHour * t / 3600; }, c.sigma);
  const SpanRecords source(records);
  StatisticsIndex index;
  index.Update(source);
  const SeriesStatistics conc = index.Query(source, 0, records.size()).series[kConcentration];
  ASSERT_TRUE(conc.driftPerHour.has_value());
  const double n = double(records.size());
  const double span = c.hours * 3600;
  const double slopeError = std::sqrt(c.sigma * c.sigma + 1.0 / 12) / std::sqrt(n * span * span / 12) * 3600;
  EXPECT_NEAR(*conc.driftPerHour, c.slopePerHour, 5 * slopeError + 1e-9 * std::abs(c.slopePerHour));
  EXPECT_NEAR(conc.mean, 2000 + c.slopePerHour * c.hours / 2, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, DriftStatisticsTest,
                         ::testing::Values(DriftCase{0.5, 120, 0, 1}, DriftCase{2, -300, 3, 2},
                                           DriftCase{0.5, 10, 2, 24}, DriftCase{99, 50, 0, 168}));

// Every range, whole buckets or none, gives what a plain pass over the same records gives.
TEST(StatisticsIndexTest, AnyRangeMatchesAPlainPass) {
  const auto records = SyntheticRun(
      0.5, 37 * StatisticsIndex::kBucketRecords * 0.5 + 700, [](double t) { return 500 + 300 * std::sin(t / 50); }, 8);
  const SpanRecords source(records);
  StatisticsIndex index;
  // Grown in uneven pieces, as ticks bring them.
  for (size_t done = 0; done < records.size();) {
    const size_t piece = std::min<size_t>(records.size() - done, 1 + done % 997);
    index.Append(std::span(records).subspan(done, piece));
    done += piece;
  }
  ASSERT_EQ(index.Size(), records.size());
  const size_t B = StatisticsIndex::kBucketRecords;
  const std::vector<std::pair<size_t, size_t>> ranges = {{0, records.size()},
                                                         {0, B},
                                                         {B, 2 * B},
                                                         {1, 2 * B + 1},
                                                         {B - 1, 3 * B + 5},
                                                         {17, 40},
                                                         {2 * B + 3, records.size()},
                                                         {3 * B, 32 * B},
                                                         {B + 5, 35 * B + 7},
                                                         {0, 16 * B},
                                                         {5 * B - 1, 6 * B + 1}};
  for (auto [first, last] : ranges) {
    std::vector<acquisition::MeasurementRecord> part(records.begin() + first, records.begin() + last);
    const RangeStatistics expected = ComputeStatistics(SpanRecords(part), 0, part.size());
    const RangeStatistics got = index.Query(source, first, last);
    EXPECT_EQ(got.Count(), last - first);
    for (size_t k = 0; k < kSeriesCount; ++k) {
      const SeriesStatistics& e = expected.series[k];
      const SeriesStatistics& g = got.series[k];
      SCOPED_TRACE(std::to_string(first) + ".." + std::to_string(last) + " series " + std::to_string(k));
      EXPECT_EQ(g.count, e.count);
      EXPECT_NEAR(g.mean, e.mean, 1e-9 * std::abs(e.mean) + 1e-9);
      EXPECT_NEAR(*g.sd, *e.sd, 1e-7 * *e.sd + 1e-9);
      EXPECT_EQ(g.min, e.min);
      EXPECT_EQ(g.max, e.max);
      EXPECT_NEAR(*g.driftPerHour, *e.driftPerHour, 1e-6 * std::abs(*e.driftPerHour) + 1e-6);
    }
  }
}

TEST(StatisticsIndexTest, RangesOfOneAndOfNoPoint) {
  const auto records = SyntheticRun(2, 100, [](double t) { return 700 + t; });
  const SpanRecords source(records);
  StatisticsIndex index;
  index.Update(source);
  const RangeStatistics one = index.Query(source, 10, 11);
  const SeriesStatistics& conc = one.series[kConcentration];
  EXPECT_EQ(conc.count, 1u);
  EXPECT_DOUBLE_EQ(conc.mean, 720);
  EXPECT_DOUBLE_EQ(conc.min, 720);
  EXPECT_DOUBLE_EQ(conc.max, 720);
  EXPECT_DOUBLE_EQ(conc.peakToPeak, 0);
  EXPECT_FALSE(conc.sd.has_value());
  EXPECT_FALSE(conc.driftPerHour.has_value());

  const RangeStatistics none = index.Query(source, 10, 10);
  EXPECT_EQ(none.series[kConcentration].count, 0u);
  EXPECT_FALSE(none.series[kConcentration].sd.has_value());
  EXPECT_EQ(index.Query(source, 40, 1000).Count(), records.size() - 40) << "clipped to the records there are";
}

TEST(StatisticsIndexTest, ClearStartsANewRunWithItsOwnTimeOrigin) {
  StatisticsIndex index;
  const auto first = SyntheticRun(0.5, 5000, [](double) { return 100; });
  index.Append(first);
  index.Clear();
  EXPECT_EQ(index.Size(), 0u);
  auto second = SyntheticRun(1, 60, [](double t) { return 100 + t * 10; });
  for (auto& r : second) r.DT += 400;  // a run a year later
  index.Append(second);
  const SeriesStatistics conc = index.Query(SpanRecords(second), 0, second.size()).series[kConcentration];
  EXPECT_NEAR(*conc.driftPerHour, 36000, 36000 * 1e-8) << "as precise as the record times";
}

TEST(StatisticsIndexTest, IndexRangeFindsRecordsByTime) {
  const auto records = SyntheticRun(2, 100, [](double) { return 1; });
  const SpanRecords source(records);
  EXPECT_EQ(IndexRange(source, DaysAt(10), DaysAt(20)), std::make_pair(size_t{5}, size_t{11}));
  EXPECT_EQ(IndexRange(source, DaysAt(9), DaysAt(9.5)), std::make_pair(size_t{5}, size_t{5}));
  EXPECT_EQ(IndexRange(source, DaysAt(-50), DaysAt(1000)), std::make_pair(size_t{0}, records.size()));
}

TEST(StatisticsIndexTest, IndexRangeTakesEqualTimesAndIsEmptyOutsideOrReversed) {
  acquisition::MeasurementStore store;
  for (double dt : {10.0, 11.0, 11.0, 12.0, 13.0, 15.0}) store.Append({.DT = dt});
  const struct {
    double from, to;
    size_t first, last;
  } cases[] = {
      {0, 100, 0, 6}, {11, 12, 1, 4}, {11.5, 12.5, 3, 4}, {13.5, 14.5, 5, 5},
      {16, 20, 6, 6}, {0, 9, 0, 0},   {12, 11, 0, 0},
  };
  for (const auto& c : cases) {
    const auto [first, last] = IndexRange(StoreRecords(store), c.from, c.to);
    EXPECT_EQ(last - first, c.last - c.first) << c.from << ".." << c.to;
    if (c.first != c.last) {
      EXPECT_EQ(first, c.first) << c.from << ".." << c.to;
      EXPECT_EQ(last, c.last) << c.from << ".." << c.to;
    }
  }
  EXPECT_EQ(IndexRange(StoreRecords(acquisition::MeasurementStore()), 0, 100).second, 0u);
}

}  // namespace
}  // namespace quarn::analysis
