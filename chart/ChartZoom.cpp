#include "ChartZoom.h"

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
  if (!chart.HasSeries() || chart.PointCount() == 0) return;
  SetTimeRange(chart,
               ZoomTimeOut(chart.TimeMin(), chart.TimeMax(), chart.PointX(0), chart.PointX(chart.PointCount() - 1)));
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

QString ZoomToolTip(const QString& caption) {
  if (caption == "X+") return "Zooms in on time around the middle of the view";
  if (caption == "X-") return "Zooms out on time around the middle of the view";
  if (caption == "Y+") return "Zooms in on the values";
  if (caption == "Y-") return "Zooms out on the values";
  return "Shows all the data again";
}

}  // namespace quarn::chart
