#include "StatisticsPanel.h"

#include <QApplication>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "analysis/Gaps.h"
#include "analysis/Report.h"
#include "analysis/SensorFigures.h"
#include "analysis/Verdict.h"
#include "chart/MeasurementChart.h"

namespace quarn::chart {

namespace {

// The rows of the statistics table, and the cell of analysis::StatisticsRow each one shows.
struct FigureRow {
  const char* caption;
  size_t cell;
};
constexpr FigureRow kFigureRows[] = {{"count", 1}, {"mean", 2},         {"sd", 3},       {"min", 4},
                                     {"max", 5},   {"peak-to-peak", 6}, {"drift / h", 7}};

// The response table's columns: time, label, the three times and the two levels.
constexpr int kResponseColumns = 7;
// The most the label column takes at first, in pixels.
constexpr int kLabelWidth = 100;

// Why a step's response times are provisional; empty when they are not.
QString ProvisionalReason(const analysis::StepResponse& step, const analysis::ResponseSettings& settings) {
  const QString window = QString::number(settings.windowSeconds);
  switch (step.settling) {
    case analysis::Settling::Settled: return {};
    case analysis::Settling::StillMoving:
      return QString(
                 "Provisional: the level after the step has not settled. Over the last %1 s before the next "
                 "marker or the end of the range it still moves by %2 % of the step per minute (settled is "
                 "at most %3 %).")
          .arg(window)
          .arg(std::abs(*step.slopeShare) * 100, 0, 'f', 1)
          .arg(settings.settledSlopePerMinute * 100);
    case analysis::Settling::WindowCutShort:
      return QString(
                 "Provisional: the step lasts less than the %1 s level window, so the level after it is "
                 "taken from the step itself.")
          .arg(window);
    case analysis::Settling::TooFewSamples:
      return QString(
                 "Provisional: the %1 s level window holds fewer than two samples, too few to tell whether "
                 "the level after the step has settled.")
          .arg(window);
    case analysis::Settling::NoStep:
      return "Provisional: there is no step to measure: a level before or after the marker is missing, or the two "
             "are equal.";
  }
  return {};
}

QTableWidget* NewTable(QWidget* parent, const char* name) {
  auto* table = new QTableWidget(parent);
  table->setObjectName(name);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  // A click gives the panel the focus, for Ctrl+C.
  table->setFocusPolicy(Qt::ClickFocus);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  return table;
}

// Sets a figure's text, keeping its item: a table whose figures change at every tick lays nothing out anew
// unless a text did change.
void SetFigure(QTableWidget* table, int row, int column, const QString& text) {
  QTableWidgetItem* item = table->item(row, column);
  if (!item) {
    item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->setItem(row, column, item);
  } else if (item->text() != text) {
    item->setText(text);
  }
}

// Header texts, set only where they changed, for the same reason.
void SetHeaderTexts(QTableWidget* table, Qt::Orientation orientation, const QStringList& texts) {
  const bool horizontal = orientation == Qt::Horizontal;
  for (int i = 0; i < texts.size(); ++i) {
    QTableWidgetItem* item = horizontal ? table->horizontalHeaderItem(i) : table->verticalHeaderItem(i);
    if (item && item->text() == texts[i]) continue;
    if (horizontal) {
      table->setHorizontalHeaderItem(i, new QTableWidgetItem(texts[i]));
    } else {
      table->setVerticalHeaderItem(i, new QTableWidgetItem(texts[i]));
    }
  }
}

}  // namespace

StatisticsPanel::StatisticsPanel(MeasurementChart& chart, QWidget* parent)
    : QWidget(parent),
      chart_(chart),
      rangeLabel_(new QLabel(this)),
      statistics_(NewTable(this, "statisticsTable")),
      responses_(NewTable(this, "responseTable")),
      windowBox_(new QDoubleSpinBox(this)),
      holdBox_(new QSpinBox(this)),
      copyButton_(new QPushButton("Copy", this)),
      wholeViewButton_(new QPushButton("Whole view", this)) {
  setObjectName("StatisticsPanel");
  // Narrow enough to leave the chart half of the smallest window; wider tables scroll.
  setMinimumWidth(220);
  rangeLabel_->setObjectName("statisticsRange");
  rangeLabel_->setWordWrap(true);
  // No Alt key of its own: the main window's toolbar has Alt+C.
  copyButton_->setObjectName("statisticsCopy");
  copyButton_->setToolTip("The figures as text, for a spreadsheet (Ctrl+C)");
  wholeViewButton_->setObjectName("statisticsWholeView");
  wholeViewButton_->setToolTip("Back to the visible range (Shift + drag on the chart selects a span)");
  windowBox_->setObjectName("responseWindow");
  windowBox_->setRange(1, 3600);
  windowBox_->setDecimals(0);
  windowBox_->setValue(analysis::ResponseSettings().windowSeconds);
  windowBox_->setSuffix(" s");
  holdBox_->setObjectName("responseHold");
  holdBox_->setRange(1, 100);
  holdBox_->setValue(analysis::ResponseSettings().holdSamples);
  holdBox_->setSuffix(" samples");

  statistics_->setRowCount(static_cast<int>(std::size(kFigureRows)));
  QStringList figureCaptions;
  for (const FigureRow& row : kFigureRows) figureCaptions << row.caption;
  statistics_->setVerticalHeaderLabels(figureCaptions);
  responses_->setColumnCount(kResponseColumns);
  // The times first, the levels last: what a datasheet quotes stays in view in a narrow panel.
  responses_->setHorizontalHeaderLabels({"Marker", "Label", "T10 s", "T50 s", "T90 s", "Before", "After"});
  responses_->verticalHeader()->setVisible(false);
  // Beside a chart that keeps half the window the panel is narrow: the label (cut short, whole in its tooltip)
  // and T10/T50/T90 come first; the marker's time and the levels follow.
  responses_->horizontalHeader()->moveSection(0, 4);
  responses_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Interactive);
  responses_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(responses_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    const int row = responses_->rowAt(pos.y());
    if (row < 0 || row >= static_cast<int>(steps_.size())) return;
    emit markerMenuRequested(steps_[static_cast<size_t>(row)].marker, responses_->viewport()->mapToGlobal(pos));
  });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(rangeLabel_);
  layout->addWidget(statistics_, 3);
  // Two rows, so that the panel fits beside a chart that keeps half of the smallest window.
  auto* settings = new QGridLayout;
  auto* windowLabel = new QLabel("Response levels over", this);
  auto* holdLabel = new QLabel("Crossing held for", this);
  windowLabel->setBuddy(windowBox_);
  holdLabel->setBuddy(holdBox_);
  const QString windowTip = "The levels before and after a step are averaged over this many seconds";
  const QString holdTip = "A level counts as crossed once this many samples in a row are past it";
  for (QWidget* widget : {static_cast<QWidget*>(windowLabel), static_cast<QWidget*>(windowBox_)}) {
    widget->setToolTip(windowTip);
  }
  for (QWidget* widget : {static_cast<QWidget*>(holdLabel), static_cast<QWidget*>(holdBox_)}) {
    widget->setToolTip(holdTip);
  }
  settings->addWidget(windowLabel, 0, 0);
  settings->addWidget(windowBox_, 0, 1);
  settings->addWidget(holdLabel, 1, 0);
  settings->addWidget(holdBox_, 1, 1);
  settings->setColumnStretch(2, 1);
  layout->addLayout(settings);
  layout->addWidget(responses_, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(wholeViewButton_);
  buttons->addStretch(1);
  buttons->addWidget(copyButton_);
  layout->addLayout(buttons);

  connect(copyButton_, &QPushButton::clicked, this, &StatisticsPanel::CopyToClipboard);
  auto* copy = new QShortcut(QKeySequence::Copy, this);
  copy->setContext(Qt::WidgetWithChildrenShortcut);
  connect(copy, &QShortcut::activated, this, &StatisticsPanel::CopyToClipboard);
  connect(wholeViewButton_, &QPushButton::clicked, &chart_, &MeasurementChart::ClearSpan);
  connect(&chart_, &MeasurementChart::spanChanged, this, &StatisticsPanel::ScheduleRefresh);
  connect(&chart_, &MeasurementChart::timeRangeChanged, this, &StatisticsPanel::ScheduleRefresh);
  connect(windowBox_, &QDoubleSpinBox::valueChanged, this, &StatisticsPanel::ScheduleRefresh);
  connect(holdBox_, &QSpinBox::valueChanged, this, &StatisticsPanel::ScheduleRefresh);
  ShowFigures();
}

