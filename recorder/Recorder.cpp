#include "Recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/PollingThread.h"
#include "acquisition/ReaderThread.h"
#include "acquisition/StretchBoxes.h"
#include "analysis/Gaps.h"
#include "analysis/MarkerFile.h"
#include "datafile/DataFileReader.h"
#include "identify/AwaitSensor.h"
#include "link/SerialPort.h"
#include "publish/FileRecords.h"
#include "publish/Payload.h"
#include "publish/Publisher.h"
#include "recorder/Options.h"

namespace quarn::recorder {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often the run looks for new records, its end and failures.
constexpr milliseconds kTick{100};

uint64_t FileBytes(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<uint64_t>(size);
}

// Makes the new file's name lasting too: the file's own sync does not cover its folder entry.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The save folder made (all missing levels) and the data file opened once, so that a folder that cannot
// take the file fails before the sensor is polled; the reader thread then appends to the file.
bool PrepareDataFile(const RunSettings& settings, const std::string& path, ErrorLineBoxes& boxes) {
  const base::SensorIdentity& id = settings.identity;
  if (const auto problem = acquisition::DataFileNameProblem(id.serialNumber, id.firmware)) {
    boxes.Fail(ExitStatus::FolderNotWritable, *problem);
    return false;
  }
  std::error_code error;
  std::filesystem::create_directories(settings.saveFolder, error);
  if (!std::filesystem::is_directory(settings.saveFolder)) {
    boxes.Fail(ExitStatus::FolderNotWritable, "the save folder " + settings.saveFolder + " cannot be created: " +
                                                  (error ? error.message() : "a file of that name is in the way"));
    return false;
  }
  acquisition::DataFile file;
  std::string reason;
  if (!file.Open(path, reason)) {
    boxes.Fail(ExitStatus::FolderNotWritable, "the save folder does not take the data file: " + reason);
    return false;
  }
  return true;
}

// How many runs (header blocks) the file holds already: runs of one sensor started in the same minute share
// its name and so its file.
int RunsIn(const std::string& path) {
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(path, ignored)) return 0;
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string opening =
      acquisition::HeaderBlock("", "", "").substr(0, 16 + 2) + std::string(acquisition::kPortKey);
  int runs = 0;
  for (size_t at = text.find(opening); at != std::string::npos; at = text.find(opening, at + 1)) ++runs;
  return runs;
}

// A data file that no record reached is given back as it was: removed when this run made it, cut back to
// its earlier runs when it held some.
void UndoEmptyFile(const std::string& path, bool existed, uint64_t sizeBefore) {
  std::error_code ignored;
  if (!existed) {
    std::filesystem::remove(path, ignored);
  } else if (std::filesystem::is_regular_file(path, ignored)) {
    std::filesystem::resize_file(path, sizeBefore, ignored);
  }
}

// "14:03:07" in local time.
std::string ClockText(std::chrono::system_clock::time_point t) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

// The publisher of the run, with the records the file held before it and the sensor's other files.
std::unique_ptr<publish::Publisher> StartPublisher(const RunSettings& settings, const base::SensorIdentity& id,
                                                   const std::string& dataFile, bool existed,
                                                   const acquisition::RegionalFormat& regional, ErrorLineBoxes& boxes) {
  publish::PublisherSettings p;
  p.broker = settings.publish->broker;
  p.caFile = settings.publish->caFile;
  p.serial = id.serialNumber;
  p.identityPayload = publish::IdentityPayload(
      {id, publish::HostName(), std::filesystem::path(dataFile).filename().string(), settings.intervalMs});
  p.dataFile = dataFile;
  p.dateOrder = datafile::DateOrderOf(regional);
  p.tellFirstConnection = !settings.quiet;
  if (existed) {
    try {
      p.recordsBefore = publish::ReadRecordsAfter(dataFile, UINT64_MAX, p.dateOrder,
                                                  [](const publish::NumberedRecord&) { return false; });
    } catch (const datafile::DataFileError&) {
      // A file with no record yet: this run's records count from 1.
    }
  }
  p.earlierFiles = publish::SensorDataFiles(settings.saveFolder, id.serialNumber);
  auto publisher = std::make_unique<publish::Publisher>(p, [&boxes](const std::string& line) { boxes.Print(line); });
  publisher->Start();
  return publisher;
}

}  // namespace

std::string OutputLine(const acquisition::MeasurementRecord& r, const acquisition::RegionalFormat& regional) {
  std::string line = acquisition::RecordTimeText(r.DT, regional);
  for (uint16_t value : {r.T, r.S, r.Ur, r.Uo, r.par5, r.par6, r.par7, r.C1, r.C2, r.K}) {
    line += '\t';
    line += acquisition::ZeroPadded(value, 5);
  }
  line += '\n';
  return line;
}

