#include "analysis/ResponseTimes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <ostream>

#include "analysis/tests/Synthetic.h"

namespace quarn::analysis {
namespace {

using testing::DaysAt;
using testing::FirstOrderStep;
using testing::SyntheticRun;

struct StepCase {
  double interval;
  double before;
  double after;
  double tau;
  double sigma;
  double tolerance;  // seconds
};

std::string Name(const StepCase& c) {
  return std::string(c.after > c.before ? "Rising" : "Falling") + "Every" + std::to_string(int(c.interval * 10)) +
         "ds" + (c.sigma > 0 ? "Noisy" : "Clean") + "Tau" + std::to_string(int(c.tau));
}

std::string CaseName(const ::testing::TestParamInfo<StepCase>& info) { return Name(info.param); }

void PrintTo(const StepCase& c, std::ostream* out) { *out << Name(c); }

class FirstOrderStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(FirstOrderStepTest, TimesFollowTheTimeConstant) {
  const StepCase c = GetParam();
  // The marker falls between two samples; the levels have 100 s before and 12 tau after it to settle.
  const double markAt = 100.3;
  const double duration = markAt + 12 * c.tau + 80;
  const auto records = SyntheticRun(c.interval, duration, FirstOrderStep(c.before, c.after, markAt, c.tau), c.sigma);
  const std::vector<Marker> markers = {{DaysAt(markAt), "gas on", ""}};
  const std::vector<StepResponse> steps = ResponseTimes(SpanRecords(records), markers, ResponseSettings{});
  ASSERT_EQ(steps.size(), 1u);
  const StepResponse& step = steps[0];
  ASSERT_TRUE(step.levelBefore && step.levelAfter);
  const double levelTolerance = 3 * c.sigma / std::sqrt(60 / c.interval) + 0.5;
  EXPECT_NEAR(*step.levelBefore, c.before, levelTolerance);
  EXPECT_NEAR(*step.levelAfter, c.after, levelTolerance);
  const std::array<double, 3> expected = {c.tau * std::log(10.0 / 9), c.tau * std::log(2.0), c.tau * std::log(10.0)};
  for (size_t f = 0; f < 3; ++f) {
    ASSERT_TRUE(step.crossingSeconds[f].has_value()) << "T" << kResponseFractions[f] * 100;
    EXPECT_NEAR(*step.crossingSeconds[f], expected[f], c.tolerance) << "T" << kResponseFractions[f] * 100;
  }
  EXPECT_EQ(step.settling, Settling::Settled) << "slope " << step.slopeShare.value_or(-1);
}

INSTANTIATE_TEST_SUITE_P(Cases, FirstOrderStepTest,
                         ::testing::Values(StepCase{0.5, 400, 10400, 15, 0, 0.05}, StepCase{2, 400, 10400, 15, 0, 0.2},
                                           StepCase{0.5, 10400, 400, 15, 0, 0.05}, StepCase{2, 10400, 400, 15, 0, 0.2},
                                           StepCase{0.5, 400, 2400, 30, 0, 0.1}, StepCase{2, 2400, 400, 8, 0, 0.3},
                                           // Noise of 1 % of the change: a crossing moves by about sigma over the slope
                                           // there, and the hold may cost a sample or two.
                                           StepCase{0.5, 400, 10400, 15, 100, 1.5},
                                           StepCase{2, 400, 10400, 15, 100, 4.5},
                                           StepCase{0.5, 10400, 400, 15, 100, 1.5},
                                           StepCase{2, 10400, 400, 15, 100, 4.5}),
                         CaseName);

TEST(ResponseTimesTest, SingleSpikesDoNotCountAsACrossing) {
  // A flat line with two-sample spikes beyond 90 % before the real step.
  auto conc = [](double t) {
    if (t >= 120 && t < 121) return 1400.0;
    if (t >= 140 && t < 141) return 100.0;
    return FirstOrderStep(400, 1400, 160, 10)(t);
  };
  const auto records = SyntheticRun(0.5, 400, conc);
  const std::vector<Marker> markers = {{DaysAt(110), "gas on", ""}};
  const StepResponse step = ResponseTimes(SpanRecords(records), markers, ResponseSettings{})[0];
  ASSERT_TRUE(step.crossingSeconds[2]);
  EXPECT_NEAR(*step.crossingSeconds[2], 50 + 10 * std::log(10.0), 0.05);

  ResponseSettings eager;
  eager.holdSamples = 1;
  const StepResponse spiked = ResponseTimes(SpanRecords(records), markers, eager)[0];
  EXPECT_NEAR(*spiked.crossingSeconds[2], 10, 0.5) << "without a hold the spike would have counted";
}

TEST(ResponseTimesTest, AStepThatStopsAt80PercentHasNoT90) {
  // The reading climbs to 80 % of the change and stays there; the level after, over a half-second window at the
  // end, is the full change, which only the last two samples reach: too few to hold.
  auto conc = [](double t) { return t < 100 ? 400.0 : t < 199 ? 1200.0 : 1400.0; };
  const auto records = SyntheticRun(0.5, 200, conc);
  const std::vector<Marker> markers = {{DaysAt(100), "gas on", ""}};
  ResponseSettings settings;
  settings.windowSeconds = 0.5;
  const StepResponse step = ResponseTimes(SpanRecords(records), markers, settings)[0];
  EXPECT_NEAR(*step.levelBefore, 400, 1e-9);
  EXPECT_NEAR(*step.levelAfter, 1400, 1e-9);
  ASSERT_TRUE(step.crossingSeconds[0] && step.crossingSeconds[1]);
  EXPECT_NEAR(*step.crossingSeconds[0], 0, 0.5);
  EXPECT_NEAR(*step.crossingSeconds[1], 0, 0.5);
  EXPECT_FALSE(step.crossingSeconds[2]) << "80 % is not 90 %";
}

TEST(ResponseTimesTest, MarkerAtTheVeryEndHasALevelBeforeAndNothingElse) {
  const auto records = SyntheticRun(2, 200, [](double) { return 500.0; });
  const double lastTime = 198;
  for (double at : {lastTime + 0.5, lastTime}) {
    const std::vector<Marker> markers = {{DaysAt(at), "gas off", ""}};
    const StepResponse step = ResponseTimes(SpanRecords(records), markers, ResponseSettings{})[0];
    EXPECT_EQ(step.marker.label, "gas off");
    ASSERT_TRUE(step.levelBefore);
    EXPECT_DOUBLE_EQ(*step.levelBefore, 500);
    if (at > lastTime) {
      EXPECT_FALSE(step.levelAfter);
    } else {
      EXPECT_DOUBLE_EQ(*step.levelAfter, 500) << "the one record at the marker";
    }
    for (const auto& crossing : step.crossingSeconds) EXPECT_FALSE(crossing) << "no change to measure";
  }
}

TEST(ResponseTimesTest, SeveralStepsEachEndAtTheNextMarker) {
  auto conc = [](double t) {
    if (t < 100) return 400.0;
    if (t < 400) return FirstOrderStep(400, 1400, 100, 10)(t);
    return FirstOrderStep(1400, 400, 400, 20)(t);
  };
  const auto records = SyntheticRun(0.5, 800, conc);
  // Given out of order: the result is in time order.
  const std::vector<Marker> markers = {{DaysAt(400), "gas off", ""}, {DaysAt(100), "gas on 800 ppm", ""}};
  const std::vector<StepResponse> steps = ResponseTimes(SpanRecords(records), markers, ResponseSettings{});
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].marker.label, "gas on 800 ppm");
  EXPECT_NEAR(*steps[0].levelAfter, 1400, 0.01);
  EXPECT_NEAR(*steps[0].crossingSeconds[2], 10 * std::log(10.0), 0.05);
  EXPECT_NEAR(*steps[1].levelBefore, 1400, 0.01);
  EXPECT_NEAR(*steps[1].levelAfter, 400, 0.01);
  EXPECT_NEAR(*steps[1].crossingSeconds[1], 20 * std::log(2.0), 0.05);
}

