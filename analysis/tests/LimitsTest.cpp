#include "analysis/Limits.h"

#include <gtest/gtest.h>

#include "analysis/Verdict.h"

namespace quarn::analysis {
namespace {

struct BadCase {
  std::string text;
  size_t line;
  std::string message;  // a part of the error's text
};

TEST(LimitsTest, BadFilesNameTheLine) {
  const std::vector<BadCase> cases = {
      {"sd_max = 5\nsd_mx = 3\n", 2, "unknown key \"sd_mx\""},
      {"# comment\n\nT90_max_s = fast\n", 3, "bad value for T90_max_s (seconds above 0): \"fast\""},
      {"T90_max_s = 0\n", 1, "bad value for T90_max_s"},
      {"sd_max = -1\n", 1, "bad value for sd_max (ppm, 0 or more)"},
      {"drift_per_hour_max = 2 ppm\n", 1, "bad value for drift_per_hour_max"},
      {"level_after_min = \n", 1, "bad value for level_after_min"},
      {"level_after_max = nan\n", 1, "bad value for level_after_max"},
      {"sd_max = 5\r\nsd_max = 6\r\n", 2, "sd_max is given twice in this section (first at line 1)"},
      {"[marker gas on]\nT90_max_s = 20\n[marker gas on]\n", 3, "section [marker gas on] is given twice"},
      {"[limits]\nsd_max = 1\n", 1, "unknown section [limits]"},
      {"[marker]\n", 1, "[marker] names no label"},
      {"[marker gas on\n", 1, "a section line ends in ]"},
      {"sd_max 5\n", 1, "not a key = value line"},
      {"[marker a]\nlevel_after_min = 900\nlevel_after_max = 800\n", 3, "level_after_min lies above level_after_max"},
      // A marker's own maximum below the general minimum leaves it no level to pass.
      {"level_after_min = 900\n[marker a]\nlevel_after_max = 800\n", 3, "level_after_min lies above level_after_max"},
      // The error is the first one: a bad key in a marker section after good lines.
      {"sd_max = 5\n[marker gas off]\nT90_max_s = 40\nT90 = 3\n", 4, "unknown key \"T90\""},
  };
  for (const BadCase& c : cases) {
    const LimitsReading reading = ParseLimits(c.text);
    SCOPED_TRACE(c.text);
    EXPECT_FALSE(reading.limits);
    EXPECT_EQ(reading.error.line, c.line);
    EXPECT_NE(reading.error.message.find(c.message), std::string::npos) << reading.error.message;
    EXPECT_EQ(reading.error.Text().rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << reading.error.Text();
  }
}

TEST(LimitsTest, GeneralKeysAndMarkerSectionsRead) {
  const LimitsReading reading = ParseLimits(
      "\xEF\xBB\xBF# a batch of CO2 sensors\r\n"
      "sd_max = 5\r\n"
      "  Drift_Per_Hour_Max=2.5\r\n"
      "; every step\r\n"
      "t90_max_s = 30\r\n"
      "\r\n"
      "[marker gas on 800 ppm]\r\n"
      "level_after_min = 1150\r\n"
      "level_after_max = 1250\r\n"
      "sd_max = 3\r\n"
      "[ Marker  gas off ]\r\n"
      "T90_max_s = 45\r\n"
      "level_after_min = -1e1\r\n");
  ASSERT_TRUE(reading.limits) << reading.error.Text();
  const AcceptanceLimits& limits = *reading.limits;
  EXPECT_EQ(limits.general, (Limits{5, 2.5, 30, std::nullopt, std::nullopt}));
  ASSERT_EQ(limits.byLabel.size(), 2u);
  EXPECT_EQ(limits.byLabel.at("gas on 800 ppm"), (Limits{3, std::nullopt, std::nullopt, 1150, 1250}));

  // A step takes its section's limits, the general T90 and levels where the section has none, and the general
  // sd and drift never: those are the whole file's.
  EXPECT_EQ(limits.ForStep("gas on 800 ppm"), (Limits{3, std::nullopt, 30, 1150, 1250}));
  EXPECT_EQ(limits.ForStep("gas off"), (Limits{std::nullopt, std::nullopt, 45, -10, std::nullopt}));
  EXPECT_EQ(limits.ForStep("zero air"), (Limits{std::nullopt, std::nullopt, 30, std::nullopt, std::nullopt}));
  EXPECT_EQ(limits.ForStep("Gas off"), limits.ForStep("zero air")) << "labels match exactly";

  const LimitsReading empty = ParseLimits("# nothing yet\n");
  ASSERT_TRUE(empty.limits);
  EXPECT_EQ(*empty.limits, AcceptanceLimits{});
}

TEST(LimitsTest, AFileThatCannotBeReadIsAnErrorOfNoLine) {
  const LimitsReading reading = ReadLimitsFile("/nonexistent/limits.ini");
  EXPECT_FALSE(reading.limits);
  EXPECT_EQ(reading.error.line, 0u);
  EXPECT_FALSE(reading.error.message.empty());
  EXPECT_EQ(reading.error.Text(), reading.error.message);
}

StepResponse Step(const std::string& label, std::optional<double> levelAfter, std::optional<double> t90) {
  StepResponse step;
  step.marker.label = label;
  step.levelBefore = 400;
  step.levelAfter = levelAfter;
  step.crossingSeconds[2] = t90;
  return step;
}

SeriesStatistics Spread(std::optional<double> sd, std::optional<double> drift) {
  SeriesStatistics s;
  s.count = 100;
  s.sd = sd;
  s.driftPerHour = drift;
  return s;
}

TEST(VerdictTest, EachLimitNotMetIsNamedAndAMissingFigureFails) {
  const LimitsReading reading = ParseLimits(
      "sd_max = 50\ndrift_per_hour_max = 2\nT90_max_s = 30\n"
      "[marker gas on]\nlevel_after_min = 1300\nlevel_after_max = 1500\nsd_max = 5\n");
  ASSERT_TRUE(reading.limits) << reading.error.Text();
  struct Case {
    std::string name;
    SeriesStatistics file;
    std::vector<StepResponse> steps;
    std::vector<SeriesStatistics> windows;
    std::vector<std::string> stepTexts;
    std::string overall;
  };
  const std::vector<Case> cases = {
      {"all within",
       Spread(40, -1.5),
       {Step("gas on", 1400, 25), Step("gas off", 400, 29)},
       {Spread(4, 100), Spread(90, 0)},
       {"PASS", "PASS"},
       "PASS"},
      {"falling drift counts by its size", Spread(40, -2.5), {}, {}, {}, "FAIL: drift_per_hour_max"},
      {"slow and noisy",
       Spread(60, 0),
       {Step("gas on", 1400, 31)},
       {Spread(6, 0)},
       {"FAIL: sd_max; T90_max_s"},
       "FAIL: sd_max; sd_max (gas on); T90_max_s (gas on)"},
      {"levels out of range",
       Spread(1, 0),
       {Step("gas on", 1299, 10), Step("gas on", 1501, 10)},
       {Spread(1, 0), Spread(1, 0)},
       {"FAIL: level_after_min", "FAIL: level_after_max"},
       "FAIL: level_after_min (gas on); level_after_max (gas on)"},
      {"missing figures",
       Spread(std::nullopt, std::nullopt),
       {Step("gas on", std::nullopt, std::nullopt)},
       {SeriesStatistics{}},
       {"FAIL: sd_max; T90_max_s; level_after_min; level_after_max"},
       "FAIL: sd_max; drift_per_hour_max; sd_max (gas on); T90_max_s (gas on); level_after_min (gas on); "
       "level_after_max (gas on)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SensorFigures figures;
    figures.summary.conc = c.file;
    figures.steps = c.steps;
    figures.levelWindows = c.windows;
    const SensorVerdicts verdicts = Judge(*reading.limits, figures);
    ASSERT_EQ(verdicts.steps.size(), c.stepTexts.size());
    for (size_t s = 0; s < c.stepTexts.size(); ++s) EXPECT_EQ(verdicts.steps[s].Text(), c.stepTexts[s]);
    EXPECT_EQ(verdicts.overall.Text(), c.overall);
    EXPECT_EQ(verdicts.overall.Passed(), c.overall == "PASS");
  }
}

}  // namespace
}  // namespace quarn::analysis
