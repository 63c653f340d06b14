#include "MeasurementChart.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "acquisition/DataFile.h"
#include "acquisition/SystemRegionalFormat.h"

namespace quarn::chart {

namespace {

// QCustomPlot's date axis counts seconds since 1970; records count days since 1899-12-30 in local time.
// Shown as UTC, the local wall-clock time comes out unchanged.
constexpr double kUnixEpochDays = 25569.0;
double ToKey(double days) { return (days - kUnixEpochDays) * 86400.0; }
double ToDays(double key) { return key / 86400.0 + kUnixEpochDays; }

constexpr int kValueMarginPixels = 50;

// The width of the widest time label's line: a late clock time or a date late in the year, in the files' format.
int WidestTimeLabel(const QFontMetrics& metrics, const acquisition::RegionalFormat& regional) {
  constexpr double kLateInTheYear = 46384.9993;  // 2026-12-28 23:58:59
  return std::max(
      metrics.horizontalAdvance(QString::fromStdString(acquisition::LocalClockText(kLateInTheYear, regional))),
      metrics.horizontalAdvance(QString::fromStdString(acquisition::LocalDateText(kLateInTheYear, regional))));
}

// Horizontal labels with the time of day; the date below it on the first tick, where the day changes, and on
// every tick when the view spans more than a day.
class TimeOfDayTicker : public QCPAxisTickerDateTime {
 public:
  explicit TimeOfDayTicker(const QCPAxis& axis) : axis_(axis) {}

  // As many ticks as the axis has room for labels side by side, so that they never run together.
  void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision, QVector<double>& ticks,
                QVector<double>* subTicks, QVector<QString>* tickLabels) override {
    const QFontMetrics metrics(axis_.tickLabelFont());
    const int label = WidestTimeLabel(metrics, regional_);
    // The axis's width from the widget, which has already taken a new size, and the margins laid out last.
    const QMargins margins = axis_.axisRect()->margins();
    const int pixels = axis_.parentPlot()->viewport().width() - margins.left() - margins.right();
    // A date ticker may choose a step down to about half the one asked for: twice a label's width apiece.
    setTickCount(std::max(2, pixels / std::max(1, 2 * label + 2 * metrics.averageCharWidth())));
    QCPAxisTickerDateTime::generate(range, locale, formatChar, precision, ticks, subTicks, tickLabels);
  }

 protected:
  // The keys are UTC seconds; the labels show the local wall clock in the files' format.
  QVector<QString> createLabelVector(const QVector<double>& ticks, const QLocale&, QChar, int) override {
    const bool longView = !ticks.isEmpty() && ticks.last() - ticks.first() > 86400.0;
    QVector<QString> labels;
    labels.reserve(ticks.size());
    std::string previous;
    for (double tick : ticks) {
      const double days = ToDays(tick);
      const std::string date = acquisition::LocalDateText(days, regional_);
      QString label = QString::fromStdString(acquisition::LocalClockText(days, regional_));
      if (longView || date != previous) label += "\n" + QString::fromStdString(date);
      previous = date;
      labels.append(label);
    }
    return labels;
  }

 private:
  acquisition::SystemRegionalFormat regional_;
  const QCPAxis& axis_;
};

}  // namespace

// The legend's titles are the series' names, as a function of time.
const std::array<MeasurementChart::SeriesSpec, MeasurementChart::kSeriesCount> MeasurementChart::kSeries = {{
    {QColor(0x00, 0x00, 0x00)},
    {QColor(0x00, 0x80, 0x00)},
    {QColor(0xFF, 0x00, 0x00)},
    {QColor(0x00, 0x00, 0xFF)},
    {QColor(0x00, 0xFF, 0xFF)},
}};

