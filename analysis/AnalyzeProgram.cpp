#include "AnalyzeProgram.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <ostream>
#include <set>
#ifndef _WIN32
#include <langinfo.h>
#endif

#include "acquisition/SystemRegionalFormat.h"
#include "analysis/BatchReport.h"
#include "analysis/EvaluationReport.h"
#include "analysis/FileAnalysis.h"
#include "analysis/Gaps.h"
#include "analysis/Limits.h"
#include "analysis/MarkerFile.h"
#include "analysis/Report.h"
#include "analysis/ResponseTimes.h"
#include "analysis/SensorFigures.h"
#include "analysis/Statistics.h"
#include "analysis/TimeText.h"
#include "datafile/DataFileReader.h"

namespace quarn::analysis {

namespace {

constexpr int kBadOptions = 2;
constexpr int kLimitsFailed = 3;
constexpr int kOutputFailed = 4;
constexpr const char* kProgram = "quarn-analyze: ";

constexpr int kReportFailed = 5;

struct Options : FileAnalysisOptions {
  std::vector<std::string> files;
  std::optional<std::string> limits;
  std::optional<std::string> report;
  bool csv = false;
  bool help = false;
  bool version = false;
};

bool ParseDouble(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty() && std::isfinite(value);
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  Options options;
  std::set<std::string> given;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return options;
    }
    if (arg == "--version") {
      options.version = true;
      return options;
    }
    const bool valued = arg == "--from" || arg == "--to" || arg == "--window" || arg == "--hold" || arg == "--run" ||
                        arg == "--date-order" || arg == "--limits" || arg == "--report";
    if ((valued || arg == "--csv") && !given.insert(arg).second) {
      error = arg + " is given twice";
      return std::nullopt;
    }
    if (arg == "--csv") {
      options.csv = true;
      continue;
    }
    if (valued) {
      if (i + 1 >= args.size()) {
        error = "missing value after " + arg;
        return std::nullopt;
      }
      const std::string& value = args[++i];
      if (arg == "--from") {
        options.from = value;
      } else if (arg == "--limits") {
        options.limits = value;
      } else if (arg == "--report") {
        options.report = value;
      } else if (arg == "--to") {
        options.to = value;
      } else if (arg == "--window") {
        if (!ParseDouble(value, options.response.windowSeconds) || options.response.windowSeconds <= 0) {
          error = "bad value for --window (seconds above 0): " + value;
          return std::nullopt;
        }
      } else if (arg == "--run") {
        double run = 0;
        if (!ParseDouble(value, run) || run < 1 || run > 1e6 || run != std::floor(run)) {
          error = "bad value for --run (the number of a run in the file, from 1): " + value;
          return std::nullopt;
        }
        options.run = static_cast<size_t>(run);
      } else if (arg == "--date-order") {
        if (value == "dmy") {
          options.dateOrder = datafile::DateOrder::DayMonthYear;
        } else if (value == "mdy") {
          options.dateOrder = datafile::DateOrder::MonthDayYear;
        } else if (value == "ymd") {
          options.dateOrder = datafile::DateOrder::YearMonthDay;
        } else {
          error = "bad value for --date-order (dmy, mdy or ymd): " + value;
          return std::nullopt;
        }
      } else {
        double hold = 0;
        if (!ParseDouble(value, hold) || hold < 1 || hold > 1000 || hold != std::floor(hold)) {
          error = "bad value for --hold (a whole number of samples, 1 to 1000): " + value;
          return std::nullopt;
        }
        options.response.holdSamples = static_cast<int>(hold);
      }
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    }
    if (std::find(options.files.begin(), options.files.end(), arg) != options.files.end()) {
      error = "the file " + arg + " is given twice";
      return std::nullopt;
    }
    options.files.push_back(arg);
  }
  if (options.files.empty()) {
    error = "no data file given (see --help)";
    return std::nullopt;
  }
  // Only the report draws the records; the figures alone are computed as the file is read.
  options.holdRecords = options.report.has_value();
  return options;
}

