#pragma once

#include <QString>
#include <cstddef>
#include <optional>

#include "acquisition/MeasurementStore.h"
#include "base/MessageBoxes.h"
#include "chart/FileChooser.h"

class QWidget;

namespace quarn::chart {

class MeasurementChart;

// The export menu items of the live and the review window: they ask with the window's chooser, write, and
// show failures in a box.

// "Export chart…": the chart as shown, to PNG, SVG or PDF at a chosen size. The path written, or nothing.
std::optional<QString> ExportChartAsked(QWidget* parent, MeasurementChart& chart, FileChooser& files,
                                        base::MessageBoxes& boxes, const QString& suggestedPath);

// "Export data…": the records of store that lie in the chart's visible time range, to CSV, written on a
// worker thread behind a progress dialog with Cancel. The store must not be emptied meanwhile (the progress
// dialog holds the window). The number of records written, or nothing (cancelled, failed, nothing to write).
std::optional<size_t> ExportDataAsked(QWidget* parent, const MeasurementChart& chart,
                                      const acquisition::MeasurementStore& store, FileChooser& files,
                                      base::MessageBoxes& boxes, const QString& suggestedPath);

}  // namespace quarn::chart