MeasurementChart::MeasurementChart(QWidget* parent) : QWidget(parent), plot_(new QCustomPlot(this)) {
  setObjectName("Chart1");
  sources_.push_back(std::make_unique<Source>());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(plot_);

  plot_->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new TimeOfDayTicker(*plot_->xAxis)));
  // Room on the right for half of the last time label, which is centred on its tick.
  const int label = WidestTimeLabel(QFontMetrics(plot_->xAxis->tickLabelFont()), acquisition::SystemRegionalFormat());
  plot_->axisRect()->setMinimumMargins(QMargins(0, 0, label / 2 + 4, 0));
  // The sensor's protocol gives its values no physical units: the value axis names the fields it shows.
  plot_->xAxis->setLabel("Time (local)");
  UpdateValueTitle();
  // No labels before there are points: an empty axis would read 1970.
  plot_->xAxis->setTickLabels(false);
  plot_->legend->setVisible(false);
  // A line sample runs 5 pixels past its icon, which only a clipping painter hides: an SVG would draw it into
  // the title.
  plot_->legend->setIconTextPadding(plot_->legend->iconTextPadding() + 5);
  // The legend stands in a row above the plot, where it covers no curve; entries wrap when the chart is narrow.
  plot_->axisRect()->insetLayout()->take(plot_->legend);
  plot_->plotLayout()->insertRow(0);
  plot_->plotLayout()->addElement(0, 0, plot_->legend);
  plot_->plotLayout()->setRowStretchFactor(0, 0.001);
  plot_->plotLayout()->setRowSpacing(0);
  plot_->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
  plot_->legend->setBorderPen(Qt::NoPen);
  plot_->legend->setBrush(Qt::NoBrush);
  plot_->legend->setMargins(QMargins(4, 2, 4, 0));
  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  plot_->setSelectionRectMode(QCP::srmZoom);
  plot_->setNoAntialiasingOnDrag(true);
  plot_->installEventFilter(this);

  // A click on a legend entry hides or shows its series; a hidden one is listed in grey.
  connect(plot_, &QCustomPlot::legendClick, this, [this](QCPLegend*, QCPAbstractLegendItem* item, QMouseEvent* event) {
    auto* entry = qobject_cast<QCPPlottableLegendItem*>(item);
    if (!entry) return;
    for (int i = 0; i < static_cast<int>(curves_.size()); ++i) {
      if (curves_[i].graph != entry->plottable()) continue;
      // The second click of a double click on the same entry toggles nothing.
      const bool second = i == lastClicked_ && event->timestamp() - lastClickTime_ <
                                                   static_cast<quint64>(QApplication::doubleClickInterval());
      lastClickTime_ = event->timestamp();
      if (second) return;
      lastClicked_ = i;
      visibleBeforeClick_ = curves_[i].graph->visible();
      SetSeriesVisible(i, !curves_[i].graph->visible());
      if (sensorMode_) emit sensorClicked(i);
    }
  });
  connect(plot_, &QCustomPlot::legendDoubleClick, this, [this](QCPLegend*, QCPAbstractLegendItem* item, QMouseEvent*) {
    auto* entry = qobject_cast<QCPPlottableLegendItem*>(item);
    for (int i = 0; entry && sensorMode_ && i < static_cast<int>(curves_.size()); ++i) {
      if (curves_[i].graph != entry->plottable()) continue;
      // A double click chooses the sensor and leaves it shown or hidden as it was before its first click.
      if (i == lastClicked_ && curves_[i].graph->visible() != visibleBeforeClick_) {
        SetSeriesVisible(i, visibleBeforeClick_);
        emit sensorClicked(i);
      }
      emit sensorChosen(i);
    }
  });
  // A range that changes without us was zoomed or dragged by the user: that axis leaves automatic scaling.
  // A plain click changes no range and so leaves the chart following the run.
  connect(plot_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this](const QCPRange&) {
    emit timeRangeChanged();
    if (feeding_) return;
    autoTime_ = false;
    FeedVisible();  // before the plot draws the new range
  });
  connect(plot_->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this](const QCPRange&) {
    if (!feeding_) autoValue_ = false;
  });
}

