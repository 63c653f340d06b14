#include "ReviewWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "chart/ChartExport.h"
#include "chart/ChartZoom.h"
#include "chart/ExportActions.h"
#include "chart/MeasurementChart.h"
#include "chart/RecordTable.h"
#include "chart/RecordTableModel.h"
#include "chart/StatisticsPanel.h"
#include "review/DataFileTexts.h"
#include "review/MarkersAndStatistics.h"
#include "review/ReportExport.h"
#include "review/WindowLayout.h"
#include "widgets/Heading.h"
#include "widgets/IdentityTable.h"

namespace quarn::review {

namespace {

// The values of one identity row over the runs, each once, in file order.
QString RunValues(const std::vector<datafile::Run>& runs, std::string datafile::Run::*field) {
  QStringList values;
  for (const datafile::Run& run : runs) {
    const QString value = QString::fromStdString(run.*field);
    if (!value.isEmpty() && !values.contains(value)) values << value;
  }
  return values.join(", ");
}

}  // namespace

ReviewWindow* ReviewWindow::Open(const QString& path, base::MessageBoxes& boxes, chart::FileChooser& files) {
  const datafile::DateOrder order = LocaleDateOrder();
  if (const auto problem = DataFileProblem(path, order)) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok,
               ("Cannot open " + QFileInfo(path).fileName() + " for review.\n" + *problem).toStdString());
    return nullptr;
  }
  auto* window = new ReviewWindow(path, order, boxes, files);
  window->show();
  return window;
}

ReviewWindow::ReviewWindow(const QString& path, datafile::DateOrder dateOrder, base::MessageBoxes& boxes,
                           chart::FileChooser& files, std::optional<datafile::DateOrder> chosenOrder)
    : QMainWindow(nullptr),
      path_(path),
      boxes_(boxes),
      files_(files),
      localeOrder_(dateOrder),
      chosenOrder_(chosenOrder) {
  setObjectName("ReviewWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QFileInfo(path).fileName() + " (reading\u2026)");
  BuildMenus();

  const ChartAndTable parts = BuildChartAndTable(*this, [this](chart::MeasurementChart& chart) {
    chart_ = &chart;
    return BuildLeftPanel();
  });
  chart_ = parts.chart;
  tableModel_ = parts.tableModel;
  table_ = parts.table;
  statistics_ = parts.statistics;

  // A file shows every series and every column; the legend hides what is not wanted.
  chart_->SetRecords(&store_);
  chart_->CreateSeries();
  chart_->SetAdvanced(true);
  tableModel_->SetRecords(&store_);
  statistics_->SetRecords(&store_);

  auto* status = new QStatusBar(this);
  progress_ = new QProgressBar(status);
  progress_->setObjectName("loadProgress");
  progress_->setRange(0, 1000);
  cancelButton_ = new QPushButton("Cancel", status);
  cancelButton_->setObjectName("cancelLoad");
  connect(cancelButton_, &QPushButton::clicked, this, [this] { loader_.RequestStop(); });
  status->addPermanentWidget(progress_);
  status->addPermanentWidget(cancelButton_);
  setStatusBar(status);

  resize(1200, 760);
  StartLoading(dateOrder);
}

ReviewWindow::~ReviewWindow() { loader_.Stop(); }

void ReviewWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("File");
  exportChart_ = file->addAction("Export chart\u2026", this, &ReviewWindow::ExportChart);
  exportChart_->setObjectName("menuExportChart");
  exportData_ = file->addAction("Export data\u2026", this, &ReviewWindow::ExportData);
  exportData_->setObjectName("menuExportData");
  exportReport_ = file->addAction("Export report\u2026", this, &ReviewWindow::ExportReport);
  exportReport_->setObjectName("menuExportReport");
  file->addSeparator();
  QAction* close = file->addAction("Close", this, &QWidget::close);
  close->setShortcut(QKeySequence::Close);

  // For a file whose dates and name leave the order open.
  QMenu* dates = menuBar()->addMenu("Dates");
  dates->setObjectName("menuDates");
  for (const auto& [text, order] : {std::pair{"Day first (dmy)", datafile::DateOrder::DayMonthYear},
                                    {"Month first (mdy)", datafile::DateOrder::MonthDayYear},
                                    {"Year first (ymd)", datafile::DateOrder::YearMonthDay}}) {
    QAction* action = dates->addAction(text, this, [this, order] { ReadDatesAs(order); });
    action->setCheckable(true);
    action->setChecked(chosenOrder_ == order);
  }
}

