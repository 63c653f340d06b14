#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chart/ChartKit.h"
#include "chart/FileChooser.h"
#include "config/Criteria.h"
#include "identify/SensorCheck.h"
#include "ui/ManualHelp.h"
#include "ui/QtMessageBoxes.h"
#include "ui/RunView.h"
#include "ui/Toolbar.h"

class QAction;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTableWidget;
class QToolBar;
class QToolButton;

namespace quarn::publish {
struct SubscriberSettings;
}  // namespace quarn::publish

namespace quarn::review {
class BenchWindow;
class ReviewWindow;
}  // namespace quarn::review

namespace quarn::ui {

class RunControl;

// What the main window can be given instead of the real thing (tests give their own).
struct MainWindowDependencies {
  base::MessageBoxes* boxes = nullptr;       // default: Qt boxes owned by the window
  identify::PortStore* portStore = nullptr;  // default: the per-user store
  QString programFolder;                     // default: base::OwnFilesFolder (the executable's or the user's)
  QString manualFile;                        // default: the installed or build-tree HTML manual
  UrlOpener openUrl;                         // default: the desktop's handler (QDesktopServices)
  QString documentsFolder;                   // default: the user's documents folder
  chart::FileChooser* files = nullptr;       // default: modal file dialogs
  QString settingsFile;                      // default: the per-user settings (ZOV/WENLO)
};

// The main window: owns the program's state and wires the controls to the logic.
class MainWindow : public QMainWindow, public identify::CheckView, private RunView {
  Q_OBJECT

 public:
  using Dependencies = MainWindowDependencies;
  explicit MainWindow(Dependencies deps = Dependencies(), QWidget* parent = nullptr);
  ~MainWindow() override;

  // The sensor's identity as Check and the search read it.
  base::SensorIdentity identity;
  bool advancedMode = false;    // advanced display mode
  std::string programFolder;    // program folder, ending in the separator
  std::string saveFolder;       // save folder: documents + Quarn/Save/, ending in the separator
  std::string documentsFolder;  // the user's documents folder

  QToolButton* Button(ui::Button which) const { return buttons_[static_cast<int>(which)]; }
  QString IdentityRow(const QString& row) const;
  // The identity as the grid shows it, row by row.
  base::SensorIdentity ShownIdentity() const;
  chart::MeasurementChart* Chart() const { return chart_; }
  chart::RecordTable* Table() const { return table_; }
  chart::RecordTableModel* TableModel() const { return tableModel_; }
  QLineEdit* IntervalEdit() const { return intervalEdit_; }
  QSlider* IntervalSlider() const { return intervalSlider_; }
  RunControl& Run() const { return *run_; }
  chart::StatisticsPanel* Statistics() const { return statistics_; }
  QPushButton* MarkButton() const { return markButton_; }
  QCheckBox* ReconnectBox() const { return reconnectBox_; }
  base::MessageBoxes& Boxes() const { return *boxes_; }
  config::CriteriaFile& Criteria() { return *criteria_; }

  // Opens a review window on one data file, or a bench window on several; a file that cannot be read gets a
  // box instead.
  void OpenDataFiles(const QStringList& paths);
  // Opens a bench window on the data files being written in folder.
  void FollowFolder(const QString& folder);
  // Opens a bench window on the sensors publishing to a broker.
  void FollowBroker(const publish::SubscriberSettings& broker);
  // A folder, or a broker URL (mqtt://, mqtts://) with a password given apart (empty: none); a URL that
  // cannot be followed gets a box.
  void Follow(const QString& target, const QString& password);
  // The review windows opened from here that are still open, oldest first.
  QList<review::ReviewWindow*> ReviewWindows() const;
  // The same for the bench windows.
  QList<review::BenchWindow*> BenchWindows() const;

  // identify::CheckView
  void SetIdentityRow(const std::string& row, const std::string& value) override;
  // Also RunView's.
  void ApplyToolbar(ToolbarColumn column) override;

  // The sampling-interval position in tenths of a second (5..990).
  int IntervalPosition() const;
  // Index of the mode selection: 0 basic, 1 advanced.
  int ModeIndex() const;

