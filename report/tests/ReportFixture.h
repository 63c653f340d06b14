#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/DataFile.h"
#include "acquisition/RegionalFormat.h"
#include "analysis/MarkerFile.h"
#include "analysis/tests/Synthetic.h"
#include "calibration/CalibrationLog.h"

namespace quarn::report::testing {

// The output of a command (standard output, or both with 2>&1 in it) and its exit status.
struct CommandResult {
  int status = -1;
  std::string out;
};

inline CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The text of a PDF as pdftotext extracts it, each line as laid out on the page.
inline std::string PdfText(const std::string& pdf) { return RunCommand("pdftotext -layout " + Quoted(pdf) + " -").out; }

// A recorded run of sensor 102345 in a folder of its own: 700 s at one record a second with a little noise, a
// gas step up at 100 s and down at 400 s, both marked in the marker file beside it, and a calibration log
// holding a zero step of this sensor and one of another sensor.
class RecordedRun {
 public:
  explicit RecordedRun(const std::string& name) {
    folder_ = std::filesystem::temp_directory_path() / ("quarn-report-" + name);
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    dataFile_ = (folder_ / "102345(QRN-2.14) 14-3-2026 8%0.txt").string();
    const auto conc = [](double t) {
      using analysis::testing::FirstOrderStep;
      return t < 400 ? FirstOrderStep(400, 1400, 100, 10)(t) : FirstOrderStep(1400, 400, 400, 20)(t);
    };
    std::string text = acquisition::HeaderBlock("7", "102345", "QRN-2.14");
    for (const acquisition::MeasurementRecord& r : analysis::testing::SyntheticRun(1, 700, conc, 2.0))
      text += acquisition::DataLine(r, format_);
    std::ofstream(dataFile_, std::ios::binary) << text;
    std::string reason;
    for (const auto& [seconds, label] : {std::pair{100.0, "gas on 1400 ppm"}, std::pair{400.0, "gas off"}}) {
      EXPECT_TRUE(analysis::AppendMarker(analysis::MarkerFilePath(dataFile_),
                                         acquisition::RecordTimeText(analysis::testing::DaysAt(seconds), format_),
                                         label, reason))
          << reason;
    }
    for (const char* serial : {"102345", "877001"}) {
      calibration::CalibrationLogEntry entry;
      entry.time = analysis::testing::DaysAt(-1200);
      entry.serialNumber = serial;
      entry.firmware = "QRN-2.14";
      entry.record = {"span", "2000", {1990, 2003, 2001, 2000}, "40", "CALIBRATION OK"};
      entry.stability = calibration::Stability{1.3, -0.4, true};
      EXPECT_EQ(calibration::AppendCalibrationLog(folder_.string(), entry, format_), std::nullopt);
    }
  }
  ~RecordedRun() { std::filesystem::remove_all(folder_); }

  const std::filesystem::path& Folder() const { return folder_; }
  const std::string& DataFile() const { return dataFile_; }

 private:
  acquisition::PlainRegionalFormat format_;
  std::filesystem::path folder_;
  std::string dataFile_;
};

// CSV text split into rows of cells (the fixture's cells hold no comma).
inline std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::istringstream in(line);
    for (std::string cell; std::getline(in, cell, ',');) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

}  // namespace quarn::report::testing