// The sensor away from 10 s to 30 s after the marker (the recorder's two gap markers around it): a crossing
// before or after the gap keeps its time, the one that happened while the sensor was away has none instead of a
// time made up across the gap, and the gap markers start no step of their own.
TEST(ResponseTimesTest, ACrossingInsideAGapHasNoTime) {
  const auto all = SyntheticRun(0.5, 500, FirstOrderStep(400, 1400, 100, 20));
  std::vector<acquisition::MeasurementRecord> records;
  std::copy_if(all.begin(), all.end(), std::back_inserter(records),
               [](const acquisition::MeasurementRecord& r) { return r.DT <= DaysAt(110) || r.DT >= DaysAt(130); });
  const Marker gas{DaysAt(100), "gas on", ""};
  const std::vector<Marker> markers = {
      gas, {DaysAt(110), "connection lost", ""}, {DaysAt(130), "reconnected after 20 s", ""}};
  const std::vector<StepResponse> steps = ResponseTimes(SpanRecords(records), markers, ResponseSettings{});
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].marker.label, "gas on");
  ASSERT_TRUE(steps[0].crossingSeconds[0]);
  EXPECT_NEAR(*steps[0].crossingSeconds[0], 20 * std::log(10.0 / 9), 0.1);
  EXPECT_FALSE(steps[0].crossingSeconds[1]) << "T50, at 13.9 s, fell into the gap";
  ASSERT_TRUE(steps[0].crossingSeconds[2]);
  EXPECT_NEAR(*steps[0].crossingSeconds[2], 20 * std::log(10.0), 0.1);
  // Without the gap markers the missing records are not known as a gap, and T50 is placed across it.
  const std::vector<StepResponse> unmarked = ResponseTimes(SpanRecords(records), {&gas, 1}, ResponseSettings{});
  ASSERT_TRUE(unmarked[0].crossingSeconds[1]);
  EXPECT_GT(*unmarked[0].crossingSeconds[1], 10);
}

