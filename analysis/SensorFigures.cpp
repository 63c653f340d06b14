#include "SensorFigures.h"

#include "acquisition/DataFile.h"
#include "acquisition/RegionalFormat.h"

namespace quarn::analysis {

SensorFigures FiguresOf(const RecordSource& source, const RangeStatistics& statistics, std::span<const Marker> markers,
                        const ResponseSettings& settings, SensorIdentity identity) {
  SensorFigures figures;
  figures.summary.identity = std::move(identity);
  figures.summary.conc = statistics.series[kConcentration];
  const RangeRecords range(source, statistics.first, statistics.last);
  if (range.Count() == 0) return figures;
  figures.summary.firstTime = range.TimeAt(0);
  figures.summary.lastTime = range.TimeAt(range.Count() - 1);
  if (markers.empty()) return figures;
  figures.steps = ResponseTimes(range, markers, settings);
  for (const StepResponse& step : figures.steps) {
    figures.levelWindows.push_back(
        ComputeStatistics(range, step.levelAfterFirst, step.levelAfterLast).series[kConcentration]);
  }
  return figures;
}

const Row& SummaryHeader() {
  static const Row header = {"serial_number", "firmware", "first_time",   "last_time",     "count", "mean", "sd",
                             "min",           "max",      "peak_to_peak", "drift_per_hour"};
  return header;
}

Row SummaryRow(const SensorSummary& summary) {
  const acquisition::PlainRegionalFormat plain;
  const auto time = [&](const std::optional<double>& DT) {
    return DT ? acquisition::LocalDateTimeText(*DT, plain) : std::string();
  };
  Row row = {summary.identity.serialNumber, summary.identity.firmware, time(summary.firstTime), time(summary.lastTime)};
  // The Conc figures, without the series name StatisticsRow begins with.
  const Row conc = StatisticsRow(kConcentration, summary.conc);
  row.insert(row.end(), conc.begin() + 1, conc.end());
  return row;
}

}  // namespace quarn::analysis
