#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Limits.h"
#include "base/MessageBoxes.h"
#include "chart/ChartKit.h"
#include "chart/FileChooser.h"
#include "datafile/FollowedFolder.h"
#include "publish/BrokerSensors.h"
#include "publish/Subscriber.h"
#include "review/PolledLoad.h"

class QComboBox;
class QLabel;
class QListWidget;

namespace quarn::review {

// A bench of sensors in one window: one chosen series of every data file on one time axis, a legend entry
// per sensor (its serial number), the markers of all the files, the statistics and response times per
// sensor, and the records of the sensor chosen in the legend. Either several files read once, or a folder
// followed: the files being written there are read, then what their writers add, once a second. The files
// are read first on a worker of the window's own. Or a broker followed: every sensor whose recorder publishes
// under a prefix, its identity and whether it stopped or went offline, taken from the subscriber's queue once
// a second.
class BenchWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Opens a bench window on the files (those that cannot be read are named in one box), or on the files
  // being written in folder. The window deletes itself when closed.
  static BenchWindow* OpenFiles(const QStringList& paths, base::MessageBoxes& boxes, chart::FileChooser& files);
  static BenchWindow* Follow(const QString& folder, base::MessageBoxes& boxes, chart::FileChooser& files);
  // Opens a bench window on the sensors publishing under the broker's prefix; it connects on its own.
  static BenchWindow* FollowBroker(const publish::SubscriberSettings& broker, base::MessageBoxes& boxes,
                                   chart::FileChooser& files);

  // Either paths, a folder or a broker to follow.
  BenchWindow(const QStringList& paths, std::optional<QString> folder, base::MessageBoxes& boxes,
              chart::FileChooser& files, std::optional<publish::SubscriberSettings> broker = std::nullopt);
  ~BenchWindow() override;

  bool Loading() const { return loader_.Running(); }
  bool Following() const { return folder_.has_value() || subscriber_ != nullptr; }
  int SensorCount() const { return static_cast<int>(Sensors()); }
  // When reading files.
  const datafile::FollowedFile& File(int sensor) const { return *files_[static_cast<size_t>(sensor)]; }
  // When following a broker (null otherwise): its sensors, and how the connection is, as the status bar says.
  const publish::BrokerSensors* BrokerFollowed() const { return subscriber_ ? &brokerSensors_ : nullptr; }
  QString BrokerState() const;
  // The sensor whose records the table shows.
  int TableSensor() const { return tableSensor_; }
  void ShowSensorInTable(int sensor);
  // Reads what the files added (following), and shows it; the display timer calls it once a second.
  void Tick();
  // How long the last tick took.
  std::chrono::microseconds LastTickTime() const { return lastTick_; }
  QString Notes() const;
  // Asks for an acceptance limits file and judges each sensor by it; a file that does not read gets a box.
  void ChooseLimits();
  // "Export report…": a section per sensor, judged by the chosen limits (ReportExport).
  void ExportReport();

  chart::MeasurementChart* Chart() const { return chart_; }
  chart::RecordTable* Table() const { return table_; }
  chart::RecordTableModel* TableModel() const { return tableModel_; }
  chart::StatisticsPanel* Statistics() const { return statistics_; }
  QComboBox* SeriesChoice() const { return seriesChoice_; }
  QListWidget* FileList() const { return fileList_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildLeftPanel();
  void StartLoading();
  void FinishLoading();
  // The chart's and the panel's sensors anew, for the files there are now, keeping what was hidden.
  void SetSensors();
  // Shows every file's records read so far.
  void ShowRecords();
  void ShowFileList();
  void ReadMarkers();
  void AddNote(const QString& note);
  // The sensor's serial number (the file's name before one is known).
  QString SensorName(size_t sensor);
  size_t Sensors() const;
  const acquisition::MeasurementStore& StoreOf(size_t sensor) const;
  // Where the sensor's records come from: its file's name, or its port and recording PC.
  QString SensorSource(size_t sensor) const;
  // What the legend and the sensor list add to the name: idle, stopped, offline; empty when nothing.
  QString SensorState(size_t sensor) const;
  QString SensorToolTip(size_t sensor) const;
  // A broker followed: what came since the last tick, taken into the sensors and shown.
  void TakeFromBroker();

  base::MessageBoxes& boxes_;
  chart::FileChooser& files_choice_;
  std::optional<QString> folder_;
  std::unique_ptr<datafile::FollowedFolder> followed_;          // when following
  std::vector<std::unique_ptr<datafile::FollowedFile>> owned_;  // when reading files once
  std::vector<datafile::FollowedFile*> files_;                  // the sensors, in their chart order
  std::vector<bool> hidden_;
  std::vector<bool> idle_;
  std::vector<QString> knownSerials_;
  QString limitsFolder_;
  std::optional<analysis::AcceptanceLimits> limits_;  // the chosen limits, for the report
  QString limitsPath_;
  std::vector<QDateTime> markerTimes_;  // each marker file's modification time when last read
  QStringList notes_;
  QStringList loadErrors_;  // written by the worker, read after it has been joined
  int tableSensor_ = 0;
  std::chrono::microseconds lastTick_{0};
  QTimer tick_;

  chart::MeasurementChart* chart_ = nullptr;
  chart::RecordTable* table_ = nullptr;
  chart::RecordTableModel* tableModel_ = nullptr;
  chart::StatisticsPanel* statistics_ = nullptr;
  QComboBox* seriesChoice_ = nullptr;
  QListWidget* fileList_ = nullptr;
  QLabel* tableLabel_ = nullptr;
  QLabel* notesLabel_ = nullptr;
  QLabel* brokerLabel_ = nullptr;
  uint64_t brokerStateSeen_ = 0;
  publish::BrokerSensors brokerSensors_;
  // Stopped before the sensors it fills go.
  std::unique_ptr<publish::Subscriber> subscriber_;
  // Last: stopped and joined before the files it reads go.
  PolledLoad loader_;
};

}  // namespace quarn::review
