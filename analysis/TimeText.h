#pragma once

#include <optional>
#include <string_view>
#include <utility>

#include "datafile/DateReading.h"

namespace quarn::analysis {

// The local day number (days since 1899-12-30 on the wall clock; acquisition::UtcFromLocal makes it a record's
// time) of a date-time text (UTF-8) as the data file's first column writes it ("5.9.2013 14:03:07",
// "9/5/13 2:03:07 PM", "10. Dez. 2026 14:03:07", the date alone at midnight) or in ISO 8601
// ("2013-09-05T14:03:07"): read as the data file reader reads its dates (datafile::ReadDateTime), with the
// order, month names and two-digit-year window the data file was read with (datafile::ReadResult).
std::optional<double> ParseTimeText(std::string_view text, datafile::DateOrder order, const datafile::MonthNames& names,
                                    int latestYear = datafile::kDefaultLatestYear);

// The instants (UTC day numbers) of marker times read as local wall clock, in the marker file's order. In an
// hour the clock repeats, the instant within the records' span is taken when only one lies there, otherwise
// the first not before the previous marker's.
class MarkerInstants {
 public:
  MarkerInstants() = default;
  MarkerInstants(double firstRecord, double lastRecord) : span_(std::pair{firstRecord, lastRecord}) {}
  double Of(double localDT);

 private:
  std::optional<std::pair<double, double>> span_;
  std::optional<double> previous_;
};

}  // namespace quarn::analysis
