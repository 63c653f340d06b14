#pragma once

#include <QString>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "ui/Toolbar.h"

namespace quarn::ui {

// What a measurement run needs of the window that shows it. The main window implements it; tests give
// their own.
class RunView {
 public:
  virtual ~RunView() = default;

  // Reads the criteria file again; false when it could not be read (its box has been shown).
  virtual bool ReloadCriteria() = 0;
  // Asks the sensor for its type and range codes; throws on a failure it has not reported itself.
  virtual void ReadTypeAndRange() = 0;
  // Before a run: new series for the first run of a data file; for a further run emptied ones, and the
  // earlier run's records, handed over by the store, for the rows that stay in the table.
  virtual void PrepareDisplay(bool newSeries, std::shared_ptr<const acquisition::RecordBlock> earlierRun) = 0;
  // The run controller's store (RunControl::Measurements) holds count records now, more than at the last call
  // since PrepareDisplay or ClearDisplay; the view reads the new ones where they are.
  virtual void ShowRecords(size_t count) = 0;
  // Removes the series and the table rows.
  virtual void ClearDisplay() = 0;
  // Forgets the sensor's serial number, firmware and codes; the port stays.
  virtual void ForgetSensor() = 0;
  virtual void ApplyToolbar(ToolbarColumn column) = 0;
  // The path for a copy of the data file, offered under fileName; empty when the user cancelled.
  virtual QString AskSavePath(const QString& fileName) = 0;
  // A note on the run that needs no answer (a sensor fallen silent, answering again, looked for): no box.
  // An empty text removes the note.
  virtual void ShowRunNote(const QString& text) = 0;
  // The run controller's markers (RunControl::Markers) changed without the view asking: draws them again.
  virtual void ShowMarkers() = 0;
  // The run's sensor answered again under another port number, where the run goes on.
  virtual void SensorMovedTo(const std::string& portNumber) = 0;
};

}  // namespace quarn::ui
