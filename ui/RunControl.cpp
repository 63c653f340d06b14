#include "RunControl.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "analysis/Gaps.h"
#include "analysis/MarkerFile.h"

namespace quarn::ui {

namespace {

constexpr int kDisplayTickMs = 1000;
// How often a lost sensor is looked for.
constexpr std::chrono::seconds kLookEvery{2};

}  // namespace

RunControl::RunControl(RunView& view, base::MessageBoxes& boxes) : view_(view), boxes_(boxes) {
  displayTimer_.setInterval(kDisplayTickMs);
  QObject::connect(&displayTimer_, &QTimer::timeout, &displayTimer_, [this] { Tick(); });
}

RunControl::~RunControl() = default;

void RunControl::SetInterval(int32_t ms) {
  intervalMs_ = ms;
  if (pollingThread_) pollingThread_->SetInterval(ms);
}

void RunControl::Start(const RunRequest& request) {
  const base::SensorIdentity& id = request.identity;
  if (id.portNumber.empty() || id.serialNumber.empty()) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, "First, determine the sensor!");
    return;
  }
  // An unreadable or missing criteria file has shown its box: no run on default values.
  if (!view_.ReloadCriteria()) return;
  try {
    view_.ReadTypeAndRange();
  } catch (const std::exception& e) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                std::string("Error occurred while checking the coefficients \n\r") + e.what());
  }

  // A further run keeps the data file and starts a fresh store and series; the table numbers on.
  const bool newSeries = !displayReady_;
  if (newSeries) {
    dataFilePath_ = acquisition::DataFileName(request.saveFolder, id.serialNumber, id.firmware,
                                              acquisition::CurrentLocalDateTime());
    markers_.Reset(analysis::MarkerFilePath(dataFilePath_));
  }
  // The earlier run's records stay in the table as they are; the store starts afresh.
  view_.PrepareDisplay(newSeries, newSeries ? nullptr : measurements_.TakeRecords());
  displayReady_ = true;
  shown_ = 0;

  serialNumber_ = id.serialNumber;
  sensor_ = id;
  saveFolder_ = request.saveFolder;
  intervalMs_ = request.intervalMs;
  reconnect_ = request.reconnect;
  gapFrom_.reset();
  lostPortBox_.clear();
  StartPolling(false);

  displayTimer_.start();
  view_.ApplyToolbar(ToolbarColumn::Start);
}

void RunControl::StartPolling(bool resumed) {
  pollingThread_.reset();
  stretchBoxes_.reset();
  base::MessageBoxes* boxes = &boxes_;
  if (reconnect_) {
    stretchBoxes_ = std::make_unique<acquisition::StretchBoxes>(boxes_, nullptr, true, resumed);
    boxes = stretchBoxes_.get();
  }
  const acquisition::RunContext context{measurements_, *boxes, regional_, stretchBoxes_.get()};
  acquisition::ReaderInputs inputs{saveFolder_, sensor_.portNumber, sensor_.serialNumber, sensor_.firmware,
                                   dataFilePath_};
  inputs.resumed = resumed;
  pollingThread_ = std::make_unique<acquisition::PollingThread>(context, std::move(inputs), intervalMs_, "00");
  pollingThread_->Start();
}

void RunControl::Stop() {
  if (pollingThread_ || awaiter_) {
    // Works whether the poller still runs, has already ended on its own, or the lost sensor is looked for.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (awaiter_) {
      awaiter_->RequestStop();
      awaiter_->Join();
      awaiter_.reset();
      view_.ShowRunNote(QString());
    }
    if (pollingThread_) {
      pollingThread_->RequestStop();
      pollingThread_->Join();
      pollingThread_.reset();
    }
    if (stretchBoxes_ && stretchBoxes_->PortLost() && lostPortBox_.empty()) lostPortBox_ = stretchBoxes_->KeptText();
    stretchBoxes_.reset();
    QApplication::restoreOverrideCursor();
    // The run ends as one that does not reconnect would have: with the lost port's box first.
    if (!lostPortBox_.empty()) boxes_.Show(base::BoxKind::Error, base::BoxButtons::Ok, std::exchange(lostPortBox_, {}));
  }
  discardDataFile_ =
      boxes_.Show(base::BoxKind::Question, base::BoxButtons::YesNo, "Save Date to file?") == base::BoxAnswer::No;
  view_.ApplyToolbar(ToolbarColumn::Stop);
}

