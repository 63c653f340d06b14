#include "BenchWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include "analysis/Limits.h"
#include "analysis/MarkerFile.h"
#include "analysis/MergedMarkers.h"
#include "chart/ChartZoom.h"
#include "chart/MeasurementChart.h"
#include "chart/RecordTable.h"
#include "chart/RecordTableModel.h"
#include "chart/StatisticsPanel.h"
#include "review/DataFileTexts.h"
#include "review/MarkersAndStatistics.h"
#include "review/ReportExport.h"
#include "review/WindowLayout.h"
#include "widgets/Heading.h"

namespace quarn::review {

namespace {

constexpr int kTickMs = 1000;

// Sixteen colours that stay apart on white, one per sensor in order (then again from the first).
const QColor kSensorColours[] = {
    {0x1f, 0x77, 0xb4}, {0xd6, 0x27, 0x28}, {0x2c, 0xa0, 0x2c}, {0xff, 0x7f, 0x0e},
    {0x94, 0x67, 0xbd}, {0x8c, 0x56, 0x4b}, {0xe3, 0x77, 0xc2}, {0x7f, 0x7f, 0x7f},
    {0xbc, 0xbd, 0x22}, {0x17, 0xbe, 0xcf}, {0x00, 0x00, 0x00}, {0x00, 0x00, 0x80},
    {0x80, 0x00, 0x00}, {0x00, 0x60, 0x30}, {0xb0, 0x80, 0x00}, {0x60, 0x00, 0x90},
};

datafile::ReadOptions LocaleReadOptions() {
  datafile::ReadOptions options;
  options.localeOrder = LocaleDateOrder();
  SetLocaleMonthNames(options);
  return options;
}

QString FileName(const datafile::FollowedFile& file) {
  return QFileInfo(QString::fromStdString(file.Path())).fileName();
}

}  // namespace

BenchWindow* BenchWindow::OpenFiles(const QStringList& paths, base::MessageBoxes& boxes, chart::FileChooser& files) {
  const datafile::DateOrder order = LocaleDateOrder();
  QStringList readable;
  QStringList problems;
  for (const QString& path : paths) {
    if (const auto problem = DataFileProblem(path, order)) {
      problems << QFileInfo(path).fileName() + ": " + *problem;
    } else {
      readable << path;
    }
  }
  if (!problems.isEmpty()) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok,
               ("These files cannot be opened on the bench:\n" + problems.join("\n")).toStdString());
  }
  if (readable.isEmpty()) return nullptr;
  auto* window = new BenchWindow(readable, std::nullopt, boxes, files);
  window->show();
  return window;
}

BenchWindow* BenchWindow::Follow(const QString& folder, base::MessageBoxes& boxes, chart::FileChooser& files) {
  if (!QFileInfo(folder).isDir()) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok,
               ("Cannot follow " + QDir::toNativeSeparators(folder) + ": it is no folder.").toStdString());
    return nullptr;
  }
  auto* window = new BenchWindow({}, folder, boxes, files);
  window->show();
  return window;
}

BenchWindow* BenchWindow::FollowBroker(const publish::SubscriberSettings& broker, base::MessageBoxes& boxes,
                                       chart::FileChooser& files) {
  auto* window = new BenchWindow({}, std::nullopt, boxes, files, broker);
  window->show();
  return window;
}