TEST(ResponseTimesTest, MarkerBeforeTheFirstRecordHasNoLevelBefore) {
  const auto records = SyntheticRun(1, 100, [](double) { return 500.0; });
  const std::vector<Marker> markers = {{DaysAt(-5), "zero air", ""}};
  const StepResponse step = ResponseTimes(SpanRecords(records), markers, ResponseSettings{})[0];
  EXPECT_FALSE(step.levelBefore);
  EXPECT_TRUE(step.levelAfter);
  EXPECT_FALSE(step.crossingSeconds[0]);
}

struct SettlingCase {
  const char* name;
  std::function<double(double)> conc;
  double interval;
  double duration;
  std::vector<double> markers;  // seconds
  double windowSeconds;
  Settling expected;  // of the first step
  double slopeShare;  // expected, when not NaN
};

void PrintTo(const SettlingCase& c, std::ostream* out) { *out << c.name; }

class SettlingTest : public ::testing::TestWithParam<SettlingCase> {};

TEST_P(SettlingTest, TheLevelAfterTheStepIsJudgedByItsSlopeOverTheLevelWindow) {
  const SettlingCase c = GetParam();
  const auto records = SyntheticRun(c.interval, c.duration, c.conc);
  std::vector<Marker> markers;
  for (double at : c.markers) markers.push_back({DaysAt(at), "gas", ""});
  ResponseSettings settings;
  settings.windowSeconds = c.windowSeconds;
  const StepResponse step = ResponseTimes(SpanRecords(records), markers, settings)[0];
  EXPECT_EQ(step.settling, c.expected) << "slope " << step.slopeShare.value_or(-1);
  if (!std::isnan(c.slopeShare)) {
    ASSERT_TRUE(step.slopeShare);
    EXPECT_NEAR(*step.slopeShare, c.slopeShare, 0.001);
  }
}

// A step of 1000 at 100 s that then drifts by perMinute until the last record at 499.5 s; the level after, over
// the last 60 s, is 1000 above the level before plus the drift up to the window's middle.
SettlingCase Drifting(const char* name, double perMinute, Settling expected) {
  auto conc = [perMinute](double t) { return t < 100 ? 400.0 : 1400.0 + perMinute * (t - 100) / 60; };
  const double change = 1000 + perMinute * (469.75 - 100) / 60;
  return {name, conc, 0.5, 500, {100}, 60, expected, perMinute / change};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettlingTest,
    ::testing::Values(Drifting("DriftOf1PercentSettled", 10, Settling::Settled),
                      Drifting("DriftOf3PercentStillMoving", 30, Settling::StillMoving),
                      Drifting("FallingDriftOf3PercentStillMoving", -30, Settling::StillMoving),
                      // A first-order rise with tau 60 s that the view cuts off 150 s after the marker: still rising.
                      SettlingCase{"StillRisingAtTheEndOfTheView",
                                   FirstOrderStep(400, 1400, 100, 60),
                                   2,
                                   250,
                                   {100},
                                   60,
                                   Settling::StillMoving,
                                   NAN},
                      // The next marker 40 s after: the level window would reach back before the step began.
                      SettlingCase{"NextMarkerWithinTheWindow",
                                   FirstOrderStep(400, 1400, 100, 2),
                                   1,
                                   300,
                                   {100, 140},
                                   60,
                                   Settling::WindowCutShort,
                                   NAN},
                      // Samples every 0.6 s: one in each half-second window, at 99.6 s and at 199.8 s.
                      SettlingCase{"OneSampleInTheWindow",
                                   FirstOrderStep(400, 1400, 100, 2),
                                   0.6,
                                   300,
                                   {100, 200},
                                   0.5,
                                   Settling::TooFewSamples,
                                   NAN},
                      SettlingCase{"NoChange", [](double) { return 500.0; }, 1, 300, {100}, 60, Settling::NoStep, NAN},
                      SettlingCase{
                          "NoLevelBefore", [](double) { return 500.0; }, 1, 300, {-5}, 60, Settling::NoStep, NAN}),
    [](const ::testing::TestParamInfo<SettlingCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarn::analysis
