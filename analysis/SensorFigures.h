#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/Report.h"
#include "analysis/ResponseTimes.h"
#include "analysis/Statistics.h"

namespace quarn::analysis {

// The figures of one sensor (one data file) over a range of its records: what quarn-analyze prints per file in
// a batch and the bench window shows per sensor, computed and written by the same code so that both agree.
//
//   const RangeStatistics statistics = ComputeStatistics(source, first, last);   // or StatisticsIndex::Query
//   const SensorFigures figures = FiguresOf(source, statistics, markers, settings, {"102345", "QRN-2.14"});
//   Row row = SummaryRow(figures.summary);                                      // one row per sensor
//   for (const StepResponse& step : figures.steps) ResponseRow(step);          // one row per sensor and marker
//   const SensorVerdicts verdicts = Judge(limits, figures);                    // Verdict.h

struct SensorIdentity {
  std::string serialNumber;
  std::string firmware;
};

struct SensorSummary {
  SensorIdentity identity;
  // Times (UTC day numbers) of the first and last record in the range; none for an empty range.
  std::optional<double> firstTime;
  std::optional<double> lastTime;
  SeriesStatistics conc;  // its count is the range's records
};

struct SensorFigures {
  SensorSummary summary;
  // The step after each gas marker within the range, in time order; the level window indices count from the
  // range's first record.
  std::vector<StepResponse> steps;
  // Conc over each step's level window after (where its level_after is averaged), one per step: the sd and the
  // drift a [marker LABEL] section of a limits file judges.
  std::vector<SeriesStatistics> levelWindows;
};

// The figures over records statistics.first .. statistics.last - 1 of source (which must be in time order):
// statistics is that range's (ComputeStatistics or StatisticsIndex::Query), markers those in the range, the
// recorder's gap markers among them (they start no step, ResponseTimes).
SensorFigures FiguresOf(const RecordSource& source, const RangeStatistics& statistics, std::span<const Marker> markers,
                        const ResponseSettings& settings, SensorIdentity identity);

// serial_number,firmware,first_time,last_time,count,mean,sd,min,max,peak_to_peak,drift_per_hour
const Row& SummaryHeader();
// The times as the local wall clock, "2026-03-14 08:00:00"; the Conc figures as StatisticsRow writes them.
Row SummaryRow(const SensorSummary& summary);

}  // namespace quarn::analysis
