#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "analysis/RecordSource.h"
#include "chart/SeriesHistory.h"

class QCustomPlot;
class QCPGraph;
class QCPAbstractItem;

namespace quarn::chart {

// The live chart: five line series over date-time, a legend whose entries hide and show their series on a
// click, mouse zoom with a drawn rectangle or the wheel. A bench of sensors shows one chosen series of each
// sensor's records instead, an entry per sensor. Both axes follow the points until the user zooms. The points
// are the run's records, read where the store keeps them; the chart keeps only a compact min/max pyramid over them.
// The plot is given only what the visible range needs (at most a few points per pixel), and axis ranges are kept up
// to date as points arrive, so neither a tick nor a repaint visits every point of a week-long run.
class MeasurementChart : public QWidget {
  Q_OBJECT

 public:
  // The series of analysis::kSeriesNames, in that order; a name is also the value axis's unit.
  static constexpr int kSeriesCount = static_cast<int>(analysis::kSeriesCount);
  struct SeriesSpec {
    QColor colour;  // of series i of analysis::kSeriesNames
  };
  static const std::array<SeriesSpec, kSeriesCount> kSeries;

  explicit MeasurementChart(QWidget* parent = nullptr);

  QCustomPlot* Plot() const { return plot_; }

  bool HasSeries() const;
  // Creates the five series in index order with both axes on automatic scaling.
  void CreateSeries();
  void RemoveSeries();
  // Removes every point, keeping the series and the current zoom.
  void ClearPoints();

  // The run's records, whose values the series show in the order Conc (C2), St (S), Temp (T), Um (Uo), Ur (Ur)
  // over their time. The store must outlive the chart or be replaced before it goes.
  void SetRecords(const acquisition::MeasurementStore* store);
  // Adds the records from PointCount() up to count as points; the caller refreshes.
  void ShowRecords(size_t count);
  int PointCount() const;
  double PointX(int index) const;  // days since 1899-12-30
  // The first and last record time shown, over every sensor (days); nothing without points.
  std::optional<std::pair<double, double>> RecordTimes() const;

  // A sensor of a bench: its records, its name in the legend (the serial number) and its colour.
  struct Sensor {
    const acquisition::MeasurementStore* store = nullptr;
    QString name;
    QColor colour;
  };
  // Shows the given series (an index of analysis::kSeriesNames) of each sensor's records, one legend entry per
  // sensor, instead of the five series of one store. The stores must outlive the chart or be replaced first.
  void CreateSensorSeries(const std::vector<Sensor>& sensors, int series);
  bool SensorMode() const { return sensorMode_; }
  int SensorCount() const { return sensorMode_ ? static_cast<int>(curves_.size()) : 0; }
  // Which of the five series each sensor shows; the caller refreshes.
  void SetSensorSeries(int series);
  int SensorSeries() const { return sensorSeries_; }
  // Adds sensor's records from its shown count up to count; the caller refreshes.
  void ShowSensorRecords(int sensor, size_t count);
  size_t SensorPointCount(int sensor) const;
  // The sensor's records were replaced from the start (its file was read again): its points go.
  void ClearSensorPoints(int sensor);
  bool SensorVisible(int sensor) const;
  void SetSensorVisible(int sensor, bool visible);
  // The legend entry's text (the name, perhaps with a state such as "idle").
  void SetSensorLegendText(int sensor, const QString& text);
  QString SensorLegendText(int sensor) const;
  // Where the sensor's legend entry is drawn, in the plot's coordinates.
  QRect SensorLegendRect(int sensor) const;

  // Series 1..4 shown and listed in the legend only in the advanced mode. The caller refreshes.
  void SetAdvanced(bool advanced);
  bool SeriesVisible(int index) const;
  void SetSeriesVisible(int index, bool visible);

  bool AutoTime() const { return autoTime_; }
  bool AutoValue() const { return autoValue_; }
  void SetTimeRange(double minDays, double maxDays);  // switches automatic scaling of the time axis off
  void SetValueRange(double min, double max);         // switches automatic scaling of the value axis off
  double ValueMin() const;
  double ValueMax() const;
  double TimeMin() const;  // days
  double TimeMax() const;
  void SetAutoScale();  // both axes automatic again

  // Applies automatic ranges and repaints once.
  void Refresh();
  // Gives the plot the detail of the visible range for a drawing the given number of pixels wide (a picture
  // exported at another size than the screen's); Refresh goes back to the screen's.
  void ShowDetailFor(int pixels);

  // Where a run of a file with several begins: a vertical line at its first record's time, labelled.
  struct RunBoundary {
    double days;  // days since 1899-12-30
    QString label;
  };
  // Replaces the boundaries drawn so far; RemoveSeries removes them too. The caller refreshes.
  void SetRunBoundaries(const std::vector<RunBoundary>& boundaries);
  int RunBoundaryCount() const { return static_cast<int>(boundaryItems_.size() / 2); }

  // Where the records break off because the sensor was away: no line joins the last record before a gap to
  // the first after it. Replaces the gaps given so far; RemoveSeries removes them too. The caller refreshes.
  struct Gap {
    double lastBefore;  // days since 1899-12-30: the last record's time before the gap
    double firstAfter;  // the first record's time after it
  };
  void SetGaps(const std::vector<Gap>& gaps);

