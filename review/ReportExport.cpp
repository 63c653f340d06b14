#include "review/ReportExport.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include "chart/ChartExport.h"
#include "chart/MeasurementChart.h"
#include "report/ReportFiles.h"

namespace quarn::review {

std::optional<QString> ExportReportAsked(QWidget* parent, chart::FileChooser& files, base::MessageBoxes& boxes,
                                         const std::vector<ReportedFile>& reported,
                                         const chart::MeasurementChart& chart,
                                         const std::optional<analysis::AcceptanceLimits>& limits,
                                         const QString& limitsFile) {
  if (reported.empty()) return std::nullopt;
  const QString first = reported.front().path;
  const std::optional<chart::FileChooser::SaveChoice> choice =
      files.SavePath(parent, "Export report",
                     chart::SuggestedExportPath(QFileInfo(first).path(), first, "report", "pdf"), "PDF (*.pdf)");
  if (!choice) return std::nullopt;
  QString path = choice->path;
  if (QFileInfo(path).suffix().isEmpty()) path += ".pdf";

  report::ReportRequest request;
  request.settings.limits = limits;
  request.settings.limitsFile = limitsFile.toStdString();
  if (!chart.AutoTime()) request.settings.chartSpan = std::pair(chart.TimeMin(), chart.TimeMax());
  for (const ReportedFile& file : reported) request.files.push_back({file.path, file.reading});
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const std::optional<std::string> failure = report::WriteReportOfFiles(path, request);
  QApplication::restoreOverrideCursor();
  if (failure) {
    boxes.Show(
        base::BoxKind::Error, base::BoxButtons::Ok,
        ("The report could not be written to " + QDir::toNativeSeparators(path) + ".\n").toStdString() + *failure);
    return std::nullopt;
  }
  return path;
}

}  // namespace quarn::review
