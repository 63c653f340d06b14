#pragma once

#include <functional>

#include "chart/ChartKit.h"

class QMainWindow;
class QWidget;

namespace quarn::review {

// The parts of a review or bench window that show records.
struct ChartAndTable {
  chart::MeasurementChart* chart = nullptr;
  chart::RecordTableModel* tableModel = nullptr;
  chart::RecordTable* table = nullptr;
  chart::StatisticsPanel* statistics = nullptr;
};

// The layout both windows share: the panel leftPanel builds (called with the chart once it exists) at the left, the
// chart above the record table (3 : 1) beside it, tableTop (if any) just above the table, and the statistics panel
// docked at the right. The table ("SG1") shows whole seconds and every column.
ChartAndTable BuildChartAndTable(QMainWindow& window,
                                 const std::function<QWidget*(chart::MeasurementChart&)>& leftPanel,
                                 QWidget* tableTop = nullptr);

}  // namespace quarn::review
