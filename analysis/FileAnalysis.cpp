#include "analysis/FileAnalysis.h"

#include <algorithm>
#include <limits>
#include <ostream>
#include <tuple>

#include "analysis/Gaps.h"
#include "analysis/MarkerFile.h"
#include "analysis/SensorFigures.h"
#include "analysis/TimeText.h"

namespace quarn::analysis {

namespace {

constexpr int kBadFile = 1;
constexpr int kBadOptions = 2;
constexpr const char* kProgram = "quarn-analyze: ";

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

// The records held in result's store: those of the run asked for, and of them those within the range, read
// again for their figures.
RangeStatistics HeldStatistics(const FileAnalysisOptions& options, double fromDays, double toDays,
                               FileAnalysis& result) {
  const acquisition::MeasurementStore& store = *result.store_;
  const datafile::ReadResult& read = result.read;
  // Records out of time order (a clock set back) are picked one by one; otherwise the range is one stretch.
  std::vector<acquisition::MeasurementRecord>& picked = *result.picked_;
  // One run of the file: its records alone.
  std::vector<acquisition::MeasurementRecord>& runRecords = *result.runRecords_;
  if (options.run) {
    const datafile::Run& run = read.runs[*options.run - 1];
    store.ForEach(run.firstRecord, run.firstRecord + run.recordCount,
                  [&](std::span<const acquisition::MeasurementRecord> records) {
                    runRecords.insert(runRecords.end(), records.begin(), records.end());
                  });
    result.allOwner_ = std::make_unique<SpanRecords>(runRecords);
  } else {
    result.allOwner_ = std::make_unique<StoreRecords>(store);
  }
  const RecordSource& all = *result.allOwner_;
  size_t first = 0;
  size_t last = all.Count();
  const bool ordered = InTimeOrder(all);
  if (ordered) {
    std::tie(first, last) = IndexRange(all, fromDays, toDays);
    result.source_ = &all;
  } else {
    all.Visit(0, all.Count(), [&](std::span<const acquisition::MeasurementRecord> records) {
      for (const acquisition::MeasurementRecord& r : records) {
        if (r.DT >= fromDays && r.DT <= toDays) picked.push_back(r);
      }
    });
    result.sourceOwner_ = std::make_unique<SpanRecords>(picked);
    result.source_ = result.sourceOwner_.get();
    last = picked.size();
  }
  return ComputeStatistics(*result.source_, first, last);
}

}  // namespace

std::optional<FileAnalysis> AnalyzeFile(const FileAnalysisOptions& options, const std::string& file,
                                        const datafile::ReadOptions& locale, bool several, std::ostream& err,
                                        int& status) {
  const std::string about = several ? file + ": " : "";
  FileAnalysis result;
  result.store_ = std::make_unique<acquisition::MeasurementStore>();
  result.runRecords_ = std::make_unique<std::vector<acquisition::MeasurementRecord>>();
  result.picked_ = std::make_unique<std::vector<acquisition::MeasurementRecord>>();
  acquisition::MeasurementStore& store = *result.store_;
  datafile::ReadResult& read = result.read;
  const datafile::MonthNames monthNames = datafile::MonthNamesOf(locale);
  // The marker file first: without a gas marker in it, no figure needs a record once it has been counted.
  const std::string markerPath = MarkerFilePath(file);
  std::optional<MarkerFileContents> contents;
  std::string markerError;
  try {
    contents = ReadMarkerFile(markerPath);
  } catch (const std::exception& e) {
    markerError = e.what();
  }
  const bool onePass = !options.holdRecords && !options.from && !options.to && !options.run &&
                       (!contents || std::all_of(contents->entries.begin(), contents->entries.end(),
                                                 [](const MarkerEntry& entry) { return IsGapLabel(entry.label); }));
  RunningStatistics running;
  std::optional<double> firstTime;  // of the first and last record read in one pass
  double lastTime = 0;
  try {
    datafile::ReadOptions reading = locale;
    reading.chosenOrder = options.dateOrder;
    if (onePass) {
      read = datafile::ReadDataFile(file, reading, [&](std::span<const acquisition::MeasurementRecord> records) {
        if (records.empty()) return;
        if (!firstTime) firstTime = records.front().DT;
        lastTime = records.back().DT;
        running.Add(records);
      });
    } else {
      read = datafile::ReadDataFile(file, reading, store);
    }
  } catch (const std::exception& e) {
    err << kProgram << file << ": " << e.what() << "\n";
    status = kBadFile;
    return std::nullopt;
  }
  // Lines there were, but none read as a record: nothing to analyse is no result either.
  if (read.records == 0 && read.skippedLines > 0) {
    err << kProgram << file << ": no data line reads; " << datafile::SkippedLinesText(read) << "\n";
    status = kBadFile;
    return std::nullopt;
  }
  if (read.skippedLines > 0) err << kProgram << "warning: " << about << datafile::SkippedLinesText(read) << "\n";
  // Runs started in the same minute share one file; each begins with its header block.
  if (options.run && *options.run > read.runs.size()) {
    err << kProgram << "--run " << *options.run << ": " << file << " holds " << read.runs.size()
        << (read.runs.size() == 1 ? " run" : " runs") << "\n";
    status = kBadOptions;
    return std::nullopt;
  }
  if (!options.run && read.runs.size() > 1) {
    err << kProgram << "note: " << file << " holds " << read.runs.size() << " runs (header blocks at lines";
    for (const datafile::Run& run : read.runs) err << " " << run.headerLine;
    err << "); all are analysed together, --run N takes one\n";
  }
  if (!read.dateOrderSettledByFile && read.records > 0)
    err << kProgram << "warning: " << about << read.dateReading << "; --date-order dmy|mdy|ymd chooses\n";

  // The range: records between --from and --to, both included.
  double fromDays = -std::numeric_limits<double>::infinity();
  double toDays = std::numeric_limits<double>::infinity();
  for (const auto& [name, text, days] :
       {std::tuple{"--from", options.from, &fromDays}, std::tuple{"--to", options.to, &toDays}}) {
    if (!text) continue;
    const std::optional<double> value = ParseTimeText(*text, read.dateOrder, monthNames, read.latestYear);
    if (!value) {
      err << kProgram << about << "bad time for " << name << ": \"" << *text << "\" (the data file's time text, "
          << datafile::DateOrderName(read.dateOrder) << ", or ISO-8601 such as 2013-09-05T14:03:07)\n";
      status = kBadOptions;
      return std::nullopt;
    }
    // Local wall clock; in an hour the clock repeats, the range takes in both of its instants.
    const acquisition::UtcInstants instants = acquisition::UtcFromLocal(*value);
    *days = days == &toDays && instants.second ? *instants.second : instants.first;
  }
  if (fromDays > toDays) {
    err << kProgram << about << "--from lies after --to\n";
    status = kBadOptions;
    return std::nullopt;
  }

  // Without a range, every record counts in file order, whether in time order or not.
  RangeStatistics statistics;
  if (onePass) {
    result.sourceOwner_ = std::make_unique<SpanRecords>(std::span<const acquisition::MeasurementRecord>());
    result.source_ = result.sourceOwner_.get();
    statistics = running.Result();
  } else {
    statistics = HeldStatistics(options, fromDays, toDays, result);
  }

  // Markers within the range, from the marker file beside the data file.
  std::vector<Marker>& markers = result.markers;
  if (contents) {
    for (const std::string& bad : contents->badLines)
      err << kProgram << "warning: " << markerPath << " " << bad << "\n";
    MarkerInstants instants;
    if (onePass && firstTime) {
      instants = MarkerInstants(*firstTime, lastTime);
    } else if (store.Count() > 0) {
      instants = MarkerInstants(store.At(0).DT, store.At(store.Count() - 1).DT);
    }
    const std::vector<acquisition::MeasurementRecord>& runRecords = *result.runRecords_;
    for (const MarkerEntry& entry : contents->entries) {
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
  } else {
    err << kProgram << "warning: " << markerPath << " cannot be read: " << markerError << "\n";
  }
  // The recorder's gap markers say where records are missing; the steps are those of the gas markers.
  std::stable_sort(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) { return a.time < b.time; });
  result.entry.file = file;
  for (const Gap& gap : GapsOf(markers)) result.entry.gapRows.push_back(GapRow(gap));
  // The sensor the run (or the first run that names one) was recorded from.
  SensorIdentity identity;
  for (size_t r = options.run ? *options.run - 1 : 0; r < read.runs.size(); ++r) {
    identity = {read.runs[r].serialNumber, read.runs[r].firmware};
    if (options.run || !identity.serialNumber.empty()) break;
  }
  result.statistics = statistics;
  if (onePass) {
    // Gap markers alone start no step: the figures are the summary's.
    SensorFigures& figures = result.entry.figures;
    figures.summary.identity = std::move(identity);
    figures.summary.conc = statistics.series[kConcentration];
    if (firstTime) {
      figures.summary.firstTime = *firstTime;
      figures.summary.lastTime = lastTime;
    }
  } else {
    result.entry.figures = FiguresOf(*result.source_, statistics, markers, options.response, std::move(identity));
  }
  return result;
}

}  // namespace quarn::analysis
