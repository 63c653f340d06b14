#pragma once

#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "acquisition/PollingThread.h"
#include "acquisition/SystemRegionalFormat.h"
#include "analysis/MarkerList.h"
#include "analysis/ResponseTimes.h"
#include "base/MessageBoxes.h"
#include "identify/SensorCheck.h"
#include "ui/RunView.h"

namespace quarn::ui {

// What a run takes at Start, copied so that the window may change its own fields meanwhile.
struct RunRequest {
  identify::IdentityFields identity;
  std::string saveFolder;  // ends in the path separator
  int32_t intervalMs = 2000;
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
  // the display timer calls it every second.
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

  // From Start until Stop, also when the poller has ended on its own.
  bool Running() const { return pollingThread_ != nullptr; }
  // The running poller's interval in milliseconds; 0 without a run.
  int32_t PollInterval() const { return pollingThread_ ? pollingThread_->Interval() : 0; }
  acquisition::MeasurementStore& Measurements() { return measurements_; }
  // The data file of the current series of runs, named by the first Start after program start or Clear.
  const std::string& DataFilePath() const { return dataFilePath_; }
  bool DisplayTimerActive() const { return displayTimer_.isActive(); }

 private:
  void DeleteDiscardedFile();
  // Shows why the marker file could not be written, if it could not.
  void ReportMarkerWrite(const std::optional<std::string>& failure);

  RunView& view_;
  base::MessageBoxes& boxes_;
  acquisition::SystemRegionalFormat regional_;
  acquisition::MeasurementStore measurements_;
  std::string dataFilePath_;
  std::string serialNumber_;      // of the sensor of the current run, for its notes
  bool discardDataFile_ = false;  // delete the data file at the next Clear or at exit
  analysis::MarkerList markers_;
  bool displayReady_ = false;  // series exist: from a Start until Clear
  size_t shown_ = 0;           // records handed to the view since the display was prepared
  QTimer displayTimer_;
  // Last: stopped and joined before the store and the format it uses go.
  std::unique_ptr<acquisition::PollingThread> pollingThread_;
};

}  // namespace quarn::ui