// Writes the text whole; false, with one line on err, when standard output does not take it.
bool Emit(std::ostream& out, std::ostream& err, const std::string& text) {
  errno = 0;
  out << text << std::flush;
  if (out) return true;
  const int code = errno;
  err << kProgram << "standard output: " << (code ? std::strerror(code) : "write failed") << "\n";
  return false;
}

// The report of a single file without limits: all five series, the response times, the gaps.
std::string SingleFileReport(const FileAnalysis& result, bool csv) {
  const std::vector<StepResponse>& steps = result.entry.figures.steps;
  std::vector<Row> gapRows = result.entry.gapRows;
  if (csv) return CsvReport(result.statistics, steps, gapRows);
  std::vector<Row> rows = {StatisticsHeader()};
  for (size_t k = 0; k < kSeriesCount; ++k) rows.push_back(StatisticsRow(k, result.statistics.series[k]));
  std::string text = AlignedTable(rows);
  if (!steps.empty()) {
    std::vector<Row> stepRows = {ResponseHeader()};
    for (const StepResponse& step : steps) {
      Row row = ResponseRow(step);
      for (size_t c = 2; c < row.size(); ++c) {
        if (row[c].empty()) row[c] = c < 4 ? "-" : "not reached";
      }
      stepRows.push_back(std::move(row));
    }
    text += "\n" + AlignedTable(stepRows);
  }
  if (!gapRows.empty()) {
    gapRows.insert(gapRows.begin(), GapHeader());
    text += "\n" + AlignedTable(gapRows);
  }
  return text;
}

}  // namespace

std::string AnalyzeUsage() {
  return "usage: quarn-analyze FILE... [--limits L] [--run N] [--from T] [--to T] [--window S] [--hold N]\n"
         "                      [--date-order O] [--csv] [--report OUT.pdf]\n"
         "       quarn-analyze --help | --version\n"
         "Statistics of the five series (Conc, St, Temp, Um, Ur) of a data file and, when FILE.marks.tsv exists,\n"
         "the response times after its gas markers. Several files, or --limits: one row per file (serial number,\n"
         "firmware, first and last time, the statistics of Conc), then one row per file and gas marker.\n"
         "  --limits L        judge each file against the acceptance limits of the INI file L and add a verdict\n"
         "                    column (PASS, or FAIL: and the limits not met). Keys, before any section for every\n"
         "                    file and step, or in a [marker LABEL] section for the steps after that label:\n"
         "                    sd_max, drift_per_hour_max, T90_max_s, level_after_min, level_after_max\n"
         "  --from T, --to T  only records from / up to time T (both included): the data file's time text\n"
         "                    (\"05.09.2013 14:03:07\") or ISO-8601 (2013-09-05T14:03:07)\n"
         "  --window S        seconds over which the levels before and after a step are averaged (default 60)\n"
         "  --hold N          samples a crossing must hold to count (default 3)\n"
         "  --run N           only the Nth run of the file (its Nth header block); runs started in the same\n"
         "                    minute share a file, and without --run all of them are analysed together\n"
         "  --date-order O    read the file's dates as dmy, mdy or ymd where neither its dates nor its name settle it\n"
         "  --csv             CSV instead of a table: the statistics, an empty line, the response times, an empty\n"
         "                    line, the gaps; with several files a file column first in each\n"
         "  --report OUT.pdf  also write an evaluation report: per file the sensor's identity, the file's size and\n"
         "                    SHA-256, the chart with its markers, the statistics, the response times, the gaps,\n"
         "                    the lines of calibration.tsv beside it for its serial number, and with --limits\n"
         "                    the verdict per limit; A4 or Letter as the locale uses\n"
         "Exit status: 0 done (and every file within its limits), 1 a file cannot be read, 2 bad options or a bad\n"
         "limits file, 3 a file fails its limits, 4 standard output failed, 5 the report cannot be written.\n"
         "The columns, the CSV layout, the limits file and the marker file: man quarn-analyze.\n";
}

