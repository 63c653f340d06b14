#include "Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/Gaps.h"

namespace quarn::analysis {

namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string result = text;
  // No "-0.00": a figure that rounds to zero has no sign.
  if (result.front() == '-' && result.find_first_not_of("-0.") == std::string::npos) result.erase(0, 1);
  return result;
}

std::string Fixed(const std::optional<double>& value, int decimals) {
  return value ? Fixed(*value, decimals) : std::string();
}

size_t Utf8Length(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

constexpr const char* kNotReached = "not reached";

bool LooksNumeric(const std::string& text) {
  return !text.empty() && text.find_first_not_of("-0123456789.") == std::string::npos;
}

}  // namespace

const Row& StatisticsHeader() {
  static const Row header = {"series", "count", "mean", "sd", "min", "max", "peak_to_peak", "drift_per_hour"};
  return header;
}

const Row& ResponseHeader() {
  static const Row header = {"marker_time", "label", "level_before", "level_after",
                             "T10_s",       "T50_s", "T90_s",        "settled"};
  return header;
}

Row StatisticsRow(size_t series, const SeriesStatistics& s) {
  const bool any = s.count > 0;
  return {std::string(kSeriesNames[series]), std::to_string(s.count),
          any ? Fixed(s.mean, 2) : "",       Fixed(s.sd, 3),
          any ? Fixed(s.min, 0) : "",        any ? Fixed(s.max, 0) : "",
          any ? Fixed(s.peakToPeak, 0) : "", Fixed(s.driftPerHour, 3)};
}

Row ResponseRow(const StepResponse& step) {
  Row row = {step.marker.timeText, step.marker.label, Fixed(step.levelBefore, 2), Fixed(step.levelAfter, 2)};
  for (const std::optional<double>& seconds : step.crossingSeconds) row.push_back(Fixed(seconds, 2));
  row.push_back(step.settling == Settling::Settled ? "yes" : "no");
  return row;
}

std::string CsvLine(const Row& cells) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += ',';
    const std::string& cell = cells[i];
    if (cell.find_first_of(",\"\r\n") == std::string::npos) {
      line += cell;
      continue;
    }
    line += '"';
    for (char c : cell) {
      if (c == '"') line += '"';
      line += c;
    }
    line += '"';
  }
  return line + "\n";
}

std::string AlignedTable(const std::vector<Row>& rows) {
  std::vector<size_t> widths;
  // A column is numeric when its cells below the header are numbers or empty: it is aligned right, header too.
  std::vector<bool> numeric;
  for (size_t r = 0; r < rows.size(); ++r) {
    const Row& row = rows[r];
    if (widths.size() < row.size()) {
      widths.resize(row.size(), 0);
      numeric.resize(row.size(), true);
    }
    for (size_t c = 0; c < row.size(); ++c) {
      widths[c] = std::max(widths[c], Utf8Length(row[c]));
      if (r > 0 && !row[c].empty() && !LooksNumeric(row[c]) && row[c] != kNotReached) numeric[c] = false;
    }
  }
  std::string table;
  for (const Row& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      const std::string padding(widths[c] - Utf8Length(row[c]), ' ');
      if (c > 0) line += "  ";
      line += numeric[c] ? padding + row[c] : row[c] + padding;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    table += line + "\n";
  }
  return table;
}

std::string CsvReport(const RangeStatistics& statistics, const std::vector<StepResponse>& steps,
                      const std::vector<Row>& gapRows) {
  std::string text = CsvLine(StatisticsHeader());
  for (size_t k = 0; k < kSeriesCount; ++k) text += CsvLine(StatisticsRow(k, statistics.series[k]));
  text += "\n";
  text += CsvLine(ResponseHeader());
  for (const StepResponse& step : steps) text += CsvLine(ResponseRow(step));
  text += "\n";
  text += CsvLine(GapHeader());
  for (const Row& row : gapRows) text += CsvLine(row);
  return text;
}

}  // namespace quarn::analysis