  // Gas markers: a labelled vertical line each at its time, drawn apart from the run boundaries.
  struct MarkerLine {
    double days;  // days since 1899-12-30
    QString label;
  };
  // Replaces the markers drawn so far; they stay until replaced. The caller refreshes.
  void SetMarkers(const std::vector<MarkerLine>& markers);
  int MarkerCount() const { return static_cast<int>(markerItems_.size() / 2); }
  // The marker whose line is within a few pixels of the horizontal position x, the nearest; none otherwise.
  std::optional<int> MarkerNear(double x) const;

  // The span the user selects with Shift held and a drag across the plot (days); a Shift-click without a drag,
  // or ClearSpan, removes it. The statistics follow it while there is one.
  bool HasSpan() const { return span_.has_value(); }
  std::pair<double, double> Span() const { return span_.value_or(std::pair<double, double>{0, 0}); }
  void ClearSpan();
  // Time of a horizontal pixel position in the plot, in days.
  double DaysAtPixel(double x) const;
  double PixelAtDays(double days) const;

 signals:
  // The selected span changed or went away.
  void spanChanged();
  // The visible time range changed (zoom, drag, new points on automatic scaling).
  void timeRangeChanged();
  // A right click on the line of marker index (in the order SetMarkers was given them), at globalPos.
  void markerMenuRequested(int index, QPoint globalPos);
  // A click on a sensor's legend entry, which also hid or showed it.
  void sensorClicked(int sensor);
  // A double click on a sensor's legend entry.
  void sensorChosen(int sensor);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Extent {
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    void Add(double v) {
      if (v < min) min = v;
      if (v > max) max = v;
    }
  };
  void ApplyAutoRanges();
  // Visibility and legend colour of one series, without a repaint.
  void ShowSeries(int index, bool visible);
  // Hands the plot the points of the visible time range, for a plot the given pixels wide (its own by default).
  void FeedVisible(int pixels = 0);
  // The value axis's title: the fields of the series shown.
  void UpdateValueTitle();

  // The store's records as the history reads them, on the plot's time scale.
  // Records are read through a view of the store's chunks, brought up to date once per use rather than
  // taking the store's lock for each read.
  class RecordPoints : public SeriesHistory<kSeriesCount>::Source {
   public:
    const acquisition::MeasurementStore* store = nullptr;
    // Brings the view up to records 0 .. count - 1; reads go only to those.
    void Locate(size_t count) { store->View(view_, count); }
    // Lets go of the chunks the view holds.
    void Release() { view_ = {}; }
    double X(size_t i) const override;
    SeriesHistory<kSeriesCount>::Values ValuesAt(size_t i) const override;

   private:
    acquisition::RecordBlock view_;
  };
  // One store's records and what the chart keeps of them.
  struct Source {
    mutable RecordPoints records;
    SeriesHistory<kSeriesCount> history;
    std::array<Extent, kSeriesCount> valueExtent{};
    Extent timeExtent;
    // False while the store holds fewer records than the history (it was emptied first): nothing to read.
    // Otherwise locates the records for reading.
    bool LocatePoints() const;
    void Add(size_t count);
    void Clear();
  };
  // A line on the plot: one series of one source.
  struct Curve {
    QCPGraph* graph = nullptr;
    size_t source = 0;
    int series = 0;
    QColor colour;
  };
  void RemoveCurves();
  void AddCurve(size_t source, int series, const QString& name, const QColor& colour);
  Extent TimeExtent() const;

  QCustomPlot* plot_;
  // One in the single-store mode, one per sensor in the sensor mode.
  std::vector<std::unique_ptr<Source>> sources_;
  // The five series of source 0 in index order, or one per sensor.
  std::vector<Curve> curves_;
  bool sensorMode_ = false;
  // The legend entry clicked last, when (the event's timestamp) and whether it was shown before: a double
  // click's clicks leave it as it was.
  int lastClicked_ = -1;
  quint64 lastClickTime_ = 0;
  bool visibleBeforeClick_ = true;
  int sensorSeries_ = 0;
  std::vector<QCPAbstractItem*> boundaryItems_;  // a line and its label per run boundary, owned by the plot
  std::vector<double> boundaryKeys_;             // where runs begin on the time axis, ascending
  std::vector<double> gapKeys_;                  // amid each gap on the time axis, ascending
  std::vector<QCPAbstractItem*> markerItems_;    // a line and its label per gas marker, owned by the plot
  // Span selection: Shift + drag. True when the event was the span's.
  bool SpanMouseEvent(QEvent* event);
  // A right click on a marker's line asks for its menu. True when the event was the marker's.
  bool MarkerMouseEvent(QEvent* event);
  std::vector<double> markerDays_;  // where the markers stand, in SetMarkers' order
  bool markerPressed_ = false;      // a right press on a marker, until its release
  void DrawSpan();
  std::optional<std::pair<double, double>> span_;
  std::optional<double> spanAnchor_;  // days where the drag began, while dragging
  QCPAbstractItem* spanItem_ = nullptr;
  bool feeding_ = false;
  bool advanced_ = false;
  bool autoTime_ = true;
  bool autoValue_ = true;
};

}  // namespace quarn::chart