void StatisticsPanel::SetRecords(const acquisition::MeasurementStore* store) {
  if (store == store_) return;
  store_ = store;
  index_.Clear();
}

void StatisticsPanel::SetSensors(const std::vector<SensorRecords>& sensors) {
  store_ = nullptr;
  index_.Clear();
  sensors_.clear();
  sensors_.resize(sensors.size());
  for (size_t i = 0; i < sensors.size(); ++i) {
    sensors_[i].store = sensors[i].store;
    sensors_[i].name = sensors[i].name;
  }
  ScheduleRefresh();
}

void StatisticsPanel::ResetSensor(int sensor) {
  sensors_[static_cast<size_t>(sensor)].index.Clear();
  ScheduleRefresh();
}

void StatisticsPanel::SetSensorName(int sensor, const QString& name) {
  sensors_[static_cast<size_t>(sensor)].name = name;
  ScheduleRefresh();
}

void StatisticsPanel::SetLimits(std::optional<analysis::AcceptanceLimits> limits) {
  limits_ = std::move(limits);
  ScheduleRefresh();
}

void StatisticsPanel::Reset() {
  index_.Clear();
  for (Sensor& sensor : sensors_) sensor.index.Clear();
  figures_ = {};
  steps_.clear();
  if (!sensors_.empty()) {
    ScheduleRefresh();
    return;
  }
  ShowFigures();
}

