#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QLocale>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis/Gaps.h"
#include "report/ReportPdf.h"
#include "report/tests/ReportFixture.h"

namespace quarn::report {
namespace {

using testing::CsvRows;
using testing::PdfText;
using testing::Quoted;
using testing::RecordedRun;
using testing::RunCommand;

const std::string kAnalyze = QUARN_ANALYZE_PATH;

// Whether every cell of the row appears in the text in order, on one line, blanks between.
bool HoldsRowInOrder(const std::string& text, const std::vector<std::string>& cells) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    size_t at = 0;
    bool all = true;
    for (const std::string& cell : cells) {
      if (cell.empty()) continue;
      at = line.find(cell, at);
      if (at == std::string::npos) {
        all = false;
        break;
      }
      at += cell.size();
    }
    if (all) return true;
  }
  return false;
}

// The report of a recorded run with two markers and a calibration line holds what the command line computes:
// the text is searchable, the digest is the file's, the statistics and the response times those of --csv.
TEST(ReportTest, TheCommandLinesReportHoldsItsNumbers) {
  const RecordedRun run("command-line");
  const std::string pdf = (run.Folder() / "report.pdf").string();
  const testing::CommandResult written =
      RunCommand("LC_ALL=C " + kAnalyze + " " + Quoted(run.DataFile()) + " --report " + Quoted(pdf) + " 2>&1");
  ASSERT_EQ(written.status, 0) << written.out;
  const std::string text = PdfText(pdf);
  const std::string csv = RunCommand("LC_ALL=C " + kAnalyze + " --csv " + Quoted(run.DataFile())).out;
  const std::string digest = RunCommand("sha256sum " + Quoted(run.DataFile())).out.substr(0, 64);

  const std::vector<std::vector<std::string>> facts = {
      {"Serial number", "102345"},
      {"Firmware", "QRN-2.14"},
      {"Port", "COM7"},
      {"Data file", "102345(QRN-2.14) 14-3-2026 8%0.txt"},
      {"Size", std::to_string(std::filesystem::file_size(run.DataFile())) + " bytes"},
      {"SHA-256", digest},
      {"First record", "2026-03-14 08:00:00"},
      {"Last record", "2026-03-14 08:11:39"},
      {"Interval", "1.0 s"},
      {"Program", std::string("quarn ") + QUARN_VERSION},
  };
  for (const auto& fact : facts) EXPECT_TRUE(HoldsRowInOrder(text, fact)) << fact[0] << ":\n" << text;

  // The statistics: all five series, every figure as --csv gives it; the response times per marker.
  const auto rows = CsvRows(csv);
  size_t statistics = 0;
  size_t steps = 0;
  bool inSteps = false;
  for (const auto& row : rows) {
    if (row.empty() || row[0] == "series") continue;
    if (row[0] == "marker_time") {
      inSteps = true;
      continue;
    }
    if (row[0] == "gap_start") break;
    EXPECT_TRUE(HoldsRowInOrder(text, row)) << "row " << row[0] << " not in the report:\n" << text;
    (inSteps ? steps : statistics) += 1;
    if (inSteps) {
      ASSERT_EQ(row.size(), 8u);
      EXPECT_FALSE(row[6].empty()) << "T90 of " << row[1];
    }
  }
  EXPECT_EQ(statistics, 5u);
  EXPECT_EQ(steps, 2u);

  // The calibration log: this sensor's line, not the other sensor's.
  EXPECT_TRUE(HoldsRowInOrder(text, {"span", "2000", "1990 / 2003 / 2001 / 2000", "40", "CALIBRATION OK", "1.3"}))
      << text;
  EXPECT_EQ(text.find("877001"), std::string::npos);

  // The chart is drawn, not pasted: no picture in the file, and the page renders.
  EXPECT_EQ(RunCommand("pdfimages -list " + Quoted(pdf) + " | tail -n +3 | wc -l").out, "0\n");
  const testing::CommandResult rendered =
      RunCommand("pdftoppm -png -r 60 -f 1 -l 1 " + Quoted(pdf) + " " + Quoted((run.Folder() / "page").string()));
  EXPECT_EQ(rendered.status, 0);
  EXPECT_GT(std::filesystem::file_size(run.Folder() / "page-1.png"), 10000u);
}

TEST(ReportTest, LimitsGiveAVerdictPerLimit) {
  const RecordedRun run("limits");
  const std::string limits = (run.Folder() / "limits.ini").string();
  std::ofstream(limits) << "sd_max = 1000\nT90_max_s = 30\n[marker gas on 1400 ppm]\nlevel_after_min = 1390\n";
  const std::string pdf = (run.Folder() / "report.pdf").string();
  const testing::CommandResult written = RunCommand(kAnalyze + " " + Quoted(run.DataFile()) + " --limits " +
                                                    Quoted(limits) + " --report " + Quoted(pdf) + " 2>&1");
  // The step down takes longer than 30 s to 90 %: that step fails its T90, so the file fails.
  EXPECT_EQ(written.status, 3) << written.out;
  const std::string text = PdfText(pdf);
  EXPECT_NE(text.find("Verdict: FAIL: T90_max_s (gas off)"), std::string::npos) << text;
  EXPECT_TRUE(HoldsRowInOrder(text, {"whole file", "sd_max", "1000.00", "PASS"})) << text;
  EXPECT_TRUE(HoldsRowInOrder(text, {"gas on 1400 ppm", "T90_max_s", "30.00", "PASS"})) << text;
  EXPECT_TRUE(HoldsRowInOrder(text, {"gas on 1400 ppm", "level_after_min", "1390.00", "PASS"})) << text;
  EXPECT_TRUE(HoldsRowInOrder(text, {"gas off", "T90_max_s", "30.00", "FAIL"})) << text;
}

