#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "datafile/DataFileReader.h"

namespace quarn::analysis {

// quarn-analyze FILE... [--limits L] [--from T] [--to T] [--window S] [--hold N] [--csv]: the statistics of a
// data file's records and, when the marker file beside it exists, the response times after its markers; for
// several files, or judged against limits, a row per file and one per file and marker (BatchReport); as an
// aligned table, or as CSV (docs/analyze.md). Returns the exit status: 0, 1 for a file that cannot be read, 2
// for bad options or a bad limits file, 3 when a file fails its limits, 4 when standard output fails; every
// failure is one line on err. locale gives the user's date order and month names, which the
// data file, the marker file and --from/--to are read with.
int RunAnalyze(const std::vector<std::string>& args, const datafile::ReadOptions& locale, std::ostream& out,
               std::ostream& err);

std::string AnalyzeUsage();

// How the system's locale writes short dates, for reading a data file written on this machine.
datafile::DateOrder SystemDateOrder();
// The month names the system's locale writes, for dates that name the month.
void SetSystemMonthNames(datafile::ReadOptions& options);

}  // namespace quarn::analysis
