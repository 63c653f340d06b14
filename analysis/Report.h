#pragma once

#include <string>
#include <vector>

#include "analysis/ResponseTimes.h"
#include "analysis/Statistics.h"

namespace quarn::analysis {

// The texts of the figures, one set for the command line and the window alike, so both show the same numbers.
// Means, levels and deviations with two decimals (three for the deviation), minimum, maximum and peak-to-peak
// whole (the values are), drift per hour with three decimals, response times in seconds with two; a point
// as the decimal separator. A figure that does not exist is an empty text. Whether the level after a step
// settled is "yes" or "no".
using Row = std::vector<std::string>;

// series,count,mean,sd,min,max,peak_to_peak,drift_per_hour
const Row& StatisticsHeader();
// marker_time,label,level_before,level_after,T10_s,T50_s,T90_s,settled
const Row& ResponseHeader();

Row StatisticsRow(size_t series, const SeriesStatistics& statistics);
Row ResponseRow(const StepResponse& step);

// One CSV line (RFC 4180 quoting where a cell holds a comma, a quote or a line end), ending in LF.
std::string CsvLine(const Row& cells);
// Rows as a table with columns padded to their widest cell (counted in UTF-8 characters), two blanks apart,
// columns of numbers (and their headers; "-" and "not reached" count as numbers) right-aligned; one line each,
// ending in LF.
std::string AlignedTable(const std::vector<Row>& rows);

// The whole CSV report: the statistics, one empty line, the response times, one empty line, the gaps
// (gap_start,gap_s: where the sensor was lost and for how many seconds), each section with its header.
std::string CsvReport(const RangeStatistics& statistics, const std::vector<StepResponse>& steps,
                      const std::vector<Row>& gapRows = {});

}  // namespace quarn::analysis
