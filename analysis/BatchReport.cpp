#include "BatchReport.h"

#include "analysis/Gaps.h"
#include "analysis/Verdict.h"

namespace quarn::analysis {

namespace {

// The table's texts for figures a step does not have; the CSV leaves them empty.
void FillMissing(Row& row) {
  for (size_t c = 2; c < row.size(); ++c) {
    if (row[c].empty()) row[c] = c < 4 ? "-" : "not reached";
  }
}

}  // namespace

BatchReportText BatchReport(const std::vector<BatchEntry>& entries, const std::optional<AcceptanceLimits>& limits,
                            bool csv) {
  const bool several = entries.size() > 1;
  const auto framed = [&](const std::string& file, Row row, const std::optional<std::string>& verdict) {
    if (several) row.insert(row.begin(), file);
    if (verdict) row.push_back(*verdict);
    return row;
  };
  const std::optional<std::string> verdictHeader = limits ? std::optional<std::string>("verdict") : std::nullopt;
  std::vector<Row> summaries = {framed("file", SummaryHeader(), verdictHeader)};
  std::vector<Row> responses = {framed("file", ResponseHeader(), verdictHeader)};
  std::vector<Row> gaps = {framed("file", GapHeader(), std::nullopt)};
  BatchReportText report;
  for (const BatchEntry& entry : entries) {
    std::optional<SensorVerdicts> verdicts;
    if (limits) {
      verdicts = Judge(*limits, entry.figures);
      if (!verdicts->overall.Passed()) report.anyFailed = true;
    }
    summaries.push_back(framed(entry.file, SummaryRow(entry.figures.summary),
                               verdicts ? std::optional(verdicts->overall.Text()) : std::nullopt));
    for (size_t s = 0; s < entry.figures.steps.size(); ++s) {
      Row row = ResponseRow(entry.figures.steps[s]);
      if (!csv) FillMissing(row);
      responses.push_back(
          framed(entry.file, std::move(row), verdicts ? std::optional(verdicts->steps[s].Text()) : std::nullopt));
    }
    for (const Row& gap : entry.gapRows) gaps.push_back(framed(entry.file, gap, std::nullopt));
  }
  if (csv) {
    for (const std::vector<Row>* section : {&summaries, &responses, &gaps}) {
      if (section != &summaries) report.text += "\n";
      for (const Row& row : *section) report.text += CsvLine(row);
    }
    return report;
  }
  report.text = AlignedTable(summaries);
  if (responses.size() > 1) report.text += "\n" + AlignedTable(responses);
  if (gaps.size() > 1) report.text += "\n" + AlignedTable(gaps);
  return report;
}

}  // namespace quarn::analysis
