#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "acquisition/DataFile.h"
#include "acquisition/RegionalFormat.h"
#include "analysis/FileAnalysis.h"
#include "analysis/MarkerFile.h"
#include "analysis/tests/Synthetic.h"

namespace quarn::analysis {
namespace {

using testing::DaysAt;
using testing::SyntheticRun;

// A data file and the lines of the marker file beside it (none: no marker file).
struct Fixture {
  const char* name;
  std::string data;
  std::vector<std::string> markerLines;
};

std::string Lines(const std::vector<acquisition::MeasurementRecord>& records) {
  const acquisition::PlainRegionalFormat format;
  std::string text;
  for (const acquisition::MeasurementRecord& r : records) text += acquisition::DataLine(r, format);
  return text;
}

std::string Header() { return acquisition::HeaderBlock("7", "102345", "QRN-2.14"); }

std::string MarkerAt(double seconds, const std::string& label) {
  return MarkerLine(acquisition::RecordTimeText(DaysAt(seconds), acquisition::PlainRegionalFormat()), label);
}

std::vector<Fixture> Fixtures() {
  const auto noisy = [](double t) { return 400 + 50 * std::sin(t / 300); };
  // Ten thousand records over several statistics buckets, with noise in the values.
  const std::vector<acquisition::MeasurementRecord> long_ = SyntheticRun(0.5, 5000, noisy, 4);
  std::vector<acquisition::MeasurementRecord> backwards = SyntheticRun(1, 600, noisy, 2, 3);
  // The clock set back by five minutes halfway.
  for (size_t i = backwards.size() / 2; i < backwards.size(); ++i) backwards[i].DT -= 300 / kSecondsPerDay;
  const std::vector<acquisition::MeasurementRecord> first = SyntheticRun(1, 300, noisy, 3, 5);
  std::vector<acquisition::MeasurementRecord> second = SyntheticRun(1, 300, noisy, 3, 6);
  for (auto& r : second) r.DT += 3600 / kSecondsPerDay;
  // Whole seconds with several records each: they are spread over their second as they are read.
  std::vector<acquisition::MeasurementRecord> crowded = SyntheticRun(0.25, 300, noisy, 2, 8);
  for (auto& r : crowded) r.DT = std::floor(r.DT * kSecondsPerDay + 1e-6) / kSecondsPerDay;

  return {
      {"one run", Header() + Lines(long_), {}},
      {"clock set back", Header() + Lines(backwards), {}},
      {"two runs", Header() + Lines(first) + Header() + Lines(second), {}},
      {"records before a header, foreign lines", Lines(first) + "not a data line\r\n" + Header() + Lines(second), {}},
      {"whole seconds", Header() + Lines(crowded), {}},
      {"a gap",
       Header() + Lines(long_),
       {MarkerAt(1000, "connection lost"), MarkerAt(1030, "reconnected after 30 s"), "no tab here\r\n",
        MarkerLine("yesterday", "connection lost")}},
      {"one record", Header() + Lines({long_.front()}), {}},
  };
}

void ExpectSame(const SeriesStatistics& a, const SeriesStatistics& b, const std::string& what) {
  EXPECT_EQ(a.count, b.count) << what;
  EXPECT_EQ(a.mean, b.mean) << what;
  EXPECT_EQ(a.sd, b.sd) << what;
  EXPECT_EQ(a.min, b.min) << what;
  EXPECT_EQ(a.max, b.max) << what;
  EXPECT_EQ(a.peakToPeak, b.peakToPeak) << what;
  EXPECT_EQ(a.driftPerHour, b.driftPerHour) << what;
}

// A file analysed in one pass, its records never held, gives the very figures, rows and warnings of the same
// file analysed with its records held.
TEST(OnePassTest, GivesTheHeldAnalysisFiguresExactly) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "quarn-analyze-one-pass";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  for (const Fixture& fixture : Fixtures()) {
    SCOPED_TRACE(fixture.name);
    const std::string file = (folder / "102345(QRN-2.14) 14-3-2026 8%0.txt").string();
    std::ofstream(file, std::ios::binary | std::ios::trunc) << fixture.data;
    std::filesystem::remove(MarkerFilePath(file));
    if (!fixture.markerLines.empty()) {
      std::ofstream markers(MarkerFilePath(file), std::ios::binary);
      for (const std::string& line : fixture.markerLines) markers << line;
    }

    std::ostringstream heldErr;
    std::ostringstream onePassErr;
    int status = 0;
    FileAnalysisOptions options;
    const std::optional<FileAnalysis> held = AnalyzeFile(options, file, {}, false, heldErr, status);
    options.holdRecords = false;
    const std::optional<FileAnalysis> onePass = AnalyzeFile(options, file, {}, false, onePassErr, status);
    ASSERT_TRUE(held && onePass) << heldErr.str();
    EXPECT_GT(held->Records().Count(), 0u);
    EXPECT_EQ(onePass->Records().Count(), 0u) << "read in one pass, nothing held";

    EXPECT_EQ(onePassErr.str(), heldErr.str());
    EXPECT_EQ(onePass->statistics.Count(), held->statistics.Count());
    for (size_t k = 0; k < kSeriesCount; ++k) {
      ExpectSame(onePass->statistics.series[k], held->statistics.series[k], std::string(kSeriesNames[k]));
      EXPECT_EQ(StatisticsRow(k, onePass->statistics.series[k]), StatisticsRow(k, held->statistics.series[k]));
    }
    EXPECT_EQ(SummaryRow(onePass->entry.figures.summary), SummaryRow(held->entry.figures.summary));
    EXPECT_EQ(onePass->entry.figures.summary.firstTime, held->entry.figures.summary.firstTime);
    EXPECT_EQ(onePass->entry.figures.summary.lastTime, held->entry.figures.summary.lastTime);
    EXPECT_TRUE(held->entry.figures.steps.empty());
    EXPECT_TRUE(onePass->entry.figures.steps.empty());
    EXPECT_EQ(onePass->entry.gapRows, held->entry.gapRows);
    EXPECT_EQ(onePass->markers.size(), held->markers.size());
  }
  std::filesystem::remove_all(folder);
}

// A gas marker needs the records around it: the file is then read with them held, whatever was asked.
TEST(OnePassTest, GasMarkersKeepTheRecords) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "quarn-analyze-one-pass-gas";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "run.txt").string();
  std::ofstream(file, std::ios::binary) << Header()
                                        << Lines(SyntheticRun(1, 600, testing::FirstOrderStep(400, 1400, 200, 10)));
  std::ofstream(MarkerFilePath(file), std::ios::binary) << MarkerAt(200, "gas on 1000 ppm");
  FileAnalysisOptions options;
  options.holdRecords = false;
  std::ostringstream err;
  int status = 0;
  const std::optional<FileAnalysis> analysis = AnalyzeFile(options, file, {}, false, err, status);
  ASSERT_TRUE(analysis) << err.str();
  EXPECT_EQ(analysis->entry.figures.steps.size(), 1u);
  EXPECT_EQ(analysis->Records().Count(), 600u);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace quarn::analysis