bool MeasurementChart::eventFilter(QObject* watched, QEvent* event) {
  if (watched == plot_ && (SpanMouseEvent(event) || MarkerMouseEvent(event))) return true;
  if (watched == plot_ && event->type() == QEvent::MouseButtonPress) {
    // The zoom rectangle would take every press inside the axis rect, the legend's included: a press on the
    // legend goes to the legend instead.
    const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
    const bool onLegend = plot_->legend->visible() && plot_->legend->outerRect().contains(pos);
    plot_->setSelectionRectMode(onLegend ? QCP::srmNone : QCP::srmZoom);
  }
  return QWidget::eventFilter(watched, event);
}

bool MeasurementChart::HasSeries() const { return !curves_.empty(); }

void MeasurementChart::AddCurve(size_t source, int series, const QString& name, const QColor& colour) {
  QCPGraph* graph = plot_->addGraph();
  graph->setName(name);
  graph->setPen(QPen(colour, 1));
  curves_.push_back({graph, source, series, colour});
}

void MeasurementChart::RemoveCurves() {
  SetRunBoundaries({});
  SetGaps({});
  plot_->clearGraphs();
  curves_.clear();
  for (auto& source : sources_) source->Clear();
}

void MeasurementChart::CreateSeries() {
  RemoveSeries();
  sensorMode_ = false;
  sources_.resize(1);
  for (int i = 0; i < kSeriesCount; ++i)
    AddCurve(0, i, QString::fromUtf8(analysis::kSeriesNames[i].data(), analysis::kSeriesNames[i].size()) + " (t)",
             kSeries[i].colour);
  plot_->legend->setVisible(true);
  autoTime_ = autoValue_ = true;
  SetAdvanced(advanced_);
}

void MeasurementChart::CreateSensorSeries(const std::vector<Sensor>& sensors, int series) {
  RemoveSeries();
  sensorMode_ = true;
  sensorSeries_ = series;
  sources_.clear();
  for (size_t i = 0; i < sensors.size(); ++i) {
    sources_.push_back(std::make_unique<Source>());
    sources_.back()->records.store = sensors[i].store;
    AddCurve(i, series, sensors[i].name, sensors[i].colour);
    // Many sensors' lines, redrawn every second while following: drawn without antialiasing they take half
    // the time, and the tick stops growing with the run (follow_bench).
    curves_.back().graph->setAntialiased(false);
    ShowSeries(static_cast<int>(i), true);
  }
  plot_->legend->setVisible(true);
  autoTime_ = autoValue_ = true;
  UpdateValueTitle();
}

void MeasurementChart::SetSensorSeries(int series) {
  sensorSeries_ = series;
  for (Curve& curve : curves_) curve.series = series;
  autoValue_ = true;
  UpdateValueTitle();
}

void MeasurementChart::ShowSensorRecords(int sensor, size_t count) {
  if (sensor < 0 || sensor >= static_cast<int>(sources_.size())) return;
  sources_[static_cast<size_t>(sensor)]->Add(count);
}

size_t MeasurementChart::SensorPointCount(int sensor) const {
  return sources_[static_cast<size_t>(sensor)]->history.Size();
}

void MeasurementChart::ClearSensorPoints(int sensor) { sources_[static_cast<size_t>(sensor)]->Clear(); }

bool MeasurementChart::SensorVisible(int sensor) const { return SeriesVisible(sensor); }

void MeasurementChart::SetSensorVisible(int sensor, bool visible) { SetSeriesVisible(sensor, visible); }

void MeasurementChart::SetSensorLegendText(int sensor, const QString& text) {
  curves_[static_cast<size_t>(sensor)].graph->setName(text);
}

QString MeasurementChart::SensorLegendText(int sensor) const {
  return curves_[static_cast<size_t>(sensor)].graph->name();
}

QRect MeasurementChart::SensorLegendRect(int sensor) const {
  auto* item = plot_->legend->itemWithPlottable(curves_[static_cast<size_t>(sensor)].graph);
  return item ? item->outerRect() : QRect();
}

void MeasurementChart::RemoveSeries() {
  RemoveCurves();
  plot_->legend->setVisible(false);
  plot_->xAxis->setTickLabels(false);
  UpdateValueTitle();
  plot_->replot();
}

