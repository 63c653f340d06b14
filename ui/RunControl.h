#pragma once

#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "acquisition/PollingThread.h"
#include "acquisition/StretchBoxes.h"
#include "acquisition/SystemRegionalFormat.h"
#include "analysis/MarkerList.h"
#include "analysis/ResponseTimes.h"
#include "base/MessageBoxes.h"
#include "base/SensorIdentity.h"
#include "identify/AwaitSensor.h"
#include "identify/SensorCheck.h"
#include "ui/RunView.h"

namespace quarn::ui {

// What a run takes at Start, copied so that the window may change its own fields meanwhile.
struct RunRequest {
  base::SensorIdentity identity;
  std::string saveFolder;  // ends in the path separator
  int32_t intervalMs = 2000;
  // A lost port does not end the run: the sensor is looked for until it is back, or until Stop.
  bool reconnect = false;
};

// Measurement runs as the toolbar drives them: Start, Stop, the display tick, Save and Clear, and the run's
// part of closing the window. It owns the store, the polling thread and the display timer, and reports to
// its view. Lives on the GUI thread.
class RunControl {
 public:
  RunControl(RunView& view, base::MessageBoxes& boxes);
  RunControl(const RunControl&) = delete;
  RunControl& operator=(const RunControl&) = delete;
  ~RunControl();

  void Start(const RunRequest& request);
  void Stop();
  // Hands the records that arrived since the last tick to the view, and a note of a silence begun or ended;
  // the display timer calls it every second. In a run that reconnects it also notices a lost port, and
  // while the sensor is looked for it says so in a note that counts the seconds, resuming once it is back.
  void Tick();
  // Save with the view's dialog; SaveTo does the copy for a chosen path.
  void Save();
  void SaveTo(const QString& chosen);
  void Clear();
  // After the criteria were written: stops a run (with its question) and deletes a discarded file.
  void CloseSequence();
  // Applies at once to a running poller.
  void SetInterval(int32_t ms);

  // During a run: a gas marker at time (days, as a record's; the moment the user asked for it), written at once
  // to the marker file beside the data file (its time there as the data file writes times). A marker the file
  // refused is kept all the same and its box says so. Nothing without a run.
  std::optional<analysis::Marker> AddMarker(const std::string& label, double time);
  // The time a record taken now gets (days, as a record's).
  double Now() const;
  // A time as the data file and the marker file write it.
  std::string TimeText(double time) const;
  // Changes to the markers of the current data file, with or without a run; the marker file is rewritten and a
  // box says when it could not be. False for an index out of range or nothing to undo.
  bool RenameMarker(size_t index, const std::string& label);
  bool MoveMarker(size_t index, double time);
  bool RemoveMarker(size_t index);
  bool UndoMarkerChange();
  bool CanUndoMarkerChange() const { return markers_.CanUndo(); }
  // The markers of the current data file, oldest first; emptied with a new data file.
  const std::vector<analysis::Marker>& Markers() const { return markers_.Markers(); }

  // From Start until Stop, also when the poller has ended on its own or the lost sensor is looked for.
  bool Running() const { return pollingThread_ != nullptr || awaiter_ != nullptr; }
  // While the run looks for its lost sensor.
  bool Reconnecting() const { return awaiter_ != nullptr; }
  // The running poller's interval in milliseconds; 0 without a run.
  int32_t PollInterval() const { return pollingThread_ ? pollingThread_->Interval() : 0; }
  acquisition::MeasurementStore& Measurements() { return measurements_; }
  // The data file of the current series of runs, named by the first Start after program start or Clear.
  const std::string& DataFilePath() const { return dataFilePath_; }
  bool DisplayTimerActive() const { return displayTimer_.isActive(); }

 private:
  // Starts the polling thread for the current sensor, into the current data file.
  void StartPolling(bool resumed);
  // The port was lost: the poller ends, the gap's first marker is set and the sensor is looked for.
  void BeginLooking();
  // The looking ended by itself: the sensor is back on its port (found), polling resumes.
  void Resume(const base::SensorIdentity& found);
  // The note of the status bar while looking: who is awaited, since when, and who answered instead.
  void ShowLookingNote();
  // The gap's second marker, at the first record after it, once that record is in.
  void MarkReconnected();
  void DeleteDiscardedFile();
  // Shows why the marker file could not be written, if it could not.
  void ReportMarkerWrite(const std::optional<std::string>& failure);

  RunView& view_;
  base::MessageBoxes& boxes_;
  acquisition::SystemRegionalFormat regional_;
  acquisition::MeasurementStore measurements_;
  std::string dataFilePath_;
  std::string serialNumber_;  // of the sensor of the current run, for its notes
  // The sensor of the current run and how it is polled; its port follows the sensor when it comes back elsewhere.
  base::SensorIdentity sensor_;
  std::string saveFolder_;
  int32_t intervalMs_ = 2000;
  bool reconnect_ = false;
  // While looking for the lost sensor: since when, the first marker's time, and the other sensor that
  // answered last.
  std::chrono::steady_clock::time_point lostAt_;
  QString lostClock_;  // "14:03:07"
  std::optional<base::SensorIdentity> otherSensor_;
  // The box of the lost port, kept from the poller; shown when the user ends the run instead.
  std::string lostPortBox_;
  // From the loss until the first record after it: the last record's time before the gap, and the store's
  // count when polling resumed.
  std::optional<double> gapFrom_;
  size_t countAtResume_ = 0;
  bool discardDataFile_ = false;  // delete the data file at the next Clear or at exit
  analysis::MarkerList markers_;
  bool displayReady_ = false;  // series exist: from a Start until Clear
  size_t shown_ = 0;           // records handed to the view since the display was prepared
  QTimer displayTimer_;
  std::unique_ptr<identify::SensorAwaiter> awaiter_;  // while looking for the lost sensor
  // The boxes of the running poller in a run that reconnects: they keep its lost port.
  std::unique_ptr<acquisition::StretchBoxes> stretchBoxes_;
  // Last: stopped and joined before the store, the boxes and the format it uses go.
  std::unique_ptr<acquisition::PollingThread> pollingThread_;
};

}  // namespace quarn::ui
