#include "ReaderThread.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/LineWatch.h"
#include "base/Timing.h"
#include "link/Protocol.h"

namespace quarn::acquisition {

namespace {

// One read takes at most this many bytes; more waiting than that is line noise and is discarded.
constexpr size_t kMaxRead = 1023;

// 9600 baud, 8N1: ten bits a byte.
constexpr double kByteDays = 10.0 / 9600.0 / 86400.0;

}  // namespace

void PostFailure(const RunContext& context, RunFailure failure, base::BoxKind kind, const std::string& text) {
  if (context.failures) context.failures->Failed(failure, text);
  context.boxes.Post(kind, text);
}

ReaderThread::ReaderThread(RunContext context, ReaderInputs inputs, link::PortHandle port, FrameArrivals* arrivals)
    : context_(context), inputs_(std::move(inputs)), port_(std::move(port)), arrivals_(arrivals) {}

void ReaderThread::Start() {
  worker_.Start([this](std::stop_token stop) { Execute(stop); });
}

void ReaderThread::Execute(std::stop_token stop) {
  base::MessageBoxes& boxes = context_.boxes;
  if (!wakeEvent_.Valid()) {
    PostFailure(context_, RunFailure::NoWakeEvent, base::BoxKind::Error,
                "Error to create the Windows event on reading the thread");
    return;
  }
  // Runs at once when the stop was requested before this point.
  const std::stop_callback wakeOnStop(stop, [this] { wakeEvent_.Set(); });
  // Checked before anything is created, so a name that cannot be leaves nothing behind.
  if (const auto problem = DataFileNameProblem(inputs_.serialNumber, inputs_.firmware)) {
    PostFailure(context_, RunFailure::FolderNotWritable, base::BoxKind::Error, "Error to open file\n\r" + *problem);
    return;
  }
  if (!EnsureSaveFolder(inputs_.saveFolder)) {
    PostFailure(context_, RunFailure::FolderNotWritable, base::BoxKind::Error, "Error to create directory save");
    return;
  }
  DataFile file;
  std::string reason;
  if (!file.Open(inputs_.dataFilePath, reason)) {
    PostFailure(context_, RunFailure::FolderNotWritable, base::BoxKind::Error, "Error to open file\n\r" + reason);
    return;
  }
  if (!inputs_.resumed) WriteOrWarn(file, HeaderBlock(inputs_.portNumber, inputs_.serialNumber, inputs_.firmware));

  std::vector<uint8_t> buffer(kMaxRead + 1);
  auto bytesOf = [&](size_t n) { return std::string_view(reinterpret_cast<const char*>(buffer.data()), n); };
  while (!stop.stop_requested()) {
    std::fill(buffer.begin(), buffer.end(), 0);
    std::error_code error;
    if (port_->WaitEvent(&wakeEvent_, -1, error) == link::WaitResult::Failed) {
      // A refused wait (the converter is gone, for instance) must not spin.
      base::Pause(200);
      size_t ignored;
      port_->BytesWaiting(ignored);
      continue;
    }
    size_t n = 0;
    port_->BytesWaiting(n);
    if (n > kMaxRead) {
      port_->Purge(link::kPurgeRx);
      // The rest of a frame kept from the last read went with the purge.
      unfinished_.clear();
      continue;
    }
    if (n == 0) continue;
    // Read at once: the poller sends its next request at the fastest setting only when this frame is in,
    // and a frame cut short by the read is kept until the rest has come.
    if (const std::error_code readError = port_->Read(buffer.data(), n)) {
      boxes.Post(base::BoxKind::Warning, "Error reading from port COM" + inputs_.portNumber +
                                             " a stream reader :" + link::SystemErrorText(readError.value()));
      base::Pause(200);
      size_t ignored;
      port_->BytesWaiting(ignored);
      continue;
    }
    // Frames read before the stop request are kept even when the request came during the read.
    const size_t frames = StoreFrames(file, bytesOf(n));
    if (arrivals_) arrivals_->Add(frames);
  }

  // What arrived before the stop request is part of the run; the polling thread closes the port only
  // after this thread has ended.
  size_t n = 0;
  if (!port_->BytesWaiting(n) && n > 0 && n <= kMaxRead && !port_->Read(buffer.data(), n)) {
    StoreFrames(file, bytesOf(n));
  }
}

size_t ReaderThread::StoreFrames(DataFile& file, std::string_view read) {
  std::string joined;
  if (!unfinished_.empty()) {
    // A start byte before the first CR means the kept frame was cut off and never finished: drop it rather
    // than join it with the next frame.
    const size_t cr = read.find(link::kCR);
    const size_t start = read.find(link::kFrameStart);
    if (start == std::string_view::npos || (cr != std::string_view::npos && cr < start)) joined = unfinished_;
    unfinished_.clear();
  }
  joined.append(read);
  const std::string_view bytes = joined;
  // Keep a frame that has begun after the last CR for the next read.
  const size_t lastEnd = bytes.rfind(link::kCR);
  const size_t tailStart = bytes.find(link::kFrameStart, lastEnd == std::string_view::npos ? 0 : lastEnd + 1);
  if (tailStart != std::string_view::npos && bytes.size() - tailStart <= kMaxRead) {
    unfinished_ = std::string(bytes.substr(tailStart));
  }
  // A frame's time is when its CR arrived: the bytes after it in this read came later, at the line's pace.
  const double readTime = CurrentDayNumber();
  size_t frames = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != link::kFrameStart) continue;
    int32_t values[link::kFrameFields] = {};
    const link::FrameScan scan = link::ParseFrameBody(bytes, i + 1, values);
    if (!scan.complete) break;
    i = scan.end;
    ++frames;
    if (scan.fieldCount < link::kFrameFields) continue;
    if (inputs_.recordLimit && stored_ >= *inputs_.recordLimit) break;
    const size_t later = bytes.size() - scan.end - 1;
    const double when = readTime - static_cast<double>(later) * kByteDays;
    const MeasurementRecord record =
        RecordFromFrame(when, std::span<const int32_t, link::kFrameFields>(values, link::kFrameFields));
    // The line first: a record taken from the store has then already been written, or failed to be.
    ReopenIfDeleted(file);
    if (!WriteOrWarn(file, DataLine(record, context_.regional)) && inputs_.storeOnlyWritten) continue;
    try {
      context_.measurements.Append(record);
    } catch (const std::exception& e) {
      PostFailure(context_, RunFailure::WriteFailed, base::BoxKind::Warning,
                  std::string("Error writing to file \n\r") + e.what());
      continue;
    }
    ++stored_;
  }
  return frames;
}

