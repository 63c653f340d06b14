#pragma once

#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "analysis/Limits.h"
#include "base/MessageBoxes.h"
#include "chart/FileChooser.h"
#include "datafile/DataFileReader.h"

class QWidget;

namespace quarn::chart {
class MeasurementChart;
}

namespace quarn::review {

// A data file as a window read it: the path and the reading its dates were taken with.
struct ReportedFile {
  QString path;
  datafile::ReadOptions reading;
};

// "Export report…": asks where to save (suggested beside the first file, "<its name>.pdf"), writes the evaluation
// report of the files through the same analysis as quarn-analyze --report, the chart over the range the
// window's chart shows (the whole run while its time axis scales itself), judged by limits when given. A report
// that cannot be written gets an error box and leaves no file. The path written, or nothing (cancelled, failed).
std::optional<QString> ExportReportAsked(QWidget* parent, chart::FileChooser& files, base::MessageBoxes& boxes,
                                         const std::vector<ReportedFile>& reported,
                                         const chart::MeasurementChart& chart,
                                         const std::optional<analysis::AcceptanceLimits>& limits,
                                         const QString& limitsFile);

}  // namespace quarn::review