void RunControl::Tick() {
  if (pollingThread_ && stretchBoxes_ && stretchBoxes_->PortLost()) BeginLooking();
  if (awaiter_) {
    for (base::SensorIdentity& other : awaiter_->TakeOtherSensors()) otherSensor_ = std::move(other);
    if (!awaiter_->Finished()) {
      ShowLookingNote();
    } else {
      // Only Stop ends the looking otherwise, and it resets the looker itself.
      const identify::AwaitResult result = awaiter_->Result();
      awaiter_.reset();
      if (result.outcome == identify::AwaitOutcome::Found) Resume(result.identity);
    }
  }
  if (pollingThread_) {
    for (const acquisition::SilenceChange& change : pollingThread_->TakeSilenceChanges()) {
      const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
          acquisition::WallClockOf(change.since).time_since_epoch());
      const std::string text =
          change.silent
              ? acquisition::SilentText(
                    serialNumber_, QDateTime::fromMSecsSinceEpoch(since.count()).toString("HH:mm:ss").toStdString())
              : acquisition::AnsweringAgainText(serialNumber_, change);
      view_.ShowRunNote(QString::fromStdString(text));
    }
  }
  const size_t n = measurements_.Count();
  if (shown_ >= n) return;
  shown_ = n;
  view_.ShowRecords(n);
  MarkReconnected();
}

void RunControl::BeginLooking() {
  // The poller has ended on its own and closed the port, which a replugged adapter needs to come back.
  pollingThread_->RequestStop();
  pollingThread_->Join();
  pollingThread_.reset();
  if (lostPortBox_.empty()) lostPortBox_ = stretchBoxes_->KeptText();
  stretchBoxes_.reset();
  lostAt_ = std::chrono::steady_clock::now();
  lostClock_ = QDateTime::currentDateTime().toString("HH:mm:ss");
  otherSensor_.reset();
  // Lost again before a record came back: the gap that is open goes on.
  if (const size_t n = measurements_.Count(); n > 0 && !gapFrom_) {
    gapFrom_ = measurements_.At(n - 1).DT;
    ReportMarkerWrite(markers_.Add({*gapFrom_, analysis::kConnectionLostLabel, TimeText(*gapFrom_)}));
    view_.ShowMarkers();
  }
  awaiter_ = std::make_unique<identify::SensorAwaiter>(sensor_, kLookEvery);
  awaiter_->Start();
  ShowLookingNote();
}

void RunControl::ShowLookingNote() {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - lostAt_);
  const QString serial = QString::fromStdString(sensor_.serialNumber);
  const QString port = QString::fromStdString(sensor_.portNumber);
  QString text;
  if (otherSensor_) {
    text =
        QString(
            "Sensor %1 answered on COM%2, not sensor %3 of this run; looking for sensor %3, lost on COM%4 at %5… %6 s")
            .arg(QString::fromStdString(otherSensor_->serialNumber), QString::fromStdString(otherSensor_->portNumber),
                 serial, port, lostClock_)
            .arg(seconds.count());
  } else {
    text = QString("Sensor %1 lost on COM%2 at %3; looking for it… %4 s")
               .arg(serial, port, lostClock_)
               .arg(seconds.count());
  }
  view_.ShowRunNote(text);
}

void RunControl::Resume(const base::SensorIdentity& found) {
  const auto away = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - lostAt_);
  if (found.portNumber != sensor_.portNumber) view_.SensorMovedTo(found.portNumber);
  sensor_.portNumber = found.portNumber;
  countAtResume_ = measurements_.Count();
  // Recovered: a later Stop ends the run as a healthy one.
  lostPortBox_.clear();
  StartPolling(true);
  view_.ShowRunNote(QString("Sensor %1 back on COM%2 after %3 s; recording resumes")
                        .arg(QString::fromStdString(sensor_.serialNumber), QString::fromStdString(sensor_.portNumber))
                        .arg(away.count()));
}

void RunControl::MarkReconnected() {
  if (!gapFrom_ || !pollingThread_ || measurements_.Count() <= countAtResume_) return;
  const double first = measurements_.At(countAtResume_).DT;
  const long long seconds = std::llround((first - *gapFrom_) * analysis::kSecondsPerDay);
  ReportMarkerWrite(markers_.Add({first, analysis::ReconnectedLabel(seconds), TimeText(first)}));
  gapFrom_.reset();
  view_.ShowMarkers();
}

void RunControl::Save() {
  const QString name = QString::fromStdString(std::filesystem::path(dataFilePath_).filename().string());
  const QString chosen = view_.AskSavePath(name);
  if (chosen.isEmpty()) return;
  SaveTo(chosen);
}