QWidget* ReviewWindow::BuildLeftPanel() {
  auto* panel = new QWidget(this);
  panel->setFixedWidth(260);
  auto* layout = new QVBoxLayout(panel);
  layout->addWidget(widgets::Heading("Information", 1.0, panel, Qt::AlignCenter));
  identityTable_ = widgets::IdentityTable({"Port", "Serial Number", "Firmware rev."}, panel);
  layout->addWidget(identityTable_);

  layout->addWidget(widgets::Heading("Runs", 1.0, panel, Qt::AlignCenter));
  runList_ = new QListWidget(panel);
  runList_->setObjectName("runList");
  runList_->setWordWrap(true);
  layout->addWidget(runList_, 1);

  layout->addWidget(widgets::Heading("Zoom", 1.0, panel, Qt::AlignCenter));
  QWidget* zoom = chart::ZoomButtonRow(*chart_, panel);
  layout->addWidget(zoom);

  layout->addWidget(widgets::Heading("File", 1.0, panel, Qt::AlignCenter));
  notes_ = new QLabel(panel);
  notes_->setObjectName("fileNotes");
  notes_->setWordWrap(true);
  notes_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(notes_);
  return panel;
}

QString ReviewWindow::IdentityRow(const QString& row) const { return widgets::IdentityValue(*identityTable_, row); }

QString ReviewWindow::FileNotes() const { return notes_->text(); }

// ---- loading -----------------------------------------------------------------------------------------

void ReviewWindow::StartLoading(datafile::DateOrder dateOrder) {
  exportChart_->setEnabled(false);
  exportData_->setEnabled(false);
  exportReport_->setEnabled(false);
  notes_->setText("Reading\u2026");
  datafile::ReadOptions named;
  SetLocaleMonthNames(named);  // here: the default locale is the window's
  const auto read = [this, dateOrder, chosenOrder = chosenOrder_, named,
                     path = path_.toStdString()](std::stop_token stop) {
    datafile::ReadOptions options = named;
    options.localeOrder = dateOrder;
    options.chosenOrder = chosenOrder;
    options.progress = [this, &stop](uint64_t done, uint64_t total) {
      doneBytes_ = done;
      totalBytes_ = total;
      return !stop.stop_requested();
    };
    try {
      result_ = datafile::ReadDataFile(path, options, store_);
    } catch (const std::exception& error) {
      loadError_ = error.what();
    }
  };
  loader_.Start(
      read, [this] { ShowProgress(); }, [this] { FinishLoading(); });
}

void ReviewWindow::ReadDatesAs(datafile::DateOrder order) {
  auto* window = new ReviewWindow(path_, localeOrder_, boxes_, files_, order);
  window->show();
  close();
}

void ReviewWindow::ShowReadSoFar() {
  // The store only grows while the worker reads, which the chart and the table may read meanwhile.
  const size_t count = store_.Count();
  chart_->ShowRecords(count);
  tableModel_->ShowRecords(count);
  chart_->Refresh();
}

void ReviewWindow::ShowProgress() {
  const uint64_t total = totalBytes_.load();
  if (total > 0) progress_->setValue(static_cast<int>(std::min<uint64_t>(1000, doneBytes_.load() * 1000 / total)));
  ShowReadSoFar();
}

