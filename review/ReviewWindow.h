#pragma once

#include <optional>

#include <QMainWindow>
#include <QString>
#include <atomic>
#include <cstdint>
#include <string>

#include "acquisition/MeasurementStore.h"
#include "base/MessageBoxes.h"
#include "chart/ChartKit.h"
#include "chart/FileChooser.h"
#include "datafile/DataFileReader.h"
#include "review/PolledLoad.h"

class QAction;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace quarn::review {

// A saved data file, whole, in a window of its own: the sensor's identity from the file's header blocks, the
// live window's chart over every record with a boundary where each run begins, and the table in file order.
// It never touches a port, so it may stay open beside a run and beside other review windows. The file is read
// on a worker thread of the window's own; the chart and the table fill as it reads, and Cancel keeps what was
// read so far.
class ReviewWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Opens a review window on path, or shows why the file cannot be reviewed in a box and opens nothing.
  // The window deletes itself when closed.
  static ReviewWindow* Open(const QString& path, base::MessageBoxes& boxes, chart::FileChooser& files);

  // chosenOrder: the date reading the user chose ("Dates" menu) instead of the one the file and its name settle.
  ReviewWindow(const QString& path, datafile::DateOrder dateOrder, base::MessageBoxes& boxes, chart::FileChooser& files,
               std::optional<datafile::DateOrder> chosenOrder = std::nullopt);
  ~ReviewWindow() override;

  const QString& Path() const { return path_; }
  bool Loading() const { return loader_.Running(); }
  // What the read found; complete once Loading() is false.
  const datafile::ReadResult& Result() const { return result_; }
  const acquisition::MeasurementStore& Records() const { return store_; }
  chart::MeasurementChart* Chart() const { return chart_; }
  chart::RecordTable* Table() const { return table_; }
  chart::RecordTableModel* TableModel() const { return tableModel_; }
  QPushButton* CancelButton() const { return cancelButton_; }
  chart::StatisticsPanel* Statistics() const { return statistics_; }
  QListWidget* RunList() const { return runList_; }
  QString IdentityRow(const QString& row) const;
  // The lines about the file: skipped lines and how dates were read.
  QString FileNotes() const;

 public slots:
  void ExportChart();
  void ExportData();
  // "Export report…": the evaluation report of the file as a PDF (ReportExport).
  void ExportReport();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  QWidget* BuildLeftPanel();
  void StartLoading(datafile::DateOrder dateOrder);
  // Opens the file again in a new window with its dates read in order, and closes this one.
  void ReadDatesAs(datafile::DateOrder order);
  // Shows what the worker has read so far; at its end, also the runs and what the read found.
  void ShowProgress();
  void FinishLoading();
  void ShowReadSoFar();

  QString path_;
  base::MessageBoxes& boxes_;
  chart::FileChooser& files_;
  acquisition::MeasurementStore store_;
  datafile::ReadResult result_;  // written by the worker, read after it has been joined
  std::string loadError_;        // likewise
  std::atomic<uint64_t> doneBytes_{0};
  std::atomic<uint64_t> totalBytes_{0};
  bool exporting_ = false;

  chart::MeasurementChart* chart_ = nullptr;
  chart::RecordTable* table_ = nullptr;
  chart::RecordTableModel* tableModel_ = nullptr;
  QTableWidget* identityTable_ = nullptr;
  QListWidget* runList_ = nullptr;
  QLabel* notes_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  datafile::DateOrder localeOrder_;
  std::optional<datafile::DateOrder> chosenOrder_;
  QAction* exportChart_ = nullptr;
  QAction* exportData_ = nullptr;
  QAction* exportReport_ = nullptr;
  chart::StatisticsPanel* statistics_ = nullptr;  // with the markers of the file's marker file
  // Last: stopped and joined before the store and the result it writes go.
  PolledLoad loader_;
};

}  // namespace quarn::review