void StatisticsPanel::SetMarkers(std::vector<analysis::Marker> markers) {
  markers_ = std::move(markers);
  ScheduleRefresh();
}

void StatisticsPanel::ScheduleRefresh() {
  if (refreshScheduled_) return;
  refreshScheduled_ = true;
  QTimer::singleShot(0, this, [this] { Refresh(); });
}

void StatisticsPanel::Refresh() {
  refreshScheduled_ = false;
  figures_ = {};
  steps_.clear();
  sensorFigures_.clear();
  figureSensors_.clear();
  stepSensors_.clear();
  verdicts_.clear();
  if (!sensors_.empty()) {
    const bool span = chart_.HasSpan();
    const double from = span ? chart_.Span().first : chart_.TimeMin();
    const double to = span ? chart_.Span().second : chart_.TimeMax();
    if (chart_.HasSeries() && chart_.PointCount() > 0) {
      RefreshSensors(from, to);
      rangeLabel_->setText(QString("%1: %2 – %3, %4 sensors")
                               .arg(span ? "Selected span" : "Visible range", ClockText(from), ClockText(to))
                               .arg(figureSensors_.size()));
    } else {
      rangeLabel_->setText("No records in view");
    }
    ShowSensorFigures();
    return;
  }
  // A store emptied behind the index's back (a new run) starts the index afresh.
  if (store_ && store_->Count() < index_.Size()) index_.Clear();
  if (store_ && chart_.HasSeries() && chart_.PointCount() > 0) {
    const analysis::StoreRecords records(*store_);
    index_.Update(records);
    const bool span = chart_.HasSpan();
    const double from = span ? chart_.Span().first : chart_.TimeMin();
    const double to = span ? chart_.Span().second : chart_.TimeMax();
    const auto [first, last] = analysis::IndexRange(records, from, to);
    figures_ = index_.Query(records, first, last);
    const std::vector<analysis::Marker> inRange = StepMarkers(from, to);
    if (!inRange.empty()) {
      steps_ = analysis::ResponseTimes(analysis::RangeRecords(records, first, last), inRange, Settings());
    }
    rangeLabel_->setText(QString("%1: %2 – %3, %4 records")
                             .arg(span ? "Selected span" : "Visible range", ClockText(from), ClockText(to))
                             .arg(figures_.Count()));
  } else {
    rangeLabel_->setText("No records in view");
  }
  ShowFigures();
}

std::vector<analysis::Marker> StatisticsPanel::StepMarkers(double from, double to) const {
  // Gap markers included: the response times need them to know where records are missing.
  std::vector<analysis::Marker> inRange;
  for (const analysis::Marker& marker : markers_) {
    if (marker.time >= from && marker.time <= to) inRange.push_back(marker);
  }
  return inRange;
}

