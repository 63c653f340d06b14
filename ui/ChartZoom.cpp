#include "ChartZoom.h"

#include "ui/MeasurementChart.h"
#include "ui/ZoomLogic.h"

namespace quarn::ui {

void ZoomTimeInStep(MeasurementChart& chart) {
  int f, l;
  if (!chart.HasSeries() || !chart.VisiblePoints(f, l)) return;
  if (const auto range = ZoomTimeIn(f, l)) {
    chart.SetTimeRange(chart.PointX(range->first), chart.PointX(range->second));
  } else {
    chart.SetTimeRange(chart.TimeMin(), chart.TimeMax());
  }
  chart.Refresh();
}

void ZoomTimeOutStep(MeasurementChart& chart) {
  int f, l;
  if (!chart.HasSeries() || !chart.VisiblePoints(f, l)) return;
  if (const auto range = ZoomTimeOut(f, l, chart.PointCount())) {
    chart.SetTimeRange(chart.PointX(range->first), chart.PointX(range->second));
  } else {
    chart.SetTimeRange(chart.TimeMin(), chart.TimeMax());
  }
  chart.Refresh();
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

}  // namespace quarn::ui