// A report that cannot be written says so in one line with status 5, and leaves no file behind, nor touches
// what is in its place.
TEST(ReportTest, AnUnwritableReportFailsWithoutAFile) {
  const RecordedRun run("unwritable");
  const std::filesystem::path folderInTheWay = run.Folder() / "taken.pdf";
  std::filesystem::create_directories(folderInTheWay);
  for (const std::filesystem::path& target : {run.Folder() / "missing" / "report.pdf", folderInTheWay}) {
    const testing::CommandResult written = RunCommand(kAnalyze + " " + Quoted(run.DataFile()) + " --report " +
                                                      Quoted(target.string()) + " 2>&1 >/dev/null");
    EXPECT_EQ(written.status, 5) << target;
    EXPECT_EQ(written.out.rfind("quarn-analyze: " + target.string() + ": ", 0), 0u) << written.out;
    EXPECT_EQ(std::count(written.out.begin(), written.out.end(), '\n'), 1) << written.out;
  }
  EXPECT_TRUE(std::filesystem::is_directory(folderInTheWay));
  EXPECT_FALSE(std::filesystem::exists(run.Folder() / "missing"));
  // Nothing half-written beside the data file either.
  for (const auto& entry : std::filesystem::directory_iterator(run.Folder())) {
    if (entry.path() != folderInTheWay) {
      EXPECT_NE(entry.path().extension(), ".pdf") << entry.path();
    }
  }
}

// A sparse run (fewer records than the chart has columns) is drawn as a line from record to record, except
// across a gap, where the sensor was away.
TEST(ReportTest, TheChartJoinsSparseRecordsButNotAcrossAGap) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "quarn-report-sparse";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string data = (folder / "102345(QRN-2.14) 14-3-2026 8%0.txt").string();
  const acquisition::PlainRegionalFormat format;
  std::string text = acquisition::HeaderBlock("7", "102345", "QRN-2.14");
  // Every 2 s for 120 s, none between 40 s and 80 s.
  for (const acquisition::MeasurementRecord& r :
       analysis::testing::SyntheticRun(2, 120, [](double t) { return 400 + t; })) {
    const double seconds = (r.DT - analysis::testing::StartDays()) * analysis::kSecondsPerDay;
    if (seconds <= 40.5 || seconds >= 79.5) text += acquisition::DataLine(r, format);
  }
  std::ofstream(data, std::ios::binary) << text;
  std::string reason;
  for (const auto& [seconds, label] : {std::pair{40.0, std::string(analysis::kConnectionLostLabel)},
                                       std::pair{80.0, analysis::ReconnectedLabel(40)}}) {
    ASSERT_TRUE(analysis::AppendMarker(analysis::MarkerFilePath(data),
                                       acquisition::RecordTimeText(analysis::testing::DaysAt(seconds), format), label,
                                       reason));
  }
  const std::string pdf = (folder / "report.pdf").string();
  ASSERT_EQ(RunCommand(kAnalyze + " " + Quoted(data) + " --report " + Quoted(pdf) + " 2>&1").status, 0);
  // At 72 pixels per inch a pixel is a point: the chart's time axis runs from 94 pt (margin and labels) over
  // the width of the page's printable area less the labels.
  ASSERT_EQ(
      RunCommand("pdftoppm -png -r 72 -f 1 -l 1 -singlefile " + Quoted(pdf) + " " + Quoted((folder / "page").string()))
          .status,
      0);
  const QImage page(QString::fromStdString((folder / "page.png").string()));
  ASSERT_FALSE(page.isNull());
  const double left = 42 + 52;
  const double width = page.width() - 84 - 52;
  // The Conc line's blue, in the columns from..to (seconds of the run, which spans 0 to 118 s).
  const auto bluePixels = [&](double from, double to) {
    int count = 0;
    for (int x = int(left + width * from / 118) + 2; x < int(left + width * to / 118) - 2; ++x) {
      for (int y = 0; y < page.height() / 2; ++y) {
        const QColor c = page.pixelColor(x, y);
        if (c.blue() > 150 && c.red() < 90 && c.green() < 150) ++count;
      }
    }
    return count;
  };
  EXPECT_GT(bluePixels(2, 38), 30);
  EXPECT_GT(bluePixels(82, 116), 30);
  EXPECT_EQ(bluePixels(42, 78), 0);
  std::filesystem::remove_all(folder);
}

TEST(ReportTest, PageSizeFollowsTheLocale) {
  const std::pair<const char*, QPageSize::PageSizeId> cases[] = {
      {"en_US", QPageSize::Letter}, {"en_CA", QPageSize::Letter}, {"es_MX", QPageSize::Letter},
      {"de_DE", QPageSize::A4},     {"en_GB", QPageSize::A4},     {"ja_JP", QPageSize::A4},
  };
  for (const auto& [name, size] : cases) EXPECT_EQ(PageSizeFor(QLocale(name)).id(), size) << name;
}

}  // namespace
}  // namespace quarn::report
