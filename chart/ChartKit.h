#pragma once

// The chart kit's window parts, declared for the windows that hold them by pointer.
namespace quarn::chart {
class MeasurementChart;
class RecordTableModel;
class RecordTable;
class StatisticsPanel;
}  // namespace quarn::chart
