#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/FileAnalysis.h"
#include "analysis/Limits.h"
#include "analysis/Report.h"

namespace quarn::analysis {

// What an evaluation report shows of one data file, as texts: the command line and the windows build it from
// the same FileAnalysis, so their reports hold the same numbers. The report library lays it out on pages.

inline constexpr const char* kCalibrationLogFileName = "calibration.tsv";

// The run's five series reduced to columns across the chart: per column the least and greatest value of the
// records in it, so that a week's run draws as fast as a minute's and no peak is lost.
struct ReportChart {
  double fromDays = 0;  // the time span the chart shows (UTC day numbers)
  double toDays = 0;
  struct Column {
    double min = 0;
    double max = 0;
    bool any = false;
  };
  std::array<std::vector<Column>, kSeriesCount> columns;
  std::array<std::pair<double, double>, kSeriesCount> valueRange{};  // least and greatest value shown
  std::vector<Marker> markers;                                       // within the span, gap markers too
  std::vector<std::pair<double, double>> gaps;  // where the sensor was away (days): no line joins across
  size_t records = 0;                           // records within the span
};

struct ReportSection {
  std::string title;  // "Sensor 102345"
  // Name and value, in order: the sensor's identity, the data file, the run's span, the program.
  std::vector<std::pair<std::string, std::string>> facts;
  std::string chartTitle;  // "Chart: the whole run" or the span shown
  ReportChart chart;
  std::vector<Row> statistics;   // StatisticsHeader and a row per series
  std::vector<Row> responses;    // ResponseHeader and a row per gas marker; empty without one
  std::vector<Row> gaps;         // GapHeader and a row per gap; empty without one
  std::vector<Row> calibration;  // a header and a row per line of this serial number; empty without one
  std::string calibrationNote;   // where the lines came from, or why there are none
  std::vector<Row> verdicts;     // a header and a row per limit set; empty without limits
  std::string overallVerdict;    // "PASS" or "FAIL: ..." (Verdict::Text); empty without limits
};

struct ReportSettings {
  std::string programVersion;
  std::optional<AcceptanceLimits> limits;
  std::string limitsFile;  // its name, shown with the verdicts
  // The time span the chart shows (a window's visible range); the records analysed when not set.
  std::optional<std::pair<double, double>> chartSpan;
  size_t chartColumns = 500;
};

ReportSection ReportSectionOf(const FileAnalysis& analysis, const ReportSettings& settings);

// The chart's columns over records first .. last - 1 of source between fromDays and toDays.
ReportChart ChartOf(const RecordSource& source, size_t first, size_t last, double fromDays, double toDays,
                    size_t columns);

// The lines of calibration.tsv (tab-separated, a header naming its columns) for one serial number, as rows
// under their own header: time, step, span_ppm, readings, tolerance, outcome, sd_30s_ppm,
// slope_30s_ppm_per_min. Nothing with a note when the file is missing or holds no such line.
std::vector<Row> CalibrationRows(const std::string& logPath, const std::string& serialNumber, std::string& note);

// The most frequent spacing of consecutive records, in seconds to a tenth ("0.5 s"), or to a hundredth where
// records come more than twenty a second ("0.05 s": frames at the fastest setting); empty below two records.
std::string TypicalInterval(const RecordSource& source, size_t first, size_t last);

}  // namespace quarn::analysis
