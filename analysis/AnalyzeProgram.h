#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "analysis/EvaluationReport.h"
#include "datafile/DataFileReader.h"

namespace quarn::analysis {

// quarn-analyze FILE... [--limits L] [--from T] [--to T] [--window S] [--hold N] [--csv] [--report OUT]: the statistics
// of a data file's records and, when the marker file beside it exists, the response times after its markers; for
// several files, or judged against limits, a row per file and one per file and marker (BatchReport); as an
// aligned table, or as CSV (docs/analyze.md). Returns the exit status: 0, 1 for a file that cannot be read, 2
// for bad options or a bad limits file, 3 when a file fails its limits, 4 when standard output fails, 5 when the
// report (--report) cannot be written; every
// failure is one line on err. locale gives the user's date order and month names, which the
// data file, the marker file and --from/--to are read with.
// Writes an evaluation report of the sections to a file (--report); nothing on success, otherwise why not. A
// build without one refuses --report.
using ReportWriter =
    std::function<std::optional<std::string>(const std::string& path, const std::vector<ReportSection>& sections)>;

int RunAnalyze(const std::vector<std::string>& args, const datafile::ReadOptions& locale, std::ostream& out,
               std::ostream& err, const ReportWriter& writeReport = {});

std::string AnalyzeUsage();

// How the system's locale writes short dates, for reading a data file written on this machine.
datafile::DateOrder SystemDateOrder();
// The month names the system's locale writes, for dates that name the month.
void SetSystemMonthNames(datafile::ReadOptions& options);

}  // namespace quarn::analysis