 public slots:
  void SearchClicked();
  void CheckSensorClicked();
  void CalibrateClicked();
  void ConsoleClicked();
  void SendClicked();
  void SettingsClicked();
  void StartClicked();
  void StopClicked();
  void SaveClicked();
  void ClearClicked();
  void ShowBasicMode();
  void ShowAdvancedMode();
  void ZoomXIn();
  void ZoomXOut();
  void ZoomYIn();
  void ZoomYOut();
  void ZoomReset();
  void ManualHelpClicked();
  void OpenDataFileClicked();
  // Follow... (a dialog for a folder or a broker URL).
  void FollowClicked();
  void ExportChartClicked();
  void ExportDataClicked();
  // Mark (Ctrl+M) during a run: a gas marker at this moment, named in a dialog that follows.
  void MarkClicked();
  // Ctrl+Z: the last marker change undone.
  void UndoMarkerClicked();

 protected:
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // RunView
  bool ReloadCriteria() override;
  void ReadTypeAndRange() override;
  void PrepareDisplay(bool newSeries, std::shared_ptr<const acquisition::RecordBlock> earlierRun) override;
  void ShowRecords(size_t count) override;
  void ClearDisplay() override;
  void ForgetSensor() override;
  QString AskSavePath(const QString& fileName) override;
  void ShowRunNote(const QString& text) override;
  void ShowMarkers() override;
  void SensorMovedTo(const std::string& portNumber) override;

  void CreateFolders(const QString& documents);
  // Reads the criteria file and, when withWindowSettings, takes its interval and mode; then selects the
  // advanced mode again when it is the window's. A missing file closes the window once the current action
  // has finished. False when the file was missing or unreadable.
  bool ReadCriteria(bool withWindowSettings);
  // The statistics panel beside the chart, the Mark button and its shortcut.
  void BuildEvaluation();
  // Rename, move or delete the run's marker index, from a menu at where.
  void ShowMarkerMenu(size_t index, QPoint where);
  // "Undo marker change" (Ctrl+Z) in the Action menu.
  void AddMarkerUndo(QMenu* action);
  void BuildMenus();
  // "Open data file…" and the exports at the top of the Action menu; dropped files open for review too.
  void AddReviewActions(QMenu* action);
  void CloseReviewWindows();
  void BuildToolbar();
  QWidget* BuildLeftPanel();
  QWidget* BuildIntervalGroup(QWidget* parent);
  QWidget* BuildZoomButtons(QWidget* parent);
  // Column widths, and the widest the statistics dock may be.
  void LayoutTable();
  void FitStatisticsDock();
  void EnforceMinimumSize();
  void IntervalSliderChanged();
  void IntervalTextChanged(const QString& text);
  void IntervalEnter();
  // Moves the slider to a typed position; the slider's change action sets the text and the poller.
  void SetIntervalFromText(int position);
  bool eventFilter(QObject* watched, QEvent* event) override;

  std::unique_ptr<QtMessageBoxes> ownBoxes_;
  std::unique_ptr<identify::PortStore> ownPortStore_;
  base::MessageBoxes* boxes_;
  identify::PortStore* portStore_;
  std::unique_ptr<chart::DialogFileChooser> ownFiles_;
  chart::FileChooser* files_;
  std::vector<QPointer<review::BenchWindow>> benches_;   // likewise
  std::vector<QPointer<review::ReviewWindow>> reviews_;  // top-level windows of their own, deleted when closed
  std::unique_ptr<config::CriteriaFile> criteria_;
  std::unique_ptr<RunControl> run_;

  QToolBar* toolbar_ = nullptr;
  std::array<QToolButton*, ui::kButtonCount> buttons_{};
  QTableWidget* identityTable_ = nullptr;
  QLineEdit* intervalEdit_ = nullptr;
  QSlider* intervalSlider_ = nullptr;
  QRadioButton* basicModeButton_ = nullptr;
  QRadioButton* advancedModeButton_ = nullptr;
  QCheckBox* autoScrollBox_ = nullptr;
  QCheckBox* reconnectBox_ = nullptr;
  QMainWindow* chartArea_ = nullptr;  // the chart with the statistics docked beside it
  chart::MeasurementChart* chart_ = nullptr;
  chart::RecordTable* table_ = nullptr;
  chart::RecordTableModel* tableModel_ = nullptr;
  chart::StatisticsPanel* statistics_ = nullptr;
  QPushButton* markButton_ = nullptr;
  QStringList markerLabels_;  // offered in the Mark dialog, the last used first
  QAction* undoMarker_ = nullptr;
  QAction* menuBasic_ = nullptr;
  QAction* menuAdvance_ = nullptr;
  bool shown_ = false;
  bool updatingInterval_ = false;
  QString manualFile_;
  QString settingsFile_;
  UrlOpener openUrl_;
};

}  // namespace quarn::ui