datafile::DateOrder SystemDateOrder() { return datafile::DateOrderOf(acquisition::SystemRegionalFormat()); }

void SetSystemMonthNames([[maybe_unused]] datafile::ReadOptions& options) {
#ifndef _WIN32
  // The names strftime writes under the C library's time locale (UTF-8 there, as the recorder assumes); on
  // Windows its short dates are numbers.
  for (int m = 0; m < 12; ++m) {
    options.shortMonthNames[m] = nl_langinfo(static_cast<nl_item>(ABMON_1 + m));
    options.longMonthNames[m] = nl_langinfo(static_cast<nl_item>(MON_1 + m));
  }
#endif
}

int RunAnalyze(const std::vector<std::string>& args, const datafile::ReadOptions& locale, std::ostream& out,
               std::ostream& err, const ReportWriter& writeReport) {
  std::string error;
  const std::optional<Options> parsed = ParseOptions(args, error);
  if (!parsed) {
    err << kProgram << error << "\n";
    return kBadOptions;
  }
  const Options& options = *parsed;
  if (options.help) return Emit(out, err, AnalyzeUsage()) ? 0 : kOutputFailed;
  if (options.version) return Emit(out, err, std::string("quarn-analyze ") + QUARN_VERSION + "\n") ? 0 : kOutputFailed;

  std::optional<AcceptanceLimits> limits;
  if (options.limits) {
    LimitsReading reading = ReadLimitsFile(*options.limits);
    if (!reading.limits) {
      err << kProgram << *options.limits << (reading.error.line > 0 ? " " : ": ") << reading.error.Text() << "\n";
      return kBadOptions;
    }
    limits = std::move(reading.limits);
  }

  const bool several = options.files.size() > 1;
  if (options.report && !writeReport) {
    err << kProgram << "--report: this build of quarn-analyze writes no reports\n";
    return kBadOptions;
  }

  std::vector<FileAnalysis> results;
  for (const std::string& file : options.files) {
    int status = 0;
    std::optional<FileAnalysis> result = AnalyzeFile(options, file, locale, several, err, status);
    if (!result) return status;
    results.push_back(std::move(*result));
  }
  if (limits) {
    // A section for a label that a file has no step of judges nothing there: worth a word, it may be a typo.
    for (const FileAnalysis& result : results) {
      for (const auto& [label, sectionLimits] : limits->byLabel) {
        const std::vector<StepResponse>& steps = result.entry.figures.steps;
        if (std::none_of(steps.begin(), steps.end(), [&](const StepResponse& s) { return s.marker.label == label; })) {
          err << kProgram << "warning: " << result.entry.file << ": no gas marker \"" << label
              << "\" for the limits of [marker " << label << "]\n";
        }
      }
    }
  }
  // The PDF first: it is what was asked for by name, and the text after it says nothing about it.
  if (options.report) {
    ReportSettings settings;
    settings.programVersion = QUARN_VERSION;
    settings.limits = limits;
    if (options.limits) settings.limitsFile = *options.limits;
    std::vector<ReportSection> sections;
    for (const FileAnalysis& result : results) sections.push_back(ReportSectionOf(result, settings));
    if (const std::optional<std::string> failure = writeReport(*options.report, sections)) {
      err << kProgram << *options.report << ": " << *failure << "\n";
      return kReportFailed;
    }
  }
  if (!several && !limits) return Emit(out, err, SingleFileReport(results.front(), options.csv)) ? 0 : kOutputFailed;

  std::vector<BatchEntry> entries;
  for (FileAnalysis& result : results) entries.push_back(result.entry);
  const BatchReportText report = BatchReport(entries, limits, options.csv);
  if (!Emit(out, err, report.text)) return kOutputFailed;
  return report.anyFailed ? kLimitsFailed : 0;
}

}  // namespace quarn::analysis