void ReviewWindow::FinishLoading() {
  ShowReadSoFar();
  progress_->hide();
  cancelButton_->hide();

  QStringList notes;
  if (!loadError_.empty()) {
    // The beginning read as a data file, but the rest could not be read: what was read stays.
    notes << QString::fromStdString(loadError_);
    boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok,
                ("Reading " + QFileInfo(path_).fileName() + " stopped.\n").toStdString() + loadError_);
  }
  if (result_.cancelled) notes << QString("Reading cancelled: %1 records read.").arg(store_.Count());
  notes << QString("%1 records in %2 lines.").arg(store_.Count()).arg(result_.lines);
  const std::string skipped = datafile::SkippedLinesText(result_);
  notes << (skipped.empty() ? QString("No line skipped.") : QString::fromStdString(skipped));
  if (!result_.dateReading.empty()) notes << QString::fromStdString(result_.dateReading);
  notes_->setText(notes.join("\n"));

  const auto& runs = result_.runs;
  identityTable_->item(0, 1)->setText(RunValues(runs, &datafile::Run::port));
  identityTable_->item(1, 1)->setText(RunValues(runs, &datafile::Run::serialNumber));
  identityTable_->item(2, 1)->setText(RunValues(runs, &datafile::Run::firmware));
  std::vector<chart::MeasurementChart::RunBoundary> boundaries;
  for (size_t i = 0; i < runs.size(); ++i) {
    const bool hasRecords = runs[i].recordCount > 0 && runs[i].firstRecord < store_.Count();
    const double first = hasRecords ? store_.At(runs[i].firstRecord).DT : 0;
    runList_->addItem(RunDescription(runs[i], i, first));
    // A boundary where each run begins, the first too when there are several.
    if (hasRecords && runs.size() > 1) boundaries.push_back({first, RunLabel(runs[i], i)});
  }
  chart_->SetRunBoundaries(boundaries);
  ShowMarkers(ReadFileMarkers(path_.toStdString(), result_.dateOrder, notes, &store_), *chart_, *statistics_);
  notes_->setText(notes.join("\n"));
  chart_->Refresh();
  statistics_->Refresh();
  setWindowTitle(ReviewTitle(path_, store_));
  exportChart_->setEnabled(store_.Count() > 0);
  exportData_->setEnabled(store_.Count() > 0);
  exportReport_->setEnabled(store_.Count() > 0);
}

// ---- export and close ---------------------------------------------------------------------------------

void ReviewWindow::ExportChart() {
  if (loader_.Running() || exporting_) return;
  exporting_ = true;
  if (const auto path = chart::ExportChartAsked(
          this, *chart_, files_, boxes_, chart::SuggestedExportPath(QFileInfo(path_).path(), path_, "chart", "png"))) {
    statusBar()->showMessage("Chart exported to " + QDir::toNativeSeparators(*path), 10000);
  }
  exporting_ = false;
}

void ReviewWindow::ExportData() {
  if (loader_.Running() || exporting_) return;
  exporting_ = true;
  if (const auto count =
          chart::ExportDataAsked(this, *chart_, store_, files_, boxes_,
                                 chart::SuggestedExportPath(QFileInfo(path_).path(), path_, "data", "csv"))) {
    statusBar()->showMessage(QString("%1 records exported.").arg(*count), 10000);
  }
  exporting_ = false;
}

void ReviewWindow::ExportReport() {
  if (loader_.Running() || exporting_) return;
  exporting_ = true;
  // The file as this window read it: the same dates, so the same records as the window shows.
  ReportedFile reported{path_, {}};
  SetLocaleMonthNames(reported.reading);
  reported.reading.localeOrder = localeOrder_;
  reported.reading.chosenOrder = chosenOrder_;
  if (const auto path = ExportReportAsked(this, files_, boxes_, {reported}, *chart_, std::nullopt, QString()))
    statusBar()->showMessage("Report written to " + QDir::toNativeSeparators(*path), 10000);
  exporting_ = false;
}

void ReviewWindow::closeEvent(QCloseEvent* event) {
  // An export in progress reads the records: its dialog is closed first.
  if (exporting_) {
    event->ignore();
    return;
  }
  loader_.RequestStop();
  event->accept();
}

}  // namespace quarn::review