std::string SummaryLine(milliseconds elapsed, uint64_t records, uint64_t lostPolls, uint64_t fileBytes) {
  const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(elapsed).count();
  const std::string mm = std::to_string(minutes % 60);
  const std::string after = std::to_string(minutes / 60) + "h" + (mm.size() < 2 ? "0" : "") + mm + "m";
  return "after " + after + ": " + std::to_string(records) + " records, " + std::to_string(lostPolls) +
         " lost polls, file " + std::to_string(fileBytes) + " bytes";
}

RunOutcome Record(const RunSettings& settings, const acquisition::RegionalFormat& regional, std::ostream& out,
                  ErrorLineBoxes& boxes, StopRequest& stop) {
  base::SensorIdentity id = settings.identity;
  RunOutcome outcome;
  outcome.dataFile =
      acquisition::DataFileName(settings.saveFolder, id.serialNumber, id.firmware, acquisition::CurrentLocalDateTime());
  std::error_code ignored;
  const bool existed = std::filesystem::exists(outcome.dataFile, ignored);
  const uint64_t sizeBefore = existed ? FileBytes(outcome.dataFile) : 0;
  const int run = existed ? RunsIn(outcome.dataFile) + 1 : 1;
  if (!PrepareDataFile(settings, outcome.dataFile, boxes)) {
    if (!existed) std::filesystem::remove(outcome.dataFile, ignored);
    outcome.status = *boxes.Failure();
    return outcome;
  }

  const std::unique_ptr<publish::Publisher> publisher =
      settings.publish ? StartPublisher(settings, id, outcome.dataFile, existed, regional, boxes) : nullptr;

  acquisition::MeasurementStore store;
  // One stretch of polling: from the start, or from the sensor's return, to the end or the next loss.
  struct Stretch {
    std::unique_ptr<acquisition::StretchBoxes> boxes;
    std::unique_ptr<acquisition::PollingThread> poller;
  } stretch;
  uint64_t lostPollsBefore = 0;
  auto startStretch = [&](bool resumed) {
    stretch.poller.reset();
    stretch.boxes = std::make_unique<acquisition::StretchBoxes>(boxes, &boxes, settings.reconnect.enabled, resumed);
    const acquisition::RunContext context{store, *stretch.boxes, regional, stretch.boxes.get()};
    acquisition::ReaderInputs inputs{settings.saveFolder, id.portNumber, id.serialNumber, id.firmware,
                                     outcome.dataFile};
    if (settings.count) inputs.recordLimit = *settings.count - outcome.records;
    inputs.storeOnlyWritten = true;
    inputs.resumed = resumed;
    stretch.poller = std::make_unique<acquisition::PollingThread>(context, inputs, settings.intervalMs);
    stretch.poller->Start();
  };
  auto lostPolls = [&] { return lostPollsBefore + (stretch.poller ? stretch.poller->UnansweredRequests() : 0); };

  const Clock::time_point start = Clock::now();
  Clock::time_point nextSummary = start + settings.summaryEvery;
  Clock::time_point lastFrameAt = start;
  std::optional<double> lastFrameDT;
  // Set from the loss until the first frame after it, which gets the second marker.
  std::optional<double> gapFromDT;
  bool outputFailed = false;
  const std::string markerFile = analysis::MarkerFilePath(outcome.dataFile);
  auto mark = [&](double DT, const std::string& label) {
    std::string reason;
    if (!analysis::AppendMarker(markerFile, acquisition::RecordTimeTextMs(DT, regional), label, reason))
      boxes.Print("warning: marker \"" + label + "\" not written to " + markerFile + ": " + reason);
  };
  // Moves what the reader has stored to the output; the store keeps nothing, so a run of days holds no
  // more memory than its first minute.
  auto passOn = [&] {
    const std::shared_ptr<const acquisition::RecordBlock> records = store.TakeRecords();
    if (records->Count() == 0) return;
    lastFrameAt = Clock::now();
    if (gapFromDT) {
      const double firstDT = (*records)[0].DT;
      mark(firstDT, analysis::ReconnectedLabel(std::llround((firstDT - *gapFromDT) * 86400.0)));
      gapFromDT.reset();
    }
    lastFrameDT = (*records)[records->Count() - 1].DT;
    outcome.records += records->Count();
    if (publisher) {
      for (size_t i = 0; i < records->Count(); ++i) publisher->Offer((*records)[i]);
    }
    if (settings.quiet || outputFailed) return;
    std::string text;
    for (size_t i = 0; i < records->Count(); ++i) text += OutputLine((*records)[i], regional);
    errno = 0;
    out << text << std::flush;
    if (out) return;
    // A full or closed standard output ends the run as a failure; the file is finished as at Stop.
    const int code = errno;
    outputFailed = true;
    boxes.Fail(ExitStatus::OutputFailed,
               "standard output: " + (code ? link::SystemErrorText(code) : std::string("write failed")));
  };
  // Said even with --quiet: an unattended run must leave a trace of a sensor that stopped answering.
  auto reportSilence = [&] {
    if (!stretch.poller) return;
    for (const acquisition::SilenceChange& change : stretch.poller->TakeSilenceChanges()) {
      boxes.Print(change.silent
                      ? acquisition::SilentText(id.serialNumber, ClockText(acquisition::WallClockOf(change.since)))
                      : acquisition::AnsweringAgainText(id.serialNumber, change));
    }
  };
  // As Stop does it: the reader stores what has arrived, closes (and syncs) the file, the port is closed.
  auto endStretch = [&] {
    if (!stretch.poller) return;
    stretch.poller->RequestStop();
    stretch.poller->Join();
    passOn();
    reportSilence();
    lostPollsBefore += stretch.poller->UnansweredRequests();
    stretch.poller.reset();
  };
  const auto silenceLimit = milliseconds(PollingPeriodMs(settings.intervalMs)) + settings.reconnect.silenceLimit;
  const std::optional<Clock::time_point> runEnd =
      settings.duration ? std::optional<Clock::time_point>(start + *settings.duration) : std::nullopt;

  startStretch(false);
  for (;;) {
    const bool stopAsked = stop.WaitFor(kTick);
    passOn();
    reportSilence();
    if (stopAsked || boxes.Failure()) break;
    if (settings.count && outcome.records >= *settings.count) break;
    const Clock::time_point now = Clock::now();
    if (runEnd && now >= *runEnd) break;
    const bool portLost = stretch.boxes->PortLost();
    const bool silent = settings.reconnect.enabled && now - lastFrameAt >= silenceLimit;
    if (portLost || silent) {
      endStretch();
      SyncFolder(settings.saveFolder);
      const Clock::time_point lostAt = Clock::now();
      if (lastFrameDT && !gapFromDT) {
        mark(*lastFrameDT, analysis::kConnectionLostLabel);
        gapFromDT = lastFrameDT;
      }
      const std::string how =
          portLost ? "the port failed"
                   : "no frame for " + std::to_string(settings.reconnect.silenceLimit.count() / 1000) + " s";
      boxes.Print("sensor " + id.serialNumber + " lost on COM" + id.portNumber + " at " +
                  ClockText(acquisition::WallClockOf(lostAt)) + " (" + how + "); looking for it every " +
                  std::to_string(settings.reconnect.lookEvery.count() / 1000) + " s");
      std::optional<Clock::time_point> giveUpAt = runEnd;
      if (settings.reconnect.timeout && (!giveUpAt || lostAt + *settings.reconnect.timeout < *giveUpAt))
        giveUpAt = lostAt + *settings.reconnect.timeout;
      const identify::AwaitResult found = identify::AwaitSensor(
          id, settings.reconnect.lookEvery, giveUpAt, [&](milliseconds wait) { return stop.WaitFor(wait); },
          [&](const base::SensorIdentity& other) {
            boxes.Print("sensor " + other.serialNumber + " (" + other.firmware + ") answered on COM" +
                        other.portNumber + ", not the run's sensor " + id.serialNumber + " (" + id.firmware +
                        "): still waiting for it");
          });
      if (found.outcome == identify::AwaitOutcome::Stopped) break;
      if (found.outcome == identify::AwaitOutcome::GaveUp) {
        if (runEnd && Clock::now() >= *runEnd) break;
        const std::string after =
            "sensor " + id.serialNumber + " not back within " +
            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(*settings.reconnect.timeout).count()) +
            " s";
        if (portLost)
          boxes.Fail(ExitStatus::ConverterGone, "Limit of attempts to send commands on port (" + after + ")");
        else
          boxes.Fail(ExitStatus::SensorSilent, after);
        break;
      }
      const long long away = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - lostAt).count();
      boxes.Print("sensor " + id.serialNumber + " back on COM" + found.identity.portNumber + " after looking for " +
                  std::to_string(away) + " s; recording resumes");
      id.portNumber = found.identity.portNumber;
      lastFrameAt = Clock::now();
      startStretch(true);
      continue;
    }
    // Without reconnecting the run ends when its polling thread has ended on its own.
    if (stretch.poller->Finished()) break;
    if (now >= nextSummary) {
      nextSummary += settings.summaryEvery;
      if (!settings.quiet)
        boxes.Print(SummaryLine(std::chrono::duration_cast<milliseconds>(now - start), outcome.records, lostPolls(),
                                FileBytes(outcome.dataFile)));
    }
  }
  endStretch();
  SyncFolder(settings.saveFolder);
  if (publisher) publisher->Stop();

  outcome.status = boxes.Failure().value_or(ExitStatus::Ok);
  std::string where = " in " + outcome.dataFile + (run > 1 ? " (run " + std::to_string(run) + " of that file)" : "");
  if (outcome.records == 0) {
    UndoEmptyFile(outcome.dataFile, existed, sizeBefore);
    where = existed ? ", nothing added to " + outcome.dataFile : ", no data file (no record reached it)";
  }
  if (!settings.quiet)
    boxes.Print(SummaryLine(std::chrono::duration_cast<milliseconds>(Clock::now() - start), outcome.records,
                            lostPolls(), FileBytes(outcome.dataFile)) +
                where);
  return outcome;
}

}  // namespace quarn::recorder
