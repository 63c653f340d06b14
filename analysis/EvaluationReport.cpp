#include "analysis/EvaluationReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "acquisition/DataFile.h"
#include "analysis/Gaps.h"
#include "analysis/Sha256.h"
#include "analysis/Verdict.h"

namespace quarn::analysis {

namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string TimeText(double DT) {
  const acquisition::PlainRegionalFormat plain;
  return acquisition::LocalDateTimeText(DT, plain);
}

std::string DurationText(double seconds) {
  const auto whole = static_cast<long long>(std::llround(seconds));
  char text[64];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

std::string SizeText(uint64_t bytes) { return std::to_string(bytes) + " bytes"; }

// The distinct non-empty values of one header field over the runs, ", " apart.
std::string RunValues(const std::vector<datafile::Run>& runs, std::string datafile::Run::*field) {
  std::vector<std::string> values;
  for (const datafile::Run& run : runs) {
    const std::string& value = run.*field;
    if (!value.empty() && std::find(values.begin(), values.end(), value) == values.end()) values.push_back(value);
  }
  std::string text;
  for (const std::string& value : values) text += (text.empty() ? "" : ", ") + value;
  return text;
}

std::string Unescaped(const std::string& cell) {
  std::string out;
  for (size_t i = 0; i < cell.size(); ++i) {
    if (cell[i] != '\\' || i + 1 == cell.size()) {
      out += cell[i];
      continue;
    }
    const char next = cell[++i];
    out += next == 't' ? '\t' : next == 'r' ? '\r' : next == 'n' ? '\n' : next;
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> cells;
  std::string cell;
  std::istringstream in(line);
  while (std::getline(in, cell, '\t')) cells.push_back(Unescaped(cell));
  if (!line.empty() && line.back() == '\t') cells.emplace_back();
  return cells;
}

std::string OptionalFixed(const std::optional<double>& value, int decimals) {
  return value ? Fixed(*value, decimals) : std::string("-");
}

void AddLimitRows(std::vector<Row>& rows, const std::string& scope, const Limits& limits, const SeriesStatistics& conc,
                  const StepResponse* step, const Verdict& verdict) {
  const auto add = [&](const char* key, const std::optional<double>& limit, const std::string& measured) {
    if (!limit) return;
    const bool failed = std::find(verdict.failed.begin(), verdict.failed.end(), key) != verdict.failed.end();
    rows.push_back({scope, key, Fixed(*limit, 2), measured, failed ? "FAIL" : "PASS"});
  };
  add("sd_max", limits.sdMax, OptionalFixed(conc.sd, 3));
  add("drift_per_hour_max", limits.driftPerHourMax,
      OptionalFixed(conc.driftPerHour ? std::optional(std::abs(*conc.driftPerHour)) : std::nullopt, 3));
  if (!step) return;
  add("T90_max_s", limits.t90MaxSeconds, OptionalFixed(step->crossingSeconds[2], 2));
  add("level_after_min", limits.levelAfterMin, OptionalFixed(step->levelAfter, 2));
  add("level_after_max", limits.levelAfterMax, OptionalFixed(step->levelAfter, 2));
}

}  // namespace

ReportChart ChartOf(const RecordSource& source, size_t first, size_t last, double fromDays, double toDays,
                    size_t columns) {
  ReportChart chart;
  chart.fromDays = fromDays;
  chart.toDays = toDays;
  columns = std::max<size_t>(columns, 1);
  for (auto& series : chart.columns) series.assign(columns, {});
  const double width = toDays > fromDays ? toDays - fromDays : 1;
  for (auto& range : chart.valueRange) range = {INFINITY, -INFINITY};
  source.Visit(first, last, [&](std::span<const acquisition::MeasurementRecord> records) {
    for (const acquisition::MeasurementRecord& r : records) {
      if (r.DT < fromDays || r.DT > toDays) continue;
      ++chart.records;
      const auto column = std::min(columns - 1, static_cast<size_t>((r.DT - fromDays) / width * double(columns)));
      const SeriesValues values = ValuesOf(r);
      for (size_t k = 0; k < kSeriesCount; ++k) {
        ReportChart::Column& c = chart.columns[k][column];
        c.min = c.any ? std::min(c.min, values[k]) : values[k];
        c.max = c.any ? std::max(c.max, values[k]) : values[k];
        c.any = true;
        chart.valueRange[k].first = std::min(chart.valueRange[k].first, values[k]);
        chart.valueRange[k].second = std::max(chart.valueRange[k].second, values[k]);
      }
    }
  });
  for (auto& range : chart.valueRange) {
    if (range.first > range.second) range = {0, 1};
    // A series that never moved is drawn across the middle of its strip.
    if (range.first == range.second) range = {range.first - 1, range.second + 1};
  }
  return chart;
}

std::string TypicalInterval(const RecordSource& source, size_t first, size_t last) {
  // Spacings in hundredths of a second and how often; read in tenths unless most are under one.
  std::map<long long, size_t> hundredths;
  std::map<long long, size_t> tenths;
  std::optional<double> previous;
  source.Visit(first, last, [&](std::span<const acquisition::MeasurementRecord> records) {
    for (const acquisition::MeasurementRecord& r : records) {
      if (previous) {
        const double seconds = (r.DT - *previous) * kSecondsPerDay;
        ++hundredths[std::llround(seconds * 100)];
        ++tenths[std::llround(seconds * 10)];
      }
      previous = r.DT;
    }
  });
  const auto mostFrequent = [](const std::map<long long, size_t>& counts) {
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
  };
  if (tenths.empty()) return "";
  const long long tenth = mostFrequent(tenths);
  if (tenth > 0) return Fixed(double(tenth) / 10, 1) + " s";
  return Fixed(double(mostFrequent(hundredths)) / 100, 2) + " s";
}

std::vector<Row> CalibrationRows(const std::string& logPath, const std::string& serialNumber, std::string& note) {
  std::ifstream in(logPath, std::ios::binary);
  const std::string name = std::filesystem::path(logPath).filename().string();
  if (!in) {
    note = "No " + name + " beside the data file.";
    return {};
  }
  std::string line;
  std::map<std::string, size_t> column;
  std::vector<Row> rows = {
      {"time", "step", "span_ppm", "readings", "tolerance", "outcome", "sd_30s_ppm", "slope_30s_ppm_per_min"}};
  bool header = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const std::vector<std::string> cells = SplitTabs(line);
    if (header) {
      for (size_t i = 0; i < cells.size(); ++i) column[cells[i]] = i;
      header = false;
      continue;
    }
    const auto cell = [&](const std::string& key) {
      const auto found = column.find(key);
      return found != column.end() && found->second < cells.size() ? cells[found->second] : std::string();
    };
    if (cell("serial") != serialNumber) continue;
    std::string readings;
    for (const char* key : {"reading_1", "reading_2", "reading_3", "reading_4"}) {
      if (!cell(key).empty()) readings += (readings.empty() ? "" : " / ") + cell(key);
    }
    rows.push_back({cell("time"), cell("step"), cell("span_ppm"), readings, cell("tolerance"), cell("outcome"),
                    cell("sd_30s_ppm"), cell("slope_30s_ppm_per_min")});
  }
  if (rows.size() == 1) {
    note = "No line of serial number " + serialNumber + " in " + name + ".";
    return {};
  }
  note = "From " + name + " beside the data file, the lines of serial number " + serialNumber + ".";
  return rows;
}

ReportSection ReportSectionOf(const FileAnalysis& analysis, const ReportSettings& settings) {
  ReportSection section;
  const SensorFigures& figures = analysis.entry.figures;
  const SensorSummary& summary = figures.summary;
  const std::string& file = analysis.entry.file;
  const std::string& serial = summary.identity.serialNumber;
  section.title = "Sensor " + (serial.empty() ? std::string("(no serial number)") : serial);

  auto& facts = section.facts;
  constexpr const char* kNotInFile = "not recorded in the data file";
  facts.push_back({"Serial number", serial.empty() ? kNotInFile : serial});
  facts.push_back({"Firmware", summary.identity.firmware.empty() ? kNotInFile : summary.identity.firmware});
  facts.push_back({"Type code", kNotInFile});
  facts.push_back({"Range code", kNotInFile});
  const std::string ports = RunValues(analysis.read.runs, &datafile::Run::port);
  facts.push_back({"Port", ports.empty() ? kNotInFile : ports});
  facts.push_back({"Data file", std::filesystem::path(file).filename().string()});
  std::string error;
  if (const std::optional<FileDigest> digest = DigestFile(file, error)) {
    facts.push_back({"Size", SizeText(digest->size)});
    facts.push_back({"SHA-256", digest->sha256});
  } else {
    facts.push_back({"SHA-256", "the file cannot be read: " + error});
  }
  const RangeStatistics& statistics = analysis.statistics;
  if (summary.firstTime && summary.lastTime) {
    facts.push_back({"First record", TimeText(*summary.firstTime)});
    facts.push_back({"Last record", TimeText(*summary.lastTime)});
    facts.push_back({"Span", DurationText((*summary.lastTime - *summary.firstTime) * kSecondsPerDay)});
  }
  facts.push_back({"Records", std::to_string(statistics.Count())});
  const std::string interval = TypicalInterval(analysis.Records(), statistics.first, statistics.last);
  if (!interval.empty()) facts.push_back({"Interval", interval + " (the most frequent spacing of records)"});
  if (analysis.read.runs.size() > 1) facts.push_back({"Runs", std::to_string(analysis.read.runs.size())});
  facts.push_back({"Program", "quarn " + settings.programVersion});

  double from = summary.firstTime.value_or(0);
  double to = summary.lastTime.value_or(0);
  if (settings.chartSpan) {
    std::tie(from, to) = *settings.chartSpan;
    section.chartTitle = "Chart of the range shown, " + TimeText(from) + " to " + TimeText(to);
  } else {
    section.chartTitle = "Chart of the whole run";
  }
  section.chart = ChartOf(analysis.Records(), statistics.first, statistics.last, from, to, settings.chartColumns);
  for (const Marker& marker : analysis.markers) {
    if (marker.time >= from && marker.time <= to) section.chart.markers.push_back(marker);
  }
  for (const Gap& gap : GapsOf(analysis.markers))
    section.chart.gaps.push_back({gap.start.time, gap.start.time + gap.seconds / kSecondsPerDay});

  section.statistics.push_back(StatisticsHeader());
  for (size_t k = 0; k < kSeriesCount; ++k) section.statistics.push_back(StatisticsRow(k, statistics.series[k]));
  if (!figures.steps.empty()) {
    section.responses.push_back(ResponseHeader());
    for (const StepResponse& step : figures.steps) section.responses.push_back(ResponseRow(step));
  }
  if (!analysis.entry.gapRows.empty()) {
    section.gaps.push_back(GapHeader());
    section.gaps.insert(section.gaps.end(), analysis.entry.gapRows.begin(), analysis.entry.gapRows.end());
  }
  const std::string logPath = (std::filesystem::path(file).parent_path() / kCalibrationLogFileName).string();
  section.calibration = CalibrationRows(logPath, serial, section.calibrationNote);

  if (settings.limits) {
    const SensorVerdicts verdicts = Judge(*settings.limits, figures);
    section.verdicts.push_back({"scope", "limit", "allowed", "measured", "verdict"});
    AddLimitRows(section.verdicts, "whole file", settings.limits->general, summary.conc, nullptr, verdicts.file);
    for (size_t s = 0; s < figures.steps.size(); ++s) {
      const StepResponse& step = figures.steps[s];
      const SeriesStatistics window = s < figures.levelWindows.size() ? figures.levelWindows[s] : SeriesStatistics{};
      AddLimitRows(section.verdicts, step.marker.label + " (" + step.marker.timeText + ")",
                   settings.limits->ForStep(step.marker.label), window, &step, verdicts.steps[s]);
    }
    section.overallVerdict = verdicts.overall.Text();
  }
  return section;
}

}  // namespace quarn::analysis
