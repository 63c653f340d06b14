#include "ExportActions.h"

#include <QDir>
#include <string>

#include "analysis/RecordSource.h"
#include "chart/ChartExport.h"
#include "chart/MeasurementChart.h"
#include "chart/RunWithProgress.h"
#include "datafile/CsvExport.h"

namespace quarn::chart {

namespace {

void ShowError(base::MessageBoxes& boxes, const QString& text) {
  boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, text.toStdString());
}

}  // namespace

std::optional<QString> ExportChartAsked(QWidget* parent, MeasurementChart& chart, FileChooser& files,
                                        base::MessageBoxes& boxes, const QString& suggestedPath) {
  if (!chart.HasSeries()) {
    boxes.Show(base::BoxKind::Information, base::BoxButtons::Ok, "There is no chart to export yet.");
    return std::nullopt;
  }
  const auto choice = files.SavePath(parent, "Export chart", suggestedPath, PictureFilters());
  if (!choice) return std::nullopt;
  const auto format = PictureFormatFor(choice->path, choice->filter);
  if (!format) {
    ShowError(boxes, "Choose a picture type: PNG, SVG or PDF.");
    return std::nullopt;
  }
  const auto size = files.PictureSize(parent, SuggestedPictureSize(chart, *format), *format);
  if (!size) return std::nullopt;
  const QString path = WithPictureExtension(choice->path, *format);
  QString reason;
  // As much detail as the picture's width can show, then the screen's again.
  const bool pdf = *format == PictureFormat::Pdf;
  chart.ShowDetailFor(pdf ? qRound(size->width() / 25.4 * chart.logicalDpiX()) : size->width());
  const bool exported = ExportChartPicture(*chart.Plot(), path, *format, *size, reason);
  chart.Refresh();
  if (!exported) {
    ShowError(boxes, "The chart was not exported.\n" + reason);
    return std::nullopt;
  }
  return path;
}

std::optional<size_t> ExportDataAsked(QWidget* parent, const MeasurementChart& chart,
                                      const acquisition::MeasurementStore& store, FileChooser& files,
                                      base::MessageBoxes& boxes, const QString& suggestedPath) {
  const auto [first, last] = chart.PointCount() > 0
                                 ? analysis::IndexRange(analysis::StoreRecords(store), chart.TimeMin(), chart.TimeMax())
                                 : std::pair<size_t, size_t>{0, 0};
  if (first == last) {
    boxes.Show(base::BoxKind::Information, base::BoxButtons::Ok, "No records lie in the time range shown.");
    return std::nullopt;
  }
  const auto choice = files.SavePath(parent, "Export data", suggestedPath, "CSV file (*.csv)");
  if (!choice) return std::nullopt;
  const std::string path = QDir::toNativeSeparators(WithCsvExtension(choice->path)).toStdString();
  std::string error;
  bool written = false;
  RunWithProgress(parent, QString("Writing %1 records…").arg(last - first),
                  [&](std::stop_token stop, TaskProgress& progress) {
                    progress.total = last - first;
                    try {
                      written = datafile::ExportCsv(path, store, first, last, [&](size_t done, size_t) {
                        progress.done = done;
                        return !stop.stop_requested();
                      });
                    } catch (const std::exception& e) {
                      error = e.what();
                    }
                  });
  if (!error.empty()) {
    ShowError(boxes, "The data was not exported.\n" + QString::fromStdString(error));
    return std::nullopt;
  }
  if (!written) return std::nullopt;
  return last - first;
}

}  // namespace quarn::chart
