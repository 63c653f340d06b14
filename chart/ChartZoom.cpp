#include "ChartZoom.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "chart/MeasurementChart.h"
#include "chart/ZoomLogic.h"

namespace quarn::chart {

namespace {

// A view holds at least a second: records come at most twice a second.
constexpr double kMinTimeSpanDays = 1.0 / 86400;

void SetTimeRange(MeasurementChart& chart, const std::optional<std::pair<double, double>>& range) {
  // Without a new range the axis still leaves automatic scaling where it is.
  chart.SetTimeRange(range ? range->first : chart.TimeMin(), range ? range->second : chart.TimeMax());
  chart.Refresh();
}

}  // namespace

void ZoomTimeInStep(MeasurementChart& chart) {
  if (!chart.HasSeries() || chart.PointCount() == 0) return;
  SetTimeRange(chart, ZoomTimeIn(chart.TimeMin(), chart.TimeMax(), kMinTimeSpanDays));
}

void ZoomTimeOutStep(MeasurementChart& chart) {
  const auto times = chart.RecordTimes();
  if (!times) return;
  SetTimeRange(chart, ZoomTimeOut(chart.TimeMin(), chart.TimeMax(), times->first, times->second));
}

void ZoomValueInStep(MeasurementChart& chart) {
  if (!chart.HasSeries()) return;
  if (const auto range = ZoomValueIn(chart.ValueMin(), chart.ValueMax())) {
    chart.SetValueRange(range->first, range->second);
  } else {
    chart.SetValueRange(chart.ValueMin(), chart.ValueMax());
  }
  chart.Refresh();
}

void ZoomValueOutStep(MeasurementChart& chart) {
  if (!chart.HasSeries()) return;
  const auto range = ZoomValueOut(chart.ValueMin(), chart.ValueMax());
  chart.SetValueRange(range.first, range.second);
  chart.Refresh();
}

void ZoomResetStep(MeasurementChart& chart) { chart.SetAutoScale(); }

QWidget* ZoomButtonRow(MeasurementChart& chart, QWidget* parent) {
  auto* zoom = new QWidget(parent);
  auto* layout = new QHBoxLayout(zoom);
  layout->setContentsMargins(0, 0, 0, 0);
  const std::pair<const char*, void (*)(MeasurementChart&)> zooms[] = {{"X+", &ZoomTimeInStep},
                                                                       {"X-", &ZoomTimeOutStep},
                                                                       {"Y+", &ZoomValueInStep},
                                                                       {"Y-", &ZoomValueOutStep},
                                                                       {"Reset", &ZoomResetStep}};
  for (const auto& [caption, step] : zooms) {
    auto* button = new QPushButton(caption, zoom);
    button->setObjectName(QString("zoom") + caption);
    button->setToolTip(ZoomToolTip(caption));
    button->setAutoDefault(false);
    button->setMinimumWidth(10);
    QObject::connect(button, &QPushButton::clicked, &chart, [&chart, step = step] { step(chart); });
    layout->addWidget(button);
  }
  return zoom;
}

QString ZoomToolTip(const QString& caption) {
  if (caption == "X+") return "Zooms in on time around the middle of the view";
  if (caption == "X-") return "Zooms out on time around the middle of the view";
  if (caption == "Y+") return "Zooms in on the values";
  if (caption == "Y-") return "Zooms out on the values";
  return "Shows all the data again";
}

}  // namespace quarn::chart
