#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "acquisition/SystemRegionalFormat.h"
#include "analysis/Limits.h"
#include "analysis/ResponseTimes.h"
#include "analysis/Statistics.h"

class QLabel;
class QPushButton;
class QDoubleSpinBox;
class QSpinBox;
class QTableWidget;

namespace quarn::chart {

class MeasurementChart;

// The statistics of the chart's visible time range, or of the span selected on it (Shift + drag), for each
// series the chart shows, and the response times after each gas marker. The figures come from the analysis
// library with the command line's texts, so both show the same numbers. The records are indexed as they
// arrive, so a refresh costs the same however long the run. For a bench of sensors the rows are the sensors
// the chart shows, for the series it shows, and the response times are one row per sensor and marker.
class StatisticsPanel : public QWidget {
  Q_OBJECT

 public:
  explicit StatisticsPanel(MeasurementChart& chart, QWidget* parent = nullptr);

  // The records the chart shows; they are indexed on each Refresh. A different store, or nullptr, starts afresh.
  void SetRecords(const acquisition::MeasurementStore* store);
  // Forgets the records indexed so far (the store was emptied for a new run, or cleared).
  void Reset();
  // The sensors of a bench, in the chart's sensor order, each with its records and its name; replaces
  // SetRecords.
  struct SensorRecords {
    const acquisition::MeasurementStore* store = nullptr;
    QString name;
  };
  void SetSensors(const std::vector<SensorRecords>& sensors);
  // Forgets what was indexed of one sensor (its records were replaced from the start).
  void ResetSensor(int sensor);
  void SetSensorName(int sensor, const QString& name);
  // Acceptance limits each sensor is judged against over the range shown (a "verdict" column); none: no column.
  void SetLimits(std::optional<analysis::AcceptanceLimits> limits);
  // The verdict text of each sensor of FigureSensors(), when limits are set.
  const std::vector<std::string>& Verdicts() const { return verdicts_; }
  // The figures of each sensor shown at the last refresh, and their sensors' indices.
  const std::vector<analysis::RangeStatistics>& SensorFigures() const { return sensorFigures_; }
  const std::vector<int>& FigureSensors() const { return figureSensors_; }
  // The sensor of each response row.
  const std::vector<int>& StepSensors() const { return stepSensors_; }
  void SetMarkers(std::vector<analysis::Marker> markers);
  const std::vector<analysis::Marker>& Markers() const { return markers_; }

  // Indexes what is new and shows the figures of the current range.
  void Refresh();

  // The figures shown, as text: the statistics and the response times in the command line's columns, TAB
  // between the cells, one line per row.
  QString Text() const;
  // Puts Text() on the clipboard.
  void CopyToClipboard();

  QTableWidget* StatisticsTable() const { return statistics_; }
  QTableWidget* ResponseTable() const { return responses_; }
  QLabel* RangeLabel() const { return rangeLabel_; }
  QPushButton* CopyButton() const { return copyButton_; }
  // The last figures shown.
  const analysis::RangeStatistics& Figures() const { return figures_; }
  const std::vector<analysis::StepResponse>& Steps() const { return steps_; }

 signals:
  // A right click on the response table's row of marker, at globalPos.
  void markerMenuRequested(const analysis::Marker& marker, QPoint globalPos);

 private:
  void ShowFigures();
  void RefreshSensors(double from, double to);
  void ShowSensorFigures();
  void ShowResponses();
  // The markers in from .. to that start a step.
  std::vector<analysis::Marker> StepMarkers(double from, double to) const;
  // The local time of day of a record time, as the files write it.
  QString ClockText(double days) const;
  analysis::ResponseSettings Settings() const;
  // Refresh once the event loop turns, however many changes come before.
  void ScheduleRefresh();

  MeasurementChart& chart_;
  const acquisition::MeasurementStore* store_ = nullptr;
  analysis::StatisticsIndex index_;
  std::vector<analysis::Marker> markers_;
  analysis::RangeStatistics figures_;
  std::vector<analysis::StepResponse> steps_;
  std::vector<size_t> shownSeries_;
  struct Sensor {
    const acquisition::MeasurementStore* store = nullptr;
    QString name;
    analysis::StatisticsIndex index;
  };
  std::vector<Sensor> sensors_;  // empty unless a bench
  std::vector<analysis::RangeStatistics> sensorFigures_;
  std::vector<int> figureSensors_;
  std::vector<int> stepSensors_;
  std::optional<analysis::AcceptanceLimits> limits_;
  std::vector<std::string> verdicts_;
  bool refreshScheduled_ = false;
  acquisition::SystemRegionalFormat regional_;

  QLabel* rangeLabel_;
  QTableWidget* statistics_;
  QTableWidget* responses_;
  QDoubleSpinBox* windowBox_;
  QSpinBox* holdBox_;
  QPushButton* copyButton_;
  QPushButton* wholeViewButton_;
};

}  // namespace quarn::chart
