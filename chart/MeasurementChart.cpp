#include "MeasurementChart.h"

#include <qcustomplot.h>

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

const std::array<MeasurementChart::SeriesSpec, MeasurementChart::kSeriesCount> MeasurementChart::kSeries = {{
    {"Conc (t)", QColor(0x00, 0x00, 0x00)},
    {"St (t)", QColor(0x00, 0x80, 0x00)},
    {"Temp (t)", QColor(0xFF, 0x00, 0x00)},
    {"Um (t)", QColor(0x00, 0x00, 0xFF)},
    {"Ur (t)", QColor(0x00, 0xFF, 0xFF)},
}};

MeasurementChart::MeasurementChart(QWidget* parent) : QWidget(parent), plot_(new QCustomPlot(this)) {
  setObjectName("Chart1");
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
  connect(plot_, &QCustomPlot::legendClick, this, [this](QCPLegend*, QCPAbstractLegendItem* item, QMouseEvent*) {
    auto* entry = qobject_cast<QCPPlottableLegendItem*>(item);
    if (!entry) return;
    for (int i = 0; i < kSeriesCount; ++i) {
      if (graphs_[i] == entry->plottable()) SetSeriesVisible(i, !graphs_[i]->visible());
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

bool MeasurementChart::HasSeries() const { return graphs_[0] != nullptr; }

void MeasurementChart::CreateSeries() {
  RemoveSeries();
  for (int i = 0; i < kSeriesCount; ++i) {
    QCPGraph* graph = plot_->addGraph();
    graph->setName(kSeries[i].title);
    graph->setPen(QPen(kSeries[i].colour, 1));
    graphs_[i] = graph;
  }
  plot_->legend->setVisible(true);
  autoTime_ = autoValue_ = true;
  SetAdvanced(advanced_);
}

void MeasurementChart::RemoveSeries() {
  SetRunBoundaries({});
  SetGaps({});
  plot_->clearGraphs();
  graphs_.fill(nullptr);
  history_.Clear();
  valueExtent_.fill({});
  timeExtent_ = {};
  plot_->legend->setVisible(false);
  plot_->xAxis->setTickLabels(false);
  UpdateValueTitle();
  plot_->replot();
}

void MeasurementChart::ClearPoints() {
  for (QCPGraph* graph : graphs_) {
    if (graph) graph->data()->clear();
  }
  history_.Clear();
  valueExtent_.fill({});
  timeExtent_ = {};
}

namespace {

SeriesHistory<MeasurementChart::kSeriesCount>::Values SeriesValues(const acquisition::MeasurementRecord& r) {
  const analysis::SeriesValues values = analysis::ValuesOf(r);
  SeriesHistory<MeasurementChart::kSeriesCount>::Values points;
  for (size_t i = 0; i < points.size(); ++i) points[i] = static_cast<uint16_t>(values[i]);
  return points;
}

}  // namespace

void MeasurementChart::RecordPoints::Locate(size_t count) {
  chunks_.clear();
  store->ForEach(
      0, count, [this](std::span<const acquisition::MeasurementRecord> records) { chunks_.push_back(records.data()); });
}

double MeasurementChart::RecordPoints::X(size_t i) const { return ToKey(Record(i).DT); }

SeriesHistory<MeasurementChart::kSeriesCount>::Values MeasurementChart::RecordPoints::ValuesAt(size_t i) const {
  return SeriesValues(Record(i));
}

void MeasurementChart::SetRecords(const acquisition::MeasurementStore* store) { records_.store = store; }

bool MeasurementChart::LocatePoints() const {
  if (!records_.store || records_.store->Count() < history_.Size()) return false;
  records_.Locate(history_.Size());
  return true;
}

void MeasurementChart::ShowRecords(size_t count) {
  if (!HasSeries() || !records_.store || records_.store->Count() < history_.Size()) return;
  records_.store->ForEach(history_.Size(), count, [this](std::span<const acquisition::MeasurementRecord> records) {
    for (const acquisition::MeasurementRecord& r : records) {
      timeExtent_.Add(ToKey(r.DT));
      const auto values = SeriesValues(r);
      history_.Append(values);
      for (int i = 0; i < kSeriesCount; ++i) valueExtent_[i].Add(values[i]);
    }
  });
}

int MeasurementChart::PointCount() const { return HasSeries() ? static_cast<int>(history_.Size()) : 0; }

double MeasurementChart::PointX(int index) const { return records_.store->At(static_cast<size_t>(index)).DT; }

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
  Points points;
  if (LocatePoints() && history_.Size() > 0) {
    const QCPRange range = plot_->xAxis->range();
    auto [begin, end] = history_.IndexRange(records_, range.lower, range.upper);
    // One neighbour outside the range on each side, so lines run to the edges.
    begin = begin > 0 ? begin - 1 : 0;
    end = std::min(end + 1, history_.Size());
    const double width = ColumnWidth(range.size(), pixels > 0 ? pixels : plot_->axisRect()->width());
    // Each run, and each stretch between gaps, by itself: no column mixes two, and no line runs from one's last
    // point to the next one's first.
    std::vector<double> breaks(boundaryKeys_);
    breaks.insert(breaks.end(), gapKeys_.begin(), gapKeys_.end());
    std::sort(breaks.begin(), breaks.end());
    auto boundary = begin < end ? std::upper_bound(breaks.begin(), breaks.end(), records_.X(begin)) : breaks.end();
    for (size_t from = begin; from < end;) {
      size_t to = end;
      if (boundary != breaks.end()) {
        to = history_.IndexRange(records_, *boundary, std::numeric_limits<double>::infinity(), from, end).first;
        ++boundary;
      }
      if (to == from) continue;
      Points run = history_.View(records_, from, to, width);
      for (int i = 0; i < kSeriesCount; ++i) {
        if (!points[i].empty() && !run[i].empty()) {
          points[i].push_back({(points[i].back().x + run[i].front().x) / 2, std::numeric_limits<double>::quiet_NaN()});
        }
        points[i].insert(points[i].end(), run[i].begin(), run[i].end());
      }
      from = to;
    }
  }
  QVector<QCPGraphData> data;
  for (int i = 0; i < kSeriesCount; ++i) {
    data.clear();
    if (graphs_[i]->visible()) {
      data.reserve(static_cast<qsizetype>(points[i].size()));
      for (const auto& p : points[i]) data.append({p.x, p.y});
    }
    graphs_[i]->data()->set(data, true);
  }
}

void MeasurementChart::SetAdvanced(bool advanced) {
  advanced_ = advanced;
  UpdateValueTitle();
  if (!HasSeries()) return;
  for (int i = 1; i < kSeriesCount; ++i) {
    if (advanced) {
      graphs_[i]->addToLegend();
    } else {
      graphs_[i]->removeFromLegend();
    }
    ShowSeries(i, advanced);
  }
  ShowSeries(0, graphs_[0]->visible());
  UpdateValueTitle();
}

void MeasurementChart::UpdateValueTitle() {
  QStringList fields;
  for (int i = 0; i < kSeriesCount; ++i) {
    if (HasSeries() ? graphs_[i]->visible() : (i == 0 || advanced_))
      fields << QString::fromUtf8(analysis::kSeriesNames[i].data(), analysis::kSeriesNames[i].size());
  }
  plot_->yAxis->setLabel(fields.join(", "));
}

bool MeasurementChart::SeriesVisible(int index) const { return graphs_[index] && graphs_[index]->visible(); }

void MeasurementChart::SetSeriesVisible(int index, bool visible) {
  if (!graphs_[index]) return;
  ShowSeries(index, visible);
  UpdateValueTitle();
  Refresh();
}

void MeasurementChart::ShowSeries(int index, bool visible) {
  graphs_[index]->setVisible(visible);
  // Each title in its series' colour; a hidden series is listed in grey.
  if (auto* item = plot_->legend->itemWithPlottable(graphs_[index])) {
    item->setTextColor(visible ? kSeries[index].colour : QColor(Qt::gray));
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
  plot_->xAxis->setTickLabels(timeExtent_.min <= timeExtent_.max);
  if (autoTime_ && timeExtent_.min <= timeExtent_.max) {
    const double span = timeExtent_.max - timeExtent_.min;
    plot_->xAxis->setRange(timeExtent_.min, timeExtent_.max + (span > 0 ? 0 : 1));
  }
  if (autoValue_) {
    Extent values;
    for (int i = 0; i < kSeriesCount; ++i) {
      if (SeriesVisible(i) && valueExtent_[i].min <= valueExtent_[i].max) {
        values.Add(valueExtent_[i].min);
        values.Add(valueExtent_[i].max);
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
