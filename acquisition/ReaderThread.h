#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <thread>

#include "acquisition/MeasurementStore.h"
#include "acquisition/RegionalFormat.h"
#include "base/MessageBoxes.h"
#include "link/ManualResetEvent.h"
#include "link/SerialLink.h"

namespace quarn::acquisition {

class DataFile;

// What the reader takes from the main window when a run starts, copied so that the window may change
// its own fields meanwhile.
struct ReaderInputs {
  std::string saveFolder;    // save folder, ending in the path separator
  std::string portNumber;    // port number as decimal text
  std::string serialNumber;  // serial number
  std::string firmware;      // firmware revision
  std::string DataFileName;  // full path of the data file
};

// The long-lived objects a run works with. Each must outlive the run's threads.
struct RunContext {
  MeasurementStore& measurements;
  base::MessageBoxes& boxes;  // boxes are posted, never awaited
  const RegionalFormat& regional;
};

// The reader thread of a run: opens the data file and writes its header, then waits for the port's CR
// event, reads what has arrived, and stores every complete frame with ten or more values as one record
// and one line. Frames with fewer values are dropped. A data file deleted during the run is created again.
// Every frame that had arrived when the stop was
// requested is still stored before the thread ends.
class ReaderThread {
 public:
  ReaderThread(RunContext context, ReaderInputs inputs);
  // Asks the thread to stop, wakes it and waits for it.
  ~ReaderThread();
  ReaderThread(const ReaderThread&) = delete;
  ReaderThread& operator=(const ReaderThread&) = delete;

  // Set before Start: the run's open port (owned by the polling thread; never closed here) and its number
  // for the read error text.
  link::PortHandle port;
  std::string portNumber;
  // Ends the wait for a port event when signalled; stays signalled.
  link::ManualResetEvent wakeEvent;

  void Start();
  // The terminate request. Signal wakeEvent afterwards to end a pending wait.
  void RequestStop();
  bool StopRequested() const { return stop_.load(); }
  bool Finished() const { return finished_.load(); }
  void Join();

 private:
  void Execute();
  // Stores every complete frame among the bytes of one read.
  void StoreFrames(DataFile& file, std::string_view bytes);
  void WriteOrWarn(DataFile& file, std::string_view bytes);
  // When the data file (or its folder) was deleted, creates both again, writes a header block and posts one
  // warning; the next line goes there.
  void ReopenIfDeleted(DataFile& file);

  RunContext context_;
  const ReaderInputs inputs_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  bool reopenFailureShown_ = false;  // reader thread only
  std::thread thread_;
};

}  // namespace quarn::acquisition