void RunControl::SaveTo(const QString& chosen) {
  std::filesystem::path target = chosen.toStdString();
  if (target.filename().string().find('.') == std::string::npos) target += ".txt";
  // Replaces an existing file; the data file itself is already where it is asked for.
  std::error_code copyError;
  if (!std::filesystem::equivalent(dataFilePath_, target, copyError)) {
    copyError.clear();
    std::filesystem::copy_file(dataFilePath_, target, std::filesystem::copy_options::overwrite_existing, copyError);
  }
  if (copyError) {
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                "The data could not be saved to " + target.string() + ": " + copyError.message());
    return;
  }
  view_.ShowRunNote("Saved to " + QDir::toNativeSeparators(QString::fromStdString(target.string())));
  // The markers go along, beside the copy under its name.
  const std::string markers = analysis::MarkerFilePath(dataFilePath_);
  std::error_code error;
  const std::string copy = analysis::MarkerFilePath(target.string());
  if (std::filesystem::exists(markers, error) && !std::filesystem::equivalent(markers, copy, error)) {
    if (!std::filesystem::copy_file(markers, copy, std::filesystem::copy_options::overwrite_existing, error)) {
      boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                  "The markers could not be copied to " + copy + ": " + error.message());
    }
  }
}

void RunControl::DeleteDiscardedFile() {
  std::error_code error;
  if (discardDataFile_ && !dataFilePath_.empty() && std::filesystem::exists(dataFilePath_, error)) {
    if (!std::filesystem::remove(dataFilePath_, error) || error) {
      boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                  "Error #" + std::to_string(error.value()) + " delete file!");
    }
  }
  // A discarded file's markers go with it.
  const std::string markers = analysis::MarkerFilePath(dataFilePath_);
  if (discardDataFile_ && !dataFilePath_.empty() && std::filesystem::exists(markers, error)) {
    if (!std::filesystem::remove(markers, error) || error) {
      boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok,
                  "Error #" + std::to_string(error.value()) + " delete file!");
    }
  }
}

std::optional<analysis::Marker> RunControl::AddMarker(const std::string& label, double time) {
  if (!Running() || dataFilePath_.empty()) return std::nullopt;
  analysis::Marker marker;
  marker.time = time;
  marker.label = label;
  marker.timeText = TimeText(time);
  ReportMarkerWrite(markers_.Add(marker));
  return marker;
}

double RunControl::Now() const { return acquisition::CurrentDayNumber(); }

std::string RunControl::TimeText(double time) const { return acquisition::RecordTimeTextMs(time, regional_); }

bool RunControl::RenameMarker(size_t index, const std::string& label) {
  if (index >= Markers().size()) return false;
  ReportMarkerWrite(markers_.Rename(index, label));
  return true;
}

bool RunControl::MoveMarker(size_t index, double time) {
  if (index >= Markers().size()) return false;
  ReportMarkerWrite(markers_.Move(index, time, TimeText(time)));
  return true;
}

bool RunControl::RemoveMarker(size_t index) {
  if (index >= Markers().size()) return false;
  ReportMarkerWrite(markers_.Remove(index));
  return true;
}

bool RunControl::UndoMarkerChange() {
  if (!markers_.CanUndo()) return false;
  ReportMarkerWrite(markers_.Undo());
  return true;
}

void RunControl::ReportMarkerWrite(const std::optional<std::string>& failure) {
  if (failure)
    boxes_.Show(base::BoxKind::Warning, base::BoxButtons::Ok, "The marker could not be written: " + *failure);
}

void RunControl::Clear() {
  if (boxes_.Show(base::BoxKind::Question, base::BoxButtons::YesNo, "Clear comport settings?") != base::BoxAnswer::Yes)
    return;
  view_.ForgetSensor();
  DeleteDiscardedFile();
  discardDataFile_ = false;
  view_.ClearDisplay();
  markers_.Reset({});
  displayReady_ = false;
  shown_ = 0;
  measurements_.Clear();
#if defined(__GLIBC__)
  // A long run's chunks sit among smaller blocks; without this glibc keeps their pages after they are freed.
  malloc_trim(0);
#endif
  view_.ApplyToolbar(ToolbarColumn::Clear);
}

void RunControl::CloseSequence() {
  if (Running()) Stop();
  DeleteDiscardedFile();
}

}  // namespace quarn::ui