void StatisticsPanel::RefreshSensors(double from, double to) {
  const std::vector<analysis::Marker> inRange = StepMarkers(from, to);
  for (size_t s = 0; s < sensors_.size(); ++s) {
    Sensor& sensor = sensors_[s];
    if (!sensor.store || !chart_.SensorVisible(static_cast<int>(s))) continue;
    // A store read again from its start behind the index's back starts the index afresh.
    if (sensor.store->Count() < sensor.index.Size()) sensor.index.Clear();
    const analysis::StoreRecords records(*sensor.store);
    sensor.index.Update(records);
    const auto [first, last] = analysis::IndexRange(records, from, to);
    sensorFigures_.push_back(sensor.index.Query(records, first, last));
    figureSensors_.push_back(static_cast<int>(s));
    // Only the markers within the sensor's own records start a step of its.
    std::vector<analysis::Marker> own;
    for (const analysis::Marker& marker : inRange) {
      if (first < last && marker.time >= records.TimeAt(first) && marker.time <= records.TimeAt(last - 1))
        own.push_back(marker);
    }
    // The figures and verdicts quarn-analyze gives for a file, by the same code.
    analysis::SensorFigures figures =
        analysis::FiguresOf(records, sensorFigures_.back(), own, Settings(), {sensor.name.toStdString(), ""});
    if (limits_) verdicts_.push_back(first < last ? analysis::Judge(*limits_, figures).overall.Text() : std::string());
    for (analysis::StepResponse& step : figures.steps) {
      steps_.push_back(std::move(step));
      stepSensors_.push_back(static_cast<int>(s));
    }
  }
}

analysis::ResponseSettings StatisticsPanel::Settings() const {
  analysis::ResponseSettings settings;
  settings.windowSeconds = windowBox_->value();
  settings.holdSamples = holdBox_->value();
  return settings;
}

void StatisticsPanel::ShowFigures() {
  shownSeries_.clear();
  for (size_t k = 0; k < analysis::kSeriesCount; ++k) {
    if (chart_.SeriesVisible(static_cast<int>(k)) || (k == analysis::kConcentration && !chart_.HasSeries())) {
      shownSeries_.push_back(k);
    }
  }
  statistics_->setColumnCount(static_cast<int>(shownSeries_.size()));
  QStringList names;
  for (size_t k : shownSeries_) names << QString::fromUtf8(analysis::kSeriesNames[k].data());
  statistics_->setHorizontalHeaderLabels(names);
  for (int c = 0; c < static_cast<int>(shownSeries_.size()); ++c) {
    const analysis::Row row = analysis::StatisticsRow(shownSeries_[c], figures_.series[shownSeries_[c]]);
    for (int r = 0; r < static_cast<int>(std::size(kFigureRows)); ++r) {
      auto* item = new QTableWidgetItem(QString::fromStdString(row[kFigureRows[r].cell]));
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      statistics_->setItem(r, c, item);
    }
  }
  ShowResponses();
}

