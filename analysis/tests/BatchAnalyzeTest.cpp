#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "acquisition/DataFile.h"
#include "analysis/AnalyzeProgram.h"
#include "analysis/MarkerFile.h"
#include "analysis/tests/Synthetic.h"

namespace quarn::analysis {
namespace {

using testing::DaysAt;
using testing::FirstOrderStep;
using testing::SyntheticRun;
using Rows = std::vector<std::vector<std::string>>;

struct Output {
  int status = 0;
  std::string out;
  std::string err;
};

Output Analyze(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunAnalyze(args, {}, out, err);
  return {status, out.str(), err.str()};
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
  if (!text.empty() && text.back() == separator && separator == ',') parts.emplace_back();
  return parts;
}

// The CSV's sections, split at the empty lines, each a list of rows of cells (the labels hold no comma).
std::vector<Rows> Sections(const std::string& csv) {
  std::vector<Rows> sections(1);
  for (const std::string& line : Split(csv, '\n')) {
    if (line.empty()) {
      sections.emplace_back();
    } else {
      sections.back().push_back(Split(line, ','));
    }
  }
  return sections;
}

// Three sensors through one gas profile: 400 ppm, a step to 1400 ppm at 100 s, back to 400 ppm at 400 s, until
// 700 s; a fast quiet one, a slow one, a fast noisy one whose run lost the sensor for 30 s.
class BatchAnalyzeTest : public ::testing::Test {
 protected:
  struct Sensor {
    std::string serial;
    double tau;
    double sigma;
  };

  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("quarn-batch-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    const Sensor sensors[] = {{"102345", 5, 0}, {"102346", 25, 0}, {"102347", 5, 30}};
    for (const Sensor& sensor : sensors) {
      const std::string file = (folder_ / (sensor.serial + "(QRN-2.14) 14-3-2026 8%0.txt")).string();
      auto conc = [&](double t) {
        return t < 400 ? FirstOrderStep(400, 1400, 100, sensor.tau)(t) : FirstOrderStep(1400, 400, 400, sensor.tau)(t);
      };
      const bool gap = sensor.sigma > 0;
      std::string text = acquisition::HeaderBlock("7", sensor.serial, "QRN-2.14");
      for (const acquisition::MeasurementRecord& r : SyntheticRun(1, 700, conc, sensor.sigma)) {
        if (!gap || r.DT <= DaysAt(200) || r.DT >= DaysAt(230)) text += acquisition::DataLine(r, format_);
      }
      std::ofstream(file, std::ios::binary) << text;
      Mark(file, 100, "gas on");
      if (gap) {
        Mark(file, 200, "connection lost");
        Mark(file, 230, "reconnected after 30 s");
      }
      Mark(file, 400, "gas off");
      files_.push_back(file);
    }
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  void Mark(const std::string& file, double seconds, const std::string& label) {
    std::string reason;
    ASSERT_TRUE(
        AppendMarker(MarkerFilePath(file), acquisition::RecordTimeText(DaysAt(seconds), format_), label, reason))
        << reason;
  }

  std::string WriteLimits(const std::string& text) {
    const std::string path = (folder_ / "limits.ini").string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  acquisition::PlainRegionalFormat format_;
  std::filesystem::path folder_;
  std::vector<std::string> files_;
};

// Each file's rows in the batch are its figures alone, behind a file column; one header per section.
TEST_F(BatchAnalyzeTest, SeveralFilesGiveARowPerFileAndPerMarkerBehindAFileColumn) {
  const Output batch = Analyze({files_[0], files_[1], files_[2], "--csv"});
  ASSERT_EQ(batch.status, 0) << batch.err;
  const std::vector<Rows> sections = Sections(batch.out);
  ASSERT_EQ(sections.size(), 3u) << batch.out;
  EXPECT_EQ(sections[0][0],
            (std::vector<std::string>{"file", "serial_number", "firmware", "first_time", "last_time", "count", "mean",
                                      "sd", "min", "max", "peak_to_peak", "drift_per_hour"}));
  EXPECT_EQ(sections[1][0], (std::vector<std::string>{"file", "marker_time", "label", "level_before", "level_after",
                                                      "T10_s", "T50_s", "T90_s", "settled"}));
  EXPECT_EQ(sections[2][0], (std::vector<std::string>{"file", "gap_start", "gap_s"}));
  ASSERT_EQ(sections[0].size(), 4u);
  ASSERT_EQ(sections[1].size(), 7u);
  EXPECT_EQ(sections[2], (Rows{sections[2][0], {files_[2], "2026-03-14 08:03:20", "30.0"}}));

  for (size_t f = 0; f < files_.size(); ++f) {
    SCOPED_TRACE(files_[f]);
    const Output alone = Analyze({files_[f], "--csv"});
    ASSERT_EQ(alone.status, 0) << alone.err;
    const std::vector<Rows> own = Sections(alone.out);
    const std::vector<std::string>& summary = sections[0][f + 1];
    ASSERT_EQ(summary.size(), 12u);
    EXPECT_EQ(summary[0], files_[f]);
    EXPECT_EQ(summary[1], "10234" + std::to_string(5 + f));
    EXPECT_EQ(summary[2], "QRN-2.14");
    EXPECT_EQ(summary[3], "2026-03-14 08:00:00");
    EXPECT_EQ(summary[4], "2026-03-14 08:11:39");
    // count .. drift_per_hour: the Conc row of the file alone.
    EXPECT_EQ(std::vector<std::string>(summary.begin() + 5, summary.end()),
              std::vector<std::string>(own[0][1].begin() + 1, own[0][1].end()));
    for (size_t s = 0; s < 2; ++s) {
      std::vector<std::string> expected = own[1][s + 1];
      expected.insert(expected.begin(), files_[f]);
      EXPECT_EQ(sections[1][1 + 2 * f + s], expected);
    }
  }
  EXPECT_EQ(sections[0][1][5], "700");
  EXPECT_EQ(sections[0][3][5], "671") << "the 29 records of the gap are missing";

  // The table: the same rows, one header per section.
  const Output table = Analyze({files_[0], files_[1], files_[2]});
  ASSERT_EQ(table.status, 0) << table.err;
  const std::vector<std::string> lines = Split(table.out, '\n');
  ASSERT_EQ(lines.size(), 4u + 1 + 7 + 1 + 2) << table.out;
  EXPECT_EQ(lines[0].rfind("file", 0), 0u);
  EXPECT_EQ(lines[5].rfind("file", 0), 0u);
  EXPECT_EQ(lines[13].rfind("file", 0), 0u);
  EXPECT_EQ(lines[1].rfind(files_[0], 0), 0u);
  EXPECT_NE(lines[6].find("gas on"), std::string::npos);
}

// The slow sensor fails on T90, the noisy one on the deviation of its settled level: each verdict says which
// limit and after which marker, and the status says that some file failed.
TEST_F(BatchAnalyzeTest, LimitsGiveAVerdictPerRowAndStatusThreeWhenAFileFails) {
  const std::string limits = WriteLimits(
      "# the batch's acceptance\n"
      "drift_per_hour_max = 10000\n"
      "T90_max_s = 30\n"
      "[marker gas on]\n"
      "sd_max = 10\n"
      "level_after_min = 1350\n"
      "level_after_max = 1450\n");
  const Output judged = Analyze({files_[0], files_[1], files_[2], "--limits", limits, "--csv"});
  EXPECT_EQ(judged.status, 3) << judged.err;
  const std::vector<Rows> sections = Sections(judged.out);
  ASSERT_EQ(sections.size(), 3u) << judged.out;
  EXPECT_EQ(sections[0][0].back(), "verdict");
  EXPECT_EQ(sections[1][0].back(), "verdict");
  EXPECT_EQ(sections[2][0].back(), "gap_s") << "gaps are not judged";
  ASSERT_EQ(sections[0].size(), 4u);
  EXPECT_EQ(sections[0][1].back(), "PASS");
  // tau 25 s: T90 about 58 s, after both markers.
  EXPECT_EQ(sections[0][2].back(), "FAIL: T90_max_s (gas on); T90_max_s (gas off)");
  EXPECT_EQ(sections[0][3].back(), "FAIL: sd_max (gas on)");
  ASSERT_EQ(sections[1].size(), 7u);
  const std::vector<std::string> stepVerdicts = {"PASS",         "PASS", "FAIL: T90_max_s", "FAIL: T90_max_s",
                                                 "FAIL: sd_max", "PASS"};
  for (size_t r = 0; r < stepVerdicts.size(); ++r) EXPECT_EQ(sections[1][r + 1].back(), stepVerdicts[r]) << r;

  // One file within its limits: the batch layout without a file column, status 0.
  const Output one = Analyze({files_[0], "--limits", limits, "--csv"});
  EXPECT_EQ(one.status, 0) << one.err;
  const std::vector<Rows> oneSections = Sections(one.out);
  EXPECT_EQ(oneSections[0][0].front(), "serial_number");
  EXPECT_EQ(oneSections[0][1].back(), "PASS");

  // A section whose label no file has is a warning, not a failure.
  const std::string typo = WriteLimits("[marker gas onn]\nT90_max_s = 1\n");
  const Output warned = Analyze({files_[0], "--limits", typo});
  EXPECT_EQ(warned.status, 0) << warned.err;
  EXPECT_NE(warned.err.find("warning: " + files_[0] + ": no gas marker \"gas onn\""), std::string::npos) << warned.err;
}

TEST_F(BatchAnalyzeTest, ABadLimitsFileIsOneLineNamingItsLine) {
  struct Case {
    std::string text;
    std::string err;
  };
  const std::string path = (folder_ / "limits.ini").string();
  const std::vector<Case> cases = {
      {"sd_max = 5\n\nsd_maks = 3\n", path + " line 3: unknown key \"sd_maks\""},
      {"[marker gas on]\nT90_max_s = -4\n", path + " line 2: bad value for T90_max_s (seconds above 0): \"-4\""},
  };
  for (const Case& c : cases) {
    WriteLimits(c.text);
    const Output result = Analyze({files_[0], files_[1], "--limits", path});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("quarn-analyze: " + c.err, 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
  const Output missing = Analyze({files_[0], "--limits", (folder_ / "none.ini").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err.rfind("quarn-analyze: " + (folder_ / "none.ini").string() + ": ", 0), 0u) << missing.err;
  const Output twice = Analyze({files_[0], "--limits", path, "--limits", path});
  EXPECT_EQ(twice.status, 2);
  // A file of the batch that cannot be read stops the batch: nothing is printed.
  const Output unreadable = Analyze({files_[0], (folder_ / "missing.txt").string()});
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_EQ(unreadable.out, "");
}

}  // namespace
}  // namespace quarn::analysis
