#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/Limits.h"
#include "analysis/Report.h"
#include "analysis/SensorFigures.h"

namespace quarn::analysis {

// One data file of a batch: its name as given, its figures, and its gaps (GapRow).
struct BatchEntry {
  std::string file;
  SensorFigures figures;
  std::vector<Row> gapRows;
};

struct BatchReportText {
  std::string text;
  bool anyFailed = false;  // some file's verdict is a FAIL
};

// The report of several files, or of one judged against limits: a summary row per file (SummaryHeader), a row
// per file and gas marker (ResponseHeader), a row per file and gap (GapHeader), each section with one header.
// A "file" column comes first when there is more than one entry; with limits a "verdict" column comes last in
// the first two sections (the file's overall verdict, each step's own). As CSV, the three sections one empty
// line apart, every section with its header; as a table, aligned, the response and gap sections only when they
// have rows, with "-" for a missing level and "not reached" for a crossing not reached.
BatchReportText BatchReport(const std::vector<BatchEntry>& entries, const std::optional<AcceptanceLimits>& limits,
                            bool csv);

}  // namespace quarn::analysis
