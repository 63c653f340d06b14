#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "analysis/BatchReport.h"
#include "analysis/ResponseTimes.h"
#include "analysis/Statistics.h"
#include "datafile/DataFileReader.h"

namespace quarn::analysis {

// Which part of a data file is analysed, and how.
struct FileAnalysisOptions {
  std::optional<std::string> from;  // the data file's time text or ISO-8601; both ends included
  std::optional<std::string> to;
  ResponseSettings response;
  std::optional<size_t> run;  // 1-based; nothing: every run of the file
  std::optional<datafile::DateOrder> dateOrder;
  // Records() holds the records analysed (the evaluation report draws them). Without, a file read without
  // --from/--to and without gas markers is analysed in one pass that keeps none of its records.
  bool holdRecords = true;
};

// A data file read and its figures computed: what quarn-analyze prints and the evaluation report shows.
struct FileAnalysis {
  datafile::ReadResult read;
  RangeStatistics statistics;   // of all five series over the range
  BatchEntry entry;             // the file, its figures (identity, summary, steps) and its gap rows
  std::vector<Marker> markers;  // the markers within the range, gap markers too, in time order
  // The records analysed, in time order: records statistics.first .. statistics.last - 1 of Records(); none
  // when the file was analysed in one pass (FileAnalysisOptions::holdRecords).
  const RecordSource& Records() const { return *source_; }

  // Owners of the records Records() reads; kept apart so that moving the analysis keeps them in place.
  std::unique_ptr<acquisition::MeasurementStore> store_;
  std::unique_ptr<std::vector<acquisition::MeasurementRecord>> runRecords_;
  std::unique_ptr<std::vector<acquisition::MeasurementRecord>> picked_;
  std::unique_ptr<RecordSource> allOwner_;
  std::unique_ptr<RecordSource> sourceOwner_;
  const RecordSource* source_ = nullptr;
};

// Reads a data file and the marker file beside it and computes its figures. Nothing, with one line on err and
// status set (1: the file cannot be read, 2: the options do not fit it), when that fails. Warnings go to err as
// lines of their own, naming the file when several is true. locale gives the date order and month names.
std::optional<FileAnalysis> AnalyzeFile(const FileAnalysisOptions& options, const std::string& file,
                                        const datafile::ReadOptions& locale, bool several, std::ostream& err,
                                        int& status);

}  // namespace quarn::analysis