void MeasurementChart::ClearPoints() {
  for (const Curve& curve : curves_) curve.graph->data()->clear();
  for (auto& source : sources_) source->Clear();
}

void MeasurementChart::Source::Clear() {
  history.Clear();
  records.Release();
  valueExtent.fill({});
  timeExtent = {};
}

namespace {

SeriesHistory<MeasurementChart::kSeriesCount>::Values SeriesValues(const acquisition::MeasurementRecord& r) {
  const analysis::SeriesValues values = analysis::ValuesOf(r);
  SeriesHistory<MeasurementChart::kSeriesCount>::Values points;
  for (size_t i = 0; i < points.size(); ++i) points[i] = static_cast<uint16_t>(values[i]);
  return points;
}

}  // namespace

double MeasurementChart::RecordPoints::X(size_t i) const { return ToKey(view_.TimeAt(i)); }

SeriesHistory<MeasurementChart::kSeriesCount>::Values MeasurementChart::RecordPoints::ValuesAt(size_t i) const {
  return SeriesValues(view_[i]);
}

void MeasurementChart::SetRecords(const acquisition::MeasurementStore* store) { sources_[0]->records.store = store; }

bool MeasurementChart::Source::LocatePoints() const {
  if (!records.store || records.store->Count() < history.Size()) return false;
  records.Locate(history.Size());
  return true;
}

void MeasurementChart::Source::Add(size_t count) {
  if (!records.store || records.store->Count() < history.Size()) return;
  records.store->ForEach(history.Size(), count, [this](std::span<const acquisition::MeasurementRecord> added) {
    for (const acquisition::MeasurementRecord& r : added) {
      timeExtent.Add(ToKey(r.DT));
      const auto values = SeriesValues(r);
      history.Append(values);
      for (int i = 0; i < kSeriesCount; ++i) valueExtent[i].Add(values[i]);
    }
  });
}

void MeasurementChart::ShowRecords(size_t count) {
  if (HasSeries()) sources_[0]->Add(count);
}

int MeasurementChart::PointCount() const {
  size_t count = 0;
  if (HasSeries()) {
    for (const auto& source : sources_) count += source->history.Size();
  }
  return static_cast<int>(count);
}

double MeasurementChart::PointX(int index) const {
  return sources_[0]->records.store->At(static_cast<size_t>(index)).DT;
}

MeasurementChart::Extent MeasurementChart::TimeExtent() const {
  Extent extent;
  for (const auto& source : sources_) {
    if (source->timeExtent.min <= source->timeExtent.max) {
      extent.Add(source->timeExtent.min);
      extent.Add(source->timeExtent.max);
    }
  }
  return extent;
}

std::optional<std::pair<double, double>> MeasurementChart::RecordTimes() const {
  const Extent extent = TimeExtent();
  if (!HasSeries() || !(extent.min <= extent.max)) return std::nullopt;
  return std::pair{ToDays(extent.min), ToDays(extent.max)};
}

namespace {

// Columns a power of two seconds wide, so that a view following a growing run keeps its columns from tick to
// tick; one to two pixels wide (at least 125 columns, at most 250 on a narrow plot).
double ColumnWidth(double span, int pixels) {
  const double columns = std::max(250, pixels);
  if (!(span > 0)) return 1;
  return std::exp2(std::ceil(std::log2(span / columns)));
}

}  // namespace

void MeasurementChart::ShowDetailFor(int pixels) { FeedVisible(pixels); }