BenchWindow::BenchWindow(const QStringList& paths, std::optional<QString> folder, base::MessageBoxes& boxes,
                         chart::FileChooser& files, std::optional<publish::SubscriberSettings> broker)
    : QMainWindow(nullptr), boxes_(boxes), files_choice_(files), folder_(std::move(folder)) {
  setObjectName("BenchWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  QMenu* file = menuBar()->addMenu("File");
  QAction* limits = file->addAction("Acceptance limits\u2026", this, &BenchWindow::ChooseLimits);
  limits->setObjectName("menuLimits");
  QAction* report = file->addAction("Export report\u2026", this, &BenchWindow::ExportReport);
  report->setObjectName("menuExportReport");
  // The report reads the data files, which stay on the recording PCs when a broker is followed.
  report->setEnabled(!broker);
  file->addSeparator();
  QAction* close = file->addAction("Close", this, &QWidget::close);
  close->setShortcut(QKeySequence::Close);

  const datafile::ReadOptions options = LocaleReadOptions();
  if (folder_) {
    followed_ = std::make_unique<datafile::FollowedFolder>(QDir::toNativeSeparators(*folder_).toStdString(), options);
    followed_->Look();
    for (const auto& followed : followed_->Files()) files_.push_back(followed.get());
    setWindowTitle("Bench: " + QDir::toNativeSeparators(*folder_) + " (following)");
  } else if (broker) {
    subscriber_ = std::make_unique<publish::Subscriber>(*broker);
    setWindowTitle("Bench: " + QString::fromStdString(broker->broker.Shown()) + " (following)");
  } else {
    for (const QString& path : paths) {
      owned_.push_back(std::make_unique<datafile::FollowedFile>(path.toStdString(), options));
      files_.push_back(owned_.back().get());
    }
    setWindowTitle(QString("Bench: %1 files").arg(paths.size()));
  }

  tableLabel_ = new QLabel(this);
  tableLabel_->setObjectName("tableSensor");
  const ChartAndTable parts = BuildChartAndTable(
      *this,
      [this](chart::MeasurementChart& chart) {
        chart_ = &chart;
        return BuildLeftPanel();
      },
      tableLabel_);
  chart_ = parts.chart;
  tableModel_ = parts.tableModel;
  table_ = parts.table;
  statistics_ = parts.statistics;

  // A click on a sensor's entry hides or shows it; a double click (which shows it as it was) puts its records
  // in the table.
  connect(chart_, &chart::MeasurementChart::sensorClicked, this, [this](int sensor) {
    hidden_[static_cast<size_t>(sensor)] = !chart_->SensorVisible(sensor);
    statistics_->Refresh();
  });
  connect(chart_, &chart::MeasurementChart::sensorChosen, this, &BenchWindow::ShowSensorInTable);
  SetSensors();
  resize(1200, 760);
  if (subscriber_) {
    brokerLabel_ = new QLabel(this);
    brokerLabel_->setObjectName("benchBroker");
    statusBar()->addWidget(brokerLabel_, 1);
    subscriber_->Start();
    brokerLabel_->setText(BrokerState());
  }
  StartLoading();
}

BenchWindow::~BenchWindow() { loader_.Stop(); }

QWidget* BenchWindow::BuildLeftPanel() {
  auto* panel = new QWidget(this);
  panel->setFixedWidth(260);
  auto* layout = new QVBoxLayout(panel);
  layout->addWidget(widgets::Heading("Series", 1.0, panel, Qt::AlignCenter));
  seriesChoice_ = new QComboBox(panel);
  seriesChoice_->setObjectName("benchSeries");
  for (const std::string_view name : analysis::kSeriesNames)
    seriesChoice_->addItem(QString::fromUtf8(name.data(), name.size()));
  connect(seriesChoice_, &QComboBox::currentIndexChanged, this, [this](int series) {
    chart_->SetSensorSeries(series);
    chart_->Refresh();
    statistics_->Refresh();
  });
  layout->addWidget(seriesChoice_);
  layout->addWidget(widgets::Heading("Sensors", 1.0, panel, Qt::AlignCenter));
  fileList_ = new QListWidget(panel);
  fileList_->setObjectName("benchFiles");
  fileList_->setWordWrap(true);
  layout->addWidget(fileList_, 1);
  layout->addWidget(widgets::Heading("Zoom", 1.0, panel, Qt::AlignCenter));
  layout->addWidget(chart::ZoomButtonRow(*chart_, panel));
  layout->addWidget(widgets::Heading("Notes", 1.0, panel, Qt::AlignCenter));
  notesLabel_ = new QLabel(panel);
  notesLabel_->setObjectName("benchNotes");
  notesLabel_->setWordWrap(true);
  notesLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(notesLabel_);
  return panel;
}

size_t BenchWindow::Sensors() const { return subscriber_ ? brokerSensors_.Count() : files_.size(); }

const acquisition::MeasurementStore& BenchWindow::StoreOf(size_t sensor) const {
  return subscriber_ ? brokerSensors_.Sensor(sensor).Store() : files_[sensor]->Store();
}

QString BenchWindow::SensorName(size_t sensor) {
  if (subscriber_) return QString::fromStdString(brokerSensors_.Sensor(sensor).Serial());
  // A file read again from a start without its header block keeps the serial number it had.
  knownSerials_.resize(files_.size());
  const std::string serial = files_[sensor]->SerialNumber();
  if (!serial.empty()) knownSerials_[sensor] = QString::fromStdString(serial);
  return knownSerials_[sensor].isEmpty() ? FileName(*files_[sensor]) : knownSerials_[sensor];
}

void BenchWindow::SetSensors() {
  hidden_.resize(Sensors(), false);
  idle_.resize(Sensors(), false);
  std::vector<chart::MeasurementChart::Sensor> sensors;
  std::vector<chart::StatisticsPanel::SensorRecords> records;
  for (size_t i = 0; i < Sensors(); ++i) {
    const QString name = SensorName(i);
    const QString state = SensorState(i);
    sensors.push_back({&StoreOf(i), state.isEmpty() ? name : name + " (" + state + ")",
                       kSensorColours[i % std::size(kSensorColours)]});
    records.push_back({&StoreOf(i), name});
  }
  chart_->CreateSensorSeries(sensors, seriesChoice_->currentIndex());
  for (size_t i = 0; i < Sensors(); ++i) {
    if (hidden_[i]) chart_->SetSensorVisible(static_cast<int>(i), false);
  }
  statistics_->SetSensors(records);
  ShowSensorInTable(std::max(0, std::min(tableSensor_, static_cast<int>(Sensors()) - 1)));
}

void BenchWindow::ShowSensorInTable(int sensor) {
  if (sensor < 0 || sensor >= static_cast<int>(Sensors())) {
    tableModel_->Reset();
    tableModel_->SetRecords(nullptr);
    tableLabel_->setText("No sensor");
    return;
  }
  tableSensor_ = sensor;
  const acquisition::MeasurementStore& store = StoreOf(static_cast<size_t>(sensor));
  tableModel_->Reset();
  tableModel_->SetRecords(&store);
  tableModel_->ShowRecords(store.Count());
  const QString source = SensorSource(static_cast<size_t>(sensor));
  tableLabel_->setText("Records of " + SensorName(static_cast<size_t>(sensor)) +
                       (source.isEmpty() ? QString() : " (" + source + ")"));
}

// ---- reading ------------------------------------------------------------------------------------------

void BenchWindow::StartLoading() {
  // Read once whole, or followed: up to the last whole line.
  const auto read = [this, files = files_, whole = !folder_.has_value()](std::stop_token stop) {
    const auto progress = [&stop](uint64_t, uint64_t) { return !stop.stop_requested(); };
    for (datafile::FollowedFile* file : files) {
      if (stop.stop_requested()) break;
      try {
        file->Poll(datafile::FollowedFile::Clock::now(), whole, progress);
      } catch (const std::exception& error) {
        loadErrors_ << FileName(*file) + ": " + QString::fromStdString(error.what());
      }
    }
  };
  loader_.Start(
      read, [this] { ShowRecords(); }, [this] { FinishLoading(); });
}

void BenchWindow::FinishLoading() {
  for (const QString& error : loadErrors_) AddNote(error);
  // The serial numbers read replace the file names the sensors were shown by while reading.
  for (size_t i = 0; i < files_.size(); ++i) {
    chart_->SetSensorLegendText(static_cast<int>(i), SensorName(i));
    statistics_->SetSensorName(static_cast<int>(i), SensorName(i));
    const std::string skipped =
        files_[i]->SkippedLines() > 0 ? std::to_string(files_[i]->SkippedLines()) + " lines skipped" : std::string();
    if (!skipped.empty()) AddNote(FileName(*files_[i]) + ": " + QString::fromStdString(skipped));
  }
  ShowSensorInTable(tableSensor_);
  ReadMarkers();
  ShowRecords();
  if (Following()) {
    connect(&tick_, &QTimer::timeout, this, &BenchWindow::Tick);
    tick_.start(kTickMs);
  }
}

void BenchWindow::Tick() {
  if (loader_.Running()) return;
  const auto started = std::chrono::steady_clock::now();
  if (subscriber_) {
    TakeFromBroker();
    lastTick_ = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    return;
  }
  const auto now = datafile::FollowedFile::Clock::now();
  for (size_t i = 0; i < files_.size(); ++i) {
    try {
      const datafile::FollowedFile::Growth growth = files_[i]->Poll(now);
      if (growth.restarted) {
        chart_->ClearSensorPoints(static_cast<int>(i));
        statistics_->ResetSensor(static_cast<int>(i));
        if (static_cast<int>(i) == tableSensor_) ShowSensorInTable(tableSensor_);
      }
      if (!growth.note.empty()) AddNote(QString::fromStdString(growth.note));
    } catch (const std::exception& error) {
      AddNote(FileName(*files_[i]) + ": " + QString::fromStdString(error.what()));
    }
  }
  if (followed_) {
    const std::vector<size_t> joined = followed_->Look();
    for (size_t index : joined) {
      datafile::FollowedFile& file = followed_->File(index);
      try {
        file.Poll(now);
      } catch (const std::exception& error) {
        AddNote(FileName(file) + ": " + QString::fromStdString(error.what()));
      }
      files_.push_back(&file);
      AddNote(FileName(file) + " joined.");
    }
    if (!joined.empty()) SetSensors();
  }
  for (size_t i = 0; i < files_.size(); ++i) {
    idle_[i] = files_[i]->Idle(now);
    const QString name = SensorName(i);
    const QString state = SensorState(i);
    const QString text = state.isEmpty() ? name : name + " (" + state + ")";
    if (text == chart_->SensorLegendText(static_cast<int>(i))) continue;
    chart_->SetSensorLegendText(static_cast<int>(i), text);
    statistics_->SetSensorName(static_cast<int>(i), name);
  }
  ReadMarkers();
  ShowRecords();
  lastTick_ = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
}

void BenchWindow::ShowRecords() {
  for (size_t i = 0; i < Sensors(); ++i) chart_->ShowSensorRecords(static_cast<int>(i), StoreOf(i).Count());
  if (tableSensor_ >= 0 && tableSensor_ < static_cast<int>(Sensors()))
    tableModel_->ShowRecords(StoreOf(static_cast<size_t>(tableSensor_)).Count());
  chart_->Refresh();
  statistics_->Refresh();
  ShowFileList();
}

void BenchWindow::ShowFileList() {
  while (fileList_->count() < static_cast<int>(Sensors())) fileList_->addItem(QString());
  for (size_t i = 0; i < Sensors(); ++i) {
    QString text = SensorName(i) + QString(": %1 records").arg(StoreOf(i).Count());
    const QString state = SensorState(i);
    if (!state.isEmpty()) text += ", " + state;
    QListWidgetItem* item = fileList_->item(static_cast<int>(i));
    if (item->text() != text) item->setText(text);
    const QString tip = SensorToolTip(i);
    if (item->toolTip() != tip) item->setToolTip(tip);
  }
}

void BenchWindow::ReadMarkers() {
  // Read again only when a marker file changed.
  markerTimes_.resize(files_.size());
  bool changed = false;
  for (size_t i = 0; i < files_.size(); ++i) {
    const QFileInfo info(QString::fromStdString(analysis::MarkerFilePath(files_[i]->Path())));
    const QDateTime written = info.exists() ? info.lastModified() : QDateTime();
    if (written != markerTimes_[i]) changed = true;
    markerTimes_[i] = written;
  }
  if (!changed) return;
  std::vector<std::vector<analysis::Marker>> perFile;
  QStringList problems;
  for (const datafile::FollowedFile* file : files_)
    perFile.push_back(ReadFileMarkers(file->Path(), file->Order(), problems, &file->Store()));
  for (const QString& problem : problems) AddNote(problem);
  ShowMarkers(analysis::MergedMarkers(perFile), *chart_, *statistics_);
}

void BenchWindow::ChooseLimits() {
  if (limitsFolder_.isEmpty() && !files_.empty())
    limitsFolder_ = QFileInfo(QString::fromStdString(files_.front()->Path())).absolutePath();
  const QString path = files_choice_.LimitsFileToOpen(this, limitsFolder_);
  if (path.isEmpty()) return;
  limitsFolder_ = QFileInfo(path).absolutePath();
  const analysis::LimitsReading reading = analysis::ReadLimitsFile(path.toStdString());
  if (!reading.limits) {
    boxes_.Show(
        base::BoxKind::Error, base::BoxButtons::Ok,
        ("The limits file " + QFileInfo(path).fileName() + " cannot be used.\n").toStdString() + reading.error.Text());
    return;
  }
  statistics_->SetLimits(reading.limits);
  limits_ = reading.limits;
  limitsPath_ = path;
  AddNote("Judged by " + QDir::toNativeSeparators(path) + ".");
}

void BenchWindow::ExportReport() {
  std::vector<ReportedFile> reported;
  for (const datafile::FollowedFile* file : files_) {
    ReportedFile one{QString::fromStdString(file->Path()), {}};
    SetLocaleMonthNames(one.reading);
    one.reading.chosenOrder = file->Order();  // the order this window read the file's dates in
    reported.push_back(std::move(one));
  }
  if (const auto path =
          ExportReportAsked(this, files_choice_, boxes_, reported, *chart_, limits_, QFileInfo(limitsPath_).fileName()))
    AddNote("Report written to " + QDir::toNativeSeparators(*path) + ".");
}

void BenchWindow::AddNote(const QString& note) {
  if (!notes_.isEmpty() && notes_.last() == note) return;
  notes_ << note;
  // The latest few; the oldest go first.
  while (notes_.size() > 12) notes_.removeFirst();
  notesLabel_->setText(notes_.join("\n"));
}

QString BenchWindow::Notes() const { return notes_.join("\n"); }

void BenchWindow::closeEvent(QCloseEvent* event) {
  loader_.RequestStop();
  tick_.stop();
  event->accept();
}

}  // namespace quarn::review
