#pragma once

#include <QString>
#include <memory>
#include <string>

#include "acquisition/MeasurementStore.h"
#include "acquisition/PollingThread.h"
#include "ui/QtRegionalFormat.h"

namespace quarn::ui {

class MainWindow;

// A measurement run as the main window drives it: Start, Stop, the display tick, Save and Clear, and the
// run's part of closing the window. Lives on the GUI thread.
class RunControl {
 public:
  explicit RunControl(MainWindow& form);
  ~RunControl();

  void Start();
  void Stop();
  // Moves the records that arrived since the last tick into the chart and the table.
  void Tick();
  // Save with the dialog; SaveTo does the copy for a chosen path.
  void Save();
  void SaveTo(const QString& chosen);
  void Clear();
  // After the criteria were written: stops a run (with its question) and deletes a discarded file.
  void CloseSequence();
  // Applies at once to a running poller.
  void SetInterval(int32_t ms);

  bool Running() const { return pollingThread_ != nullptr; }
  // The running poller's interval in milliseconds; 0 without a run.
  int32_t PollInterval() const { return pollingThread_ ? pollingThread_->Interval() : 0; }
  acquisition::MeasurementStore measurements;
  std::string DataFileName;
  bool DiscardDataFile = false;

 private:
  void DeleteDiscardedFile();

  MainWindow& form_;
  QtRegionalFormat regional_;
  std::unique_ptr<acquisition::PollingThread> pollingThread_;
};

}  // namespace quarn::ui