void MeasurementChart::FeedVisible(int pixels) {
  if (!HasSeries()) return;
  using Points = std::array<std::vector<SeriesHistory<kSeriesCount>::Point>, kSeriesCount>;
  const QCPRange range = plot_->xAxis->range();
  const double width = ColumnWidth(range.size(), pixels > 0 ? pixels : plot_->axisRect()->width());
  // Each run, and each stretch between gaps, by itself: no column mixes two, and no line runs from one's last
  // point to the next one's first.
  std::vector<double> breaks(boundaryKeys_);
  breaks.insert(breaks.end(), gapKeys_.begin(), gapKeys_.end());
  std::sort(breaks.begin(), breaks.end());
  // The points of each source that has a visible curve, read once for all its curves.
  std::vector<std::optional<Points>> viewed(sources_.size());
  auto view = [&](size_t index) -> const Points& {
    if (viewed[index]) return *viewed[index];
    Points& points = viewed[index].emplace();
    const Source& source = *sources_[index];
    if (!source.LocatePoints() || source.history.Size() == 0) return points;
    const SeriesHistory<kSeriesCount>& history = source.history;
    auto [begin, end] = history.IndexRange(source.records, range.lower, range.upper);
    // One neighbour outside the range on each side, so lines run to the edges.
    begin = begin > 0 ? begin - 1 : 0;
    end = std::min(end + 1, history.Size());
    auto boundary =
        begin < end ? std::upper_bound(breaks.begin(), breaks.end(), source.records.X(begin)) : breaks.end();
    for (size_t from = begin; from < end;) {
      size_t to = end;
      if (boundary != breaks.end()) {
        to = history.IndexRange(source.records, *boundary, std::numeric_limits<double>::infinity(), from, end).first;
        ++boundary;
      }
      if (to == from) continue;
      Points run = history.View(source.records, from, to, width);
      for (int i = 0; i < kSeriesCount; ++i) {
        if (!points[i].empty() && !run[i].empty()) {
          points[i].push_back({(points[i].back().x + run[i].front().x) / 2, std::numeric_limits<double>::quiet_NaN()});
        }
        points[i].insert(points[i].end(), run[i].begin(), run[i].end());
      }
      from = to;
    }
    return points;
  };
  QVector<QCPGraphData> data;
  for (const Curve& curve : curves_) {
    data.clear();
    if (curve.graph->visible()) {
      const auto& points = view(curve.source)[static_cast<size_t>(curve.series)];
      data.reserve(static_cast<qsizetype>(points.size()));
      for (const auto& p : points) data.append({p.x, p.y});
    }
    curve.graph->data()->set(data, true);
  }
}

void MeasurementChart::SetAdvanced(bool advanced) {
  advanced_ = advanced;
  UpdateValueTitle();
  if (!HasSeries() || sensorMode_) return;
  for (int i = 1; i < kSeriesCount; ++i) {
    if (advanced) {
      curves_[i].graph->addToLegend();
    } else {
      curves_[i].graph->removeFromLegend();
    }
    ShowSeries(i, advanced);
  }
  ShowSeries(0, curves_[0].graph->visible());
  UpdateValueTitle();
}

void MeasurementChart::UpdateValueTitle() {
  QStringList fields;
  for (int i = 0; i < kSeriesCount; ++i) {
    if (sensorMode_ ? i == sensorSeries_ : HasSeries() ? curves_[i].graph->visible() : (i == 0 || advanced_))
      fields << QString::fromUtf8(analysis::kSeriesNames[i].data(), analysis::kSeriesNames[i].size());
  }
  plot_->yAxis->setLabel(fields.join(", "));
}

bool MeasurementChart::SeriesVisible(int index) const {
  return index >= 0 && index < static_cast<int>(curves_.size()) && curves_[index].graph->visible();
}

void MeasurementChart::SetSeriesVisible(int index, bool visible) {
  if (index < 0 || index >= static_cast<int>(curves_.size())) return;
  ShowSeries(index, visible);
  UpdateValueTitle();
  Refresh();
}

void MeasurementChart::ShowSeries(int index, bool visible) {
  const Curve& curve = curves_[static_cast<size_t>(index)];
  curve.graph->setVisible(visible);
  // Each title in its series' colour; a hidden series is listed in grey.
  if (auto* item = plot_->legend->itemWithPlottable(curve.graph)) {
    item->setTextColor(visible ? curve.colour : QColor(Qt::gray));
  }
}

void MeasurementChart::SetTimeRange(double minDays, double maxDays) {
  autoTime_ = false;
  feeding_ = true;
  plot_->xAxis->setRange(ToKey(minDays), ToKey(maxDays));
  feeding_ = false;
}