void ReaderThread::ReopenIfDeleted(DataFile& file) {
  if (!file.Unlinked()) return;
  std::string reason;
  if (!EnsureSaveFolder(inputs_.saveFolder)) {
    reason = "Error to create directory save";
  } else if (!file.Reopen(inputs_.dataFilePath, reason)) {
    reason = "Error to open file\n\r" + reason;
  } else {
    WriteOrWarn(file, HeaderBlock(inputs_.portNumber, inputs_.serialNumber, inputs_.firmware));
    context_.boxes.Post(base::BoxKind::Warning, "The data file " + inputs_.dataFilePath +
                                                    " was deleted during the run. It has been created again and "
                                                    "the run goes on in it; the lines written before are lost.");
    reopenFailureShown_ = false;
    return;
  }
  // The lines still go to the deleted file; the user hears of it once, not per line.
  if (!reopenFailureShown_) PostFailure(context_, RunFailure::FolderNotWritable, base::BoxKind::Error, reason);
  reopenFailureShown_ = true;
}

bool ReaderThread::WriteOrWarn(DataFile& file, std::string_view bytes) {
  std::string reason;
  if (file.Write(bytes, reason)) return true;
  PostFailure(context_, RunFailure::WriteFailed, base::BoxKind::Warning, "Error writing to file \n\r" + reason);
  return false;
}

}  // namespace quarn::acquisition