void StatisticsPanel::ShowResponses() {
  responses_->setRowCount(static_cast<int>(steps_.size()));
  for (int r = 0; r < static_cast<int>(steps_.size()); ++r) {
    const analysis::Row row = analysis::ResponseRow(steps_[r]);
    const QString provisional = ProvisionalReason(steps_[r], Settings());
    // Whether the step settled is not a column of its own here: its figures are greyed instead.
    for (int c = 0; c < kResponseColumns; ++c) {
      QString text = QString::fromStdString(row[c]);
      if (text.isEmpty() && c >= 2) text = c < 4 ? "-" : "not reached";
      // The time of day is enough beside the chart; the whole text is in the tooltip and in a copy.
      if (c == 0) text = ClockText(steps_[r].marker.time);
      auto* item = new QTableWidgetItem(text);
      if (c <= 1) item->setToolTip(QString::fromStdString(row[c]));
      if (c >= 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      // The level after and the times hang on that level: greyed, with the reason.
      if (c >= 3 && !provisional.isEmpty()) {
        item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
        item->setToolTip(provisional);
      }
      // The row's cells: time, label, then T10, T50, T90, then the levels.
      const int column = c < 2 ? c : c < 4 ? c + 3 : c - 2;
      responses_->setItem(r, column, item);
    }
  }
  responses_->resizeColumnToContents(1);
  responses_->setColumnWidth(1, std::min(responses_->columnWidth(1), kLabelWidth));
}

void StatisticsPanel::ShowSensorFigures() {
  const size_t series = static_cast<size_t>(chart_.SensorSeries());
  // A row per sensor: its name, then the figures of the series shown (the series' name is left out), then
  // its verdict when limits are set.
  const int figureColumns = static_cast<int>(std::size(kFigureRows));
  statistics_->setColumnCount(figureColumns + (limits_ ? 1 : 0));
  QStringList captions;
  for (const FigureRow& row : kFigureRows) captions << row.caption;
  if (limits_) captions << "verdict";
  SetHeaderTexts(statistics_, Qt::Horizontal, captions);
  statistics_->setRowCount(static_cast<int>(figureSensors_.size()));
  // Columns fitted to their contents once for all the figures, not once for each.
  statistics_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  QStringList names;
  for (size_t r = 0; r < figureSensors_.size(); ++r) {
    names << sensors_[static_cast<size_t>(figureSensors_[r])].name;
    const analysis::Row row = analysis::StatisticsRow(series, sensorFigures_[r].series[series]);
    for (int c = 0; c < static_cast<int>(std::size(kFigureRows)); ++c)
      SetFigure(statistics_, static_cast<int>(r), c, QString::fromStdString(row[kFigureRows[c].cell]));
    if (limits_) {
      const QString verdict = QString::fromStdString(verdicts_[r]);
      SetFigure(statistics_, static_cast<int>(r), figureColumns, verdict);
      QTableWidgetItem* item = statistics_->item(static_cast<int>(r), figureColumns);
      item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      item->setToolTip(verdict);
      item->setForeground(verdict.startsWith("FAIL") ? QColor(0xC0, 0x00, 0x00) : palette().color(QPalette::Text));
    }
  }
  statistics_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  SetHeaderTexts(statistics_, Qt::Vertical, names);
  ShowResponses();
  // Each response row names its sensor.
  QStringList stepNames;
  for (int sensor : stepSensors_) stepNames << sensors_[static_cast<size_t>(sensor)].name;
  responses_->verticalHeader()->setVisible(true);
  SetHeaderTexts(responses_, Qt::Vertical, stepNames);
}

QString StatisticsPanel::Text() const {
  auto line = [](const analysis::Row& row) {
    QStringList cells;
    for (const std::string& cell : row) cells << QString::fromStdString(cell);
    return cells.join('\t') + '\n';
  };
  if (!sensors_.empty()) {
    // The sensor's name first in every row.
    auto named = [](const std::string& name, analysis::Row row) {
      row.insert(row.begin(), name);
      return row;
    };
    const size_t series = static_cast<size_t>(chart_.SensorSeries());
    analysis::Row header = named("sensor", analysis::StatisticsHeader());
    if (limits_) header.push_back("verdict");
    QString text = line(header);
    for (size_t r = 0; r < figureSensors_.size(); ++r) {
      analysis::Row row = named(sensors_[static_cast<size_t>(figureSensors_[r])].name.toStdString(),
                                analysis::StatisticsRow(series, sensorFigures_[r].series[series]));
      if (limits_) row.push_back(verdicts_[r]);
      text += line(row);
    }
    if (!steps_.empty()) {
      text += '\n' + line(named("sensor", analysis::ResponseHeader()));
      for (size_t r = 0; r < steps_.size(); ++r) {
        text += line(
            named(sensors_[static_cast<size_t>(stepSensors_[r])].name.toStdString(), analysis::ResponseRow(steps_[r])));
      }
    }
    return text;
  }
  QString text = line(analysis::StatisticsHeader());
  for (size_t k : shownSeries_) text += line(analysis::StatisticsRow(k, figures_.series[k]));
  if (!steps_.empty()) {
    text += '\n' + line(analysis::ResponseHeader());
    for (const analysis::StepResponse& step : steps_) text += line(analysis::ResponseRow(step));
  }
  return text;
}

void StatisticsPanel::CopyToClipboard() { QApplication::clipboard()->setText(Text()); }

QString StatisticsPanel::ClockText(double days) const {
  return QString::fromStdString(acquisition::LocalClockText(days, regional_));
}

}  // namespace quarn::chart