void MeasurementChart::SetValueRange(double min, double max) {
  autoValue_ = false;
  plot_->yAxis->setRange(min, max);
}

double MeasurementChart::ValueMin() const { return plot_->yAxis->range().lower; }
double MeasurementChart::ValueMax() const { return plot_->yAxis->range().upper; }
double MeasurementChart::TimeMin() const { return ToDays(plot_->xAxis->range().lower); }
double MeasurementChart::TimeMax() const { return ToDays(plot_->xAxis->range().upper); }

void MeasurementChart::SetAutoScale() {
  autoTime_ = autoValue_ = true;
  Refresh();
}

void MeasurementChart::ApplyAutoRanges() {
  const Extent times = TimeExtent();
  plot_->xAxis->setTickLabels(times.min <= times.max);
  if (autoTime_ && times.min <= times.max) {
    const double span = times.max - times.min;
    plot_->xAxis->setRange(times.min, times.max + (span > 0 ? 0 : 1));
  }
  if (autoValue_) {
    Extent values;
    for (const Curve& curve : curves_) {
      const Extent& extent = sources_[curve.source]->valueExtent[static_cast<size_t>(curve.series)];
      if (curve.graph->visible() && extent.min <= extent.max) {
        values.Add(extent.min);
        values.Add(extent.max);
      }
    }
    if (values.min <= values.max) {
      // A margin of 50 pixels above the maximum and below the minimum.
      const int pixels = plot_->yAxis->axisRect()->height();
      const double span = values.max - values.min;
      double margin = 1;
      if (span > 0)
        margin = pixels > 2 * kValueMarginPixels + 10 ? span * kValueMarginPixels / (pixels - 2 * kValueMarginPixels)
                                                      : span * 0.1;
      plot_->yAxis->setRange(values.min - margin, values.max + margin);
    }
  }
}

void MeasurementChart::SetRunBoundaries(const std::vector<RunBoundary>& boundaries) {
  for (QCPAbstractItem* item : boundaryItems_) plot_->removeItem(item);
  boundaryItems_.clear();
  boundaryKeys_.clear();
  const QColor colour(0x80, 0x00, 0x80);
  for (const RunBoundary& boundary : boundaries) {
    // Placed in time, spanning the axis rect whatever the value zoom.
    auto* line = new QCPItemStraightLine(plot_);
    line->setPen(QPen(colour, 1, Qt::DashLine));
    line->point1->setTypeY(QCPItemPosition::ptAxisRectRatio);
    line->point2->setTypeY(QCPItemPosition::ptAxisRectRatio);
    line->point1->setCoords(ToKey(boundary.days), 0);
    line->point2->setCoords(ToKey(boundary.days), 1);
    auto* label = new QCPItemText(plot_);
    label->setText(boundary.label);
    label->setColor(colour);
    label->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setPadding(QMargins(3, 2, 3, 2));
    label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    label->position->setCoords(ToKey(boundary.days), 0);
    label->setClipToAxisRect(true);
    boundaryKeys_.push_back(ToKey(boundary.days));
    boundaryItems_.push_back(line);
    boundaryItems_.push_back(label);
  }
  std::sort(boundaryKeys_.begin(), boundaryKeys_.end());
}

void MeasurementChart::SetGaps(const std::vector<Gap>& gaps) {
  gapKeys_.clear();
  // Midway, so that a gap's ends given a millisecond off their records' times still part the right two.
  for (const Gap& gap : gaps) gapKeys_.push_back((ToKey(gap.lastBefore) + ToKey(gap.firstAfter)) / 2);
  std::sort(gapKeys_.begin(), gapKeys_.end());
}

void MeasurementChart::Refresh() {
  feeding_ = true;
  ApplyAutoRanges();
  feeding_ = false;
  const int pixels = plot_->axisRect()->width();
  FeedVisible();
  plot_->replot();
  // The drawing laid the axis out anew (a first drawing, the legend shown): the detail follows its width.
  if (plot_->axisRect()->width() != pixels) {
    FeedVisible();
    plot_->replot();
  }
}

}  // namespace quarn::chart
