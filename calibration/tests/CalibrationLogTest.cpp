#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "acquisition/DateTime.h"
#include "acquisition/tests/ScopedZone.h"
#include "calibration/CalibrationLog.h"

namespace quarn::calibration {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class CalibrationLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-calibration-log-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  acquisition::testing::ScopedZone zone_{"Europe/Berlin"};
  acquisition::PlainRegionalFormat format_;
  std::filesystem::path folder_;
};

TEST_F(CalibrationLogTest, EachStepAppendsOneLineUnderOneHeader) {
  CalibrationLogEntry zero;
  zero.time = acquisition::EncodeDayNumber({2026, 12, 10, 13, 3, 7, 412});  // 14:03:07 in Berlin
  zero.serialNumber = "102345";
  zero.firmware = "QRN-2.14";
  zero.record = {"zero", "", {10004}, "9990-10010", "Operation setting to Zero, successfully completed!"};
  zero.stability = Stability{1.26, -0.04, true};
  CalibrationLogEntry span = zero;
  span.time += 60.0 / 86400;
  span.record = {"span",
                 "1000",
                 {1000, 979, 1000},
                 "±20 (readings 2-3), ±5 (reading 4)",
                 "CALIBRATION FAILED (C2=979)\n\rCheck the calibration values"};
  span.stability.reset();

  ASSERT_EQ(AppendCalibrationLog((folder_ / "Save").string(), zero, format_), std::nullopt);
  ASSERT_EQ(AppendCalibrationLog((folder_ / "Save").string(), span, format_), std::nullopt);
  EXPECT_EQ(ReadAll(folder_ / "Save" / "calibration.tsv"),
            "time\tserial\tfirmware\tstep\tspan_ppm\treading_1\treading_2\treading_3\treading_4\ttolerance\toutcome\t"
            "sd_30s_ppm\tslope_30s_ppm_per_min\r\n"
            "2026-12-10 14:03:07\t102345\tQRN-2.14\tzero\t\t10004\t\t\t\t9990-10010\t"
            "Operation setting to Zero, successfully completed!\t1.3\t0.0\r\n"
            "2026-12-10 14:04:07\t102345\tQRN-2.14\tspan\t1000\t1000\t979\t1000\t\t±20 (readings 2-3), ±5 (reading 4)\t"
            "CALIBRATION FAILED (C2=979)\\n\\rCheck the calibration values\t\t\r\n");
}

TEST_F(CalibrationLogTest, ALogThatCannotBeWrittenSaysWhy) {
  std::ofstream(folder_ / "Save") << "a file where the folder should be";
  CalibrationLogEntry entry;
  entry.record = {"zero", "", {10000}, "9990-10010", "ZERO FAILED! Please send log file to manufacture!"};
  const std::optional<std::string> failure = AppendCalibrationLog((folder_ / "Save").string(), entry, format_);
  ASSERT_TRUE(failure);
  EXPECT_NE(failure->find("calibration.tsv"), std::string::npos) << *failure;
}

TEST(StabilityWindow, SaysStableOrSettlingFromTheLastThirtySeconds) {
  struct Case {
    const char* what;
    std::vector<double> ppm;  // one reading every 2 s
    std::string text;
  };
  const std::vector<Case> cases = {
      {"no reading yet", {}, ""},
      {"too short to judge", {402, 403}, "Reading 403 ppm"},
      {"flat with noise",
       {401, 403, 402, 400, 404, 402, 401, 403, 402, 402, 401, 403, 402, 400, 402, 402},
       "Reading 402 ppm · stable (±1.1 ppm over the last 30 s)"},
      // A rise of 0.3 ppm per reading: 9 ppm per minute, above the 5 ppm allowed at 400 ppm.
      {"creeping up",
       {400, 400.3, 400.6, 400.9, 401.2, 401.5, 401.8, 402.1, 402.4, 402.7, 403, 403.3},
       "Reading 403 ppm · settling (+9 ppm per minute)"},
      // Old readings drop out: a fall long ago does not count.
      {"settled after a fall",
       {900, 800, 700, 600, 500, 400, 400, 400, 400, 400, 400, 400, 400, 400, 400, 400, 400, 400, 400, 400, 400, 400},
       "Reading 400 ppm · stable (±0.0 ppm over the last 30 s)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StabilityWindow window;
    for (size_t i = 0; i < c.ppm.size(); ++i) window.Add(2.0 * static_cast<double>(i), c.ppm[i]);
    EXPECT_EQ(window.Text(), c.text);
  }
  // What goes into the log: the spread and the slope themselves.
  StabilityWindow rising;
  for (int i = 0; i <= 15; ++i) rising.Add(2.0 * i, 600 + 3.0 * i);  // 90 ppm per minute
  const std::optional<Stability> s = rising.Current();
  ASSERT_TRUE(s);
  EXPECT_FALSE(s->stable);
  EXPECT_NEAR(s->slopePerMinute, 90, 1e-9);
  EXPECT_NEAR(s->sd, 3.0 * std::sqrt(16.0 * 17.0 / 12.0), 1e-9);  // the SD of 0, 3, ..., 45
}

}  // namespace
}  // namespace quarn::calibration
