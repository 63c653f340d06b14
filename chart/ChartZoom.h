#pragma once

#include <QString>

class QWidget;

namespace quarn::chart {

class MeasurementChart;

// The zoom buttons "X+", "X-", "Y+", "Y-" and "Reset" on a chart, the same in every window that shows one.
// Each does nothing while the chart holds no series (the time steps also while it has no points) and
// repaints the chart. The time steps zoom by time around the view's centre.
void ZoomTimeInStep(MeasurementChart& chart);
void ZoomTimeOutStep(MeasurementChart& chart);
void ZoomValueInStep(MeasurementChart& chart);
void ZoomValueOutStep(MeasurementChart& chart);
void ZoomResetStep(MeasurementChart& chart);
// What the zoom button with this caption does, as its tooltip.
QString ZoomToolTip(const QString& caption);
// A row of the five zoom buttons ("zoomX+" ... "zoomReset") on chart.
QWidget* ZoomButtonRow(MeasurementChart& chart, QWidget* parent);

}  // namespace quarn::chart
