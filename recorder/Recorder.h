#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "acquisition/MeasurementStore.h"
#include "acquisition/RegionalFormat.h"
#include "identify/SensorIdentity.h"
#include "publish/BrokerUrl.h"
#include "recorder/ErrorLineBoxes.h"
#include "recorder/ExitStatus.h"
#include "recorder/Reconnect.h"

namespace quarn::recorder {

// Where the run publishes its records besides the file.
struct PublishTarget {
  publish::BrokerUrl broker;  // its password read already
  std::string caFile;         // authorities trusted instead of the system's; empty: the system's
};

// What a run needs, fixed at its start.
struct RunSettings {
  base::SensorIdentity identity;
  int32_t intervalMs = 2000;
  std::string saveFolder;  // ending in the separator; created when missing
  std::optional<std::chrono::milliseconds> duration;
  std::optional<uint64_t> count;
  bool quiet = false;
  std::chrono::milliseconds summaryEvery = std::chrono::minutes(1);
  ReconnectSettings reconnect;
  std::optional<PublishTarget> publish;
};

// Ends a run from outside: stop signals in the program, the test itself in tests.
class StopRequest {
 public:
  virtual ~StopRequest() = default;
  // Waits at most timeout; true once a stop has been asked for.
  virtual bool WaitFor(std::chrono::milliseconds timeout) = 0;
};

struct RunOutcome {
  ExitStatus status = ExitStatus::Ok;
  std::string dataFile;
  uint64_t records = 0;
};

// One record as a line of standard output: the file's time column and its ten five-digit values,
// tab-separated, in UTF-8 and ending in LF.
std::string OutputLine(const acquisition::MeasurementRecord& record, const acquisition::RegionalFormat& regional);

// "after 1h05m: 1800 records, 2 lost polls, file 146400 bytes".
std::string SummaryLine(std::chrono::milliseconds elapsed, uint64_t records, uint64_t lostPolls, uint64_t fileBytes);

// One run on the acquisition code the window uses: the polling thread opens the port, the reader thread
// writes the data file (same name, header and lines as the window's). Records go to out as they arrive
// (unless quiet), a summary to boxes every summaryEvery. Ends at the count, after the duration, on a stop
// request or on the first failure; then the reader drains what has arrived and the file is synced.
// A lost sensor (the port failed, or no frame for settings.reconnect.silenceLimit) is awaited when
// settings.reconnect says so: the stretch ends as at Stop, and once the same sensor answers again polling
// resumes into the same file, the gap written to its marker file.
// With settings.publish every record also goes to the broker, and what the sensor's data files in the save
// folder hold beyond their cursors too; recording never waits for it.
RunOutcome Record(const RunSettings& settings, const acquisition::RegionalFormat& regional, std::ostream& out,
                  ErrorLineBoxes& boxes, StopRequest& stop);

}  // namespace quarn::recorder
