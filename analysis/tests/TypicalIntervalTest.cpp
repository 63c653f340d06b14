#include <gtest/gtest.h>

#include <vector>

#include "analysis/EvaluationReport.h"
#include "analysis/RecordSource.h"

namespace quarn::analysis {
namespace {

struct IntervalCase {
  const char* name;
  std::vector<double> gapsSeconds;  // repeated in turn between consecutive records
  const char* expected;
};

TEST(TypicalIntervalTest, TheMostFrequentSpacingReadsAtItsScale) {
  const std::vector<IntervalCase> cases = {
      {"a second", {1.0}, "1.0 s"},
      {"two seconds with a few milliseconds of jitter", {2.004, 1.996, 2.012, 1.991}, "2.0 s"},
      {"the 0.5 s setting", {0.5, 0.49, 0.51}, "0.5 s"},
      // A file's whole-second times spread over the second's 21 frames: under a tenth, so in hundredths.
      {"frames of the fastest setting", {1.0 / 21}, "0.05 s"},
      {"mostly slow, a few fast", {1.0, 1.0, 1.0, 0.02}, "1.0 s"},
  };
  for (const IntervalCase& c : cases) {
    std::vector<acquisition::MeasurementRecord> records(200);
    double t = 46000;
    for (size_t i = 0; i < records.size(); ++i) {
      records[i].DT = t;
      t += c.gapsSeconds[i % c.gapsSeconds.size()] / kSecondsPerDay;
    }
    const SpanRecords source(records);
    EXPECT_EQ(TypicalInterval(source, 0, records.size()), c.expected) << c.name;
  }
  const std::vector<acquisition::MeasurementRecord> one(1);
  EXPECT_EQ(TypicalInterval(SpanRecords(one), 0, 1), "");
}

}  // namespace
}  // namespace quarn::analysis
