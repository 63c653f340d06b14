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
#include "analysis/Gaps.h"
#include "analysis/MarkerFile.h"
#include "analysis/Report.h"
#include "analysis/ResponseTimes.h"
#include "analysis/Statistics.h"
#include "analysis/TimeText.h"
#include "datafile/DataFileReader.h"

namespace quarn::analysis {

namespace {

constexpr int kBadFile = 1;
constexpr int kBadOptions = 2;
constexpr int kOutputFailed = 3;
constexpr const char* kProgram = "quarn-analyze: ";

struct Options {
  std::string file;
  std::optional<std::string> from;
  std::optional<std::string> to;
  ResponseSettings response;
  bool csv = false;
  bool help = false;
  bool version = false;
  std::optional<size_t> run;  // 1-based; nothing: every run of the file
  std::optional<datafile::DateOrder> dateOrder;
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
                        arg == "--date-order";
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
    if (!options.file.empty()) {
      error = "more than one file: " + options.file + " and " + arg;
      return std::nullopt;
    }
    options.file = arg;
  }
  if (options.file.empty()) {
    error = "no data file given (see --help)";
    return std::nullopt;
  }
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

bool InTimeOrder(const RecordSource& source) {
  bool ordered = true;
  double previous = -std::numeric_limits<double>::infinity();
  source.Visit(0, source.Count(), [&](std::span<const acquisition::MeasurementRecord> records) {
    for (const acquisition::MeasurementRecord& r : records) {
      if (r.DT < previous) ordered = false;
      previous = r.DT;
    }
  });
  return ordered;
}

}  // namespace

std::string AnalyzeUsage() {
  return "usage: quarn-analyze FILE [--run N] [--from T] [--to T] [--window S] [--hold N] [--date-order O] [--csv]\n"
         "       quarn-analyze --help | --version\n"
         "Statistics of the five series (Conc, St, Temp, Um, Ur) of a data file and, when FILE.marks.tsv exists,\n"
         "the response times after its gas markers.\n"
         "  --from T, --to T  only records from / up to time T (both included): the data file's time text\n"
         "                    (\"05.09.2013 14:03:07\") or ISO-8601 (2013-09-05T14:03:07)\n"
         "  --window S        seconds over which the levels before and after a step are averaged (default 60)\n"
         "  --hold N          samples a crossing must hold to count (default 3)\n"
         "  --run N           only the Nth run of the file (its Nth header block); runs started in the same\n"
         "                    minute share a file, and without --run all of them are analysed together\n"
         "  --date-order O    read the file's dates as dmy, mdy or ymd where neither its dates nor its name settle it\n"
         "  --csv             CSV instead of a table: the statistics, an empty line, the response times\n"
         "Exit status: 0 done, 1 the file cannot be read, 2 bad options, 3 standard output failed.\n"
         "The columns, the CSV layout and the marker file: man quarn-analyze.\n";
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
               std::ostream& err) {
  std::string error;
  const std::optional<Options> parsed = ParseOptions(args, error);
  if (!parsed) {
    err << kProgram << error << "\n";
    return kBadOptions;
  }
  const Options& options = *parsed;
  if (options.help) return Emit(out, err, AnalyzeUsage()) ? 0 : kOutputFailed;
  if (options.version) return Emit(out, err, std::string("quarn-analyze ") + QUARN_VERSION + "\n") ? 0 : kOutputFailed;

  acquisition::MeasurementStore store;
  datafile::ReadResult read;
  const datafile::MonthNames monthNames = datafile::MonthNamesOf(locale);
  try {
    datafile::ReadOptions reading = locale;
    reading.chosenOrder = options.dateOrder;
    read = datafile::ReadDataFile(options.file, reading, store);
  } catch (const std::exception& e) {
    err << kProgram << options.file << ": " << e.what() << "\n";
    return kBadFile;
  }
  // Lines there were, but none read as a record: nothing to analyse is no result either.
  if (read.records == 0 && read.skippedLines > 0) {
    err << kProgram << options.file << ": no data line reads; " << datafile::SkippedLinesText(read) << "\n";
    return kBadFile;
  }
  if (read.skippedLines > 0) err << kProgram << "warning: " << datafile::SkippedLinesText(read) << "\n";
  // Runs started in the same minute share one file; each begins with its header block.
  if (options.run && *options.run > read.runs.size()) {
    err << kProgram << "--run " << *options.run << ": " << options.file << " holds " << read.runs.size()
        << (read.runs.size() == 1 ? " run" : " runs") << "\n";
    return kBadOptions;
  }
  if (!options.run && read.runs.size() > 1) {
    err << kProgram << "note: " << options.file << " holds " << read.runs.size() << " runs (header blocks at lines";
    for (const datafile::Run& run : read.runs) err << " " << run.headerLine;
    err << "); all are analysed together, --run N takes one\n";
  }
  if (!read.dateOrderSettledByFile && read.records > 0)
    err << kProgram << "warning: " << read.dateReading << "; --date-order dmy|mdy|ymd chooses\n";

  // The range: records between --from and --to, both included.
  double fromDays = -std::numeric_limits<double>::infinity();
  double toDays = std::numeric_limits<double>::infinity();
  for (const auto& [name, text, days] :
       {std::tuple{"--from", options.from, &fromDays}, std::tuple{"--to", options.to, &toDays}}) {
    if (!text) continue;
    const std::optional<double> value = ParseTimeText(*text, read.dateOrder, monthNames, read.latestYear);
    if (!value) {
      err << kProgram << "bad time for " << name << ": \"" << *text << "\" (the data file's time text, "
          << datafile::DateOrderName(read.dateOrder) << ", or ISO-8601 such as 2013-09-05T14:03:07)\n";
      return kBadOptions;
    }
    // Local wall clock; in an hour the clock repeats, the range takes in both of its instants.
    const acquisition::UtcInstants instants = acquisition::UtcFromLocal(*value);
    *days = days == &toDays && instants.second ? *instants.second : instants.first;
  }
  if (fromDays > toDays) {
    err << kProgram << "--from lies after --to\n";
    return kBadOptions;
  }

  // Records out of time order (a clock set back) are picked one by one; otherwise the range is one stretch.
  std::vector<acquisition::MeasurementRecord> picked;
  const StoreRecords stored(store);
  // One run of the file: its records alone.
  std::vector<acquisition::MeasurementRecord> runRecords;
  if (options.run) {
    const datafile::Run& run = read.runs[*options.run - 1];
    stored.Visit(run.firstRecord, run.firstRecord + run.recordCount,
                 [&](std::span<const acquisition::MeasurementRecord> records) {
                   runRecords.insert(runRecords.end(), records.begin(), records.end());
                 });
  }
  const SpanRecords runSource(runRecords);
  const RecordSource& all = options.run ? static_cast<const RecordSource&>(runSource) : stored;
  size_t first = 0;
  size_t last = all.Count();
  const bool ordered = InTimeOrder(all);
  if (ordered) {
    std::tie(first, last) = IndexRange(all, fromDays, toDays);
  } else {
    all.Visit(0, all.Count(), [&](std::span<const acquisition::MeasurementRecord> records) {
      for (const acquisition::MeasurementRecord& r : records) {
        if (r.DT >= fromDays && r.DT <= toDays) picked.push_back(r);
      }
    });
  }
  const SpanRecords pickedSource(picked);
  const RecordSource& source = ordered ? all : static_cast<const RecordSource&>(pickedSource);
  if (!ordered) last = picked.size();
  const RangeStatistics statistics = ComputeStatistics(source, first, last);

  // Markers within the range, from the marker file beside the data file.
  std::vector<Marker> markers;
  const std::string markerPath = MarkerFilePath(options.file);
  try {
    const MarkerFileContents contents = ReadMarkerFile(markerPath);
    for (const std::string& bad : contents.badLines) err << kProgram << "warning: " << markerPath << " " << bad << "\n";
    MarkerInstants instants;
    if (store.Count() > 0) instants = MarkerInstants(store.At(0).DT, store.At(store.Count() - 1).DT);
    for (const MarkerEntry& entry : contents.entries) {
      std::optional<double> time = ParseTimeText(entry.timeText, read.dateOrder, monthNames, read.latestYear);
      if (time) time = instants.Of(*time);
      if (!time) {
        err << kProgram << "warning: " << markerPath << " line " << entry.line << ": time \"" << entry.timeText
            << "\" does not read\n";
        continue;
      }
      // With --run, markers of the other runs stay out too.
      const bool inRun =
          !options.run || (!runRecords.empty() && *time >= runRecords.front().DT && *time <= runRecords.back().DT);
      if (*time >= fromDays && *time <= toDays && inRun) markers.push_back({*time, entry.label, entry.timeText});
    }
  } catch (const std::exception& e) {
    err << kProgram << "warning: " << markerPath << " cannot be read: " << e.what() << "\n";
  }
  // The recorder's gap markers say where records are missing; the steps are those of the gas markers.
  std::stable_sort(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) { return a.time < b.time; });
  std::vector<Row> gapRows;
  for (const Gap& gap : GapsOf(markers)) gapRows.push_back(GapRow(gap));
  std::vector<StepResponse> steps;
  if (!markers.empty()) {
    steps = ResponseTimes(RangeRecords(source, first, last), markers, options.response);
  }

  if (options.csv) return Emit(out, err, CsvReport(statistics, steps, gapRows)) ? 0 : kOutputFailed;
  std::vector<Row> rows = {StatisticsHeader()};
  for (size_t k = 0; k < kSeriesCount; ++k) rows.push_back(StatisticsRow(k, statistics.series[k]));
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
  return Emit(out, err, text) ? 0 : kOutputFailed;
}

}  // namespace quarn::analysis
