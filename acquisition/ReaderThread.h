#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "acquisition/MeasurementStore.h"
#include "acquisition/RegionalFormat.h"
#include "acquisition/RunFailure.h"
#include "base/MessageBoxes.h"
#include "base/WorkerThread.h"
#include "link/ManualResetEvent.h"
#include "link/SerialLink.h"

namespace quarn::acquisition {

class DataFile;
class FrameArrivals;

// What the reader takes from the main window when a run starts, copied so that the window may change
// its own fields meanwhile.
struct ReaderInputs {
  std::string saveFolder;    // save folder, ending in the path separator
  std::string portNumber;    // port number as decimal text
  std::string serialNumber;  // serial number
  std::string firmware;      // firmware revision
  std::string dataFilePath;  // full path of the data file
  // The recorder's: frames after this many records are dropped, so that --count N leaves N lines.
  std::optional<uint64_t> recordLimit = std::nullopt;
  // The recorder's: a record whose line did not reach the file is not stored either, so that what it
  // counts and prints is what the file holds. The window keeps showing such records.
  bool storeOnlyWritten = false;
  // The recorder's: the run goes on in its file after the sensor came back, so no second header block.
  bool resumed = false;
};

// The long-lived objects a run works with. Each must outlive the run's threads.
struct RunContext {
  MeasurementStore& measurements;
  base::MessageBoxes& boxes;  // boxes are posted, never awaited
  const RegionalFormat& regional;
  RunFailures* failures = nullptr;  // hears each failure before its box, when given
};

// Tells context's failures of failure, then posts its box.
void PostFailure(const RunContext& context, RunFailure failure, base::BoxKind kind, const std::string& text);

// The reader thread of a run: opens the data file and writes its header, then waits for the port's CR
// event, reads what has arrived, and stores every complete frame with ten or more values as one record
// and one line. Frames with fewer values are dropped. A data file deleted during the run is created again.
// Every frame that had arrived when the stop was requested is still stored before the thread ends.
class ReaderThread {
 public:
  // The port is the run's open port, owned by the polling thread and never closed here; it must stay open
  // until the reader has been joined.
  // arrivals, when given, hears of every CR-ended frame as soon as it has been read.
  ReaderThread(RunContext context, ReaderInputs inputs, link::PortHandle port, FrameArrivals* arrivals = nullptr);
  ReaderThread(const ReaderThread&) = delete;
  ReaderThread& operator=(const ReaderThread&) = delete;

  void Start();
  // Also ends a pending wait for a port event.
  void RequestStop() { worker_.RequestStop(); }
  void Join() { worker_.Join(); }
  bool Finished() const { return worker_.Finished(); }

 private:
  void Execute(std::stop_token stop);
  // Stores every complete frame among the bytes of one read.
  // Stores the complete frames of what was read, after the unfinished frame kept from the read before.
  // A frame still unfinished at the end is kept for the next read: on a busy line the next reply is
  // always under way when a read is made, and cutting it would lose every other frame.
  // Returns how many frames ended in these bytes, stored or not.
  size_t StoreFrames(DataFile& file, std::string_view bytes);
  // False, after posting the warning, when the bytes did not reach the file.
  bool WriteOrWarn(DataFile& file, std::string_view bytes);
  // When the data file (or its folder) was deleted, creates both again, writes a header block and posts one
  // warning; the next line goes there.
  void ReopenIfDeleted(DataFile& file);

  RunContext context_;
  const ReaderInputs inputs_;
  const link::PortHandle port_;
  FrameArrivals* const arrivals_;
  // Ends the wait for a port event when signalled; stays signalled.
  link::ManualResetEvent wakeEvent_;
  bool reopenFailureShown_ = false;  // reader thread only
  uint64_t stored_ = 0;              // reader thread only: records stored so far
  std::string unfinished_;           // reader thread only: a frame whose CR has not arrived yet
  base::WorkerThread worker_;        // last: joins before the members above go
};

}  // namespace quarn::acquisition
