#include "ConsoleReader.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Timing.h"
#include "link/SerialPort.h"

namespace quarn::console {

namespace {

constexpr int kWaitMs = 5000;
// Lets a reply gather before the waiting bytes are counted.
constexpr int kGatherMs = 500;
constexpr int kBeforeReadMs = 150;
constexpr int kAfterReadErrorMs = 200;

}  // namespace

ConsoleReader::ConsoleReader(link::PortHandle port, ReaderChannel& channel)
    : port_(std::move(port)), channel_(channel) {}

void ConsoleReader::Start() {
  worker_.Start([this](std::stop_token stop) { Execute(stop); });
}

void ConsoleReader::ReArm() {
  size_t ignored;
  port_->BytesWaiting(ignored);
  wakeEvent_.Reset();
  port_->SetEventMask(link::kEventRxChar);
}

bool ConsoleReader::ReadAndShow(size_t n) {
  // One read of everything counted, then one log entry per chunk.
  std::string bytes(n, '\0');
  if (const std::error_code error = port_->Read(reinterpret_cast<uint8_t*>(bytes.data()), n)) {
    channel_.Post(ReaderBox{base::BoxKind::Warning,
                            "Error reading from port COM a stream reader :" + link::SystemErrorText(error.value())});
    return false;
  }
  for (size_t start = 0; start < n; start += kChunkBytes) {
    channel_.Post(LogLines{ChunkLines(std::string_view(bytes).substr(start, kChunkBytes), channel_.Mode())});
  }
  return true;
}

void ConsoleReader::Execute(std::stop_token stop) {
  if (!wakeEvent_.Valid()) {
    channel_.Post(ReaderBox{base::BoxKind::Error, "Error to create the Windows event on reading the thread"});
    return;
  }
  // Runs at once when the stop was requested before this point.
  const std::stop_callback wakeOnStop(stop, [this] { wakeEvent_.Set(); });
  while (!stop.stop_requested()) {
    if (observer_) observer_(Moment::PassStart, 0);
    std::error_code error;
    const link::WaitResult wait = port_->WaitEvent(&wakeEvent_, base::Scaled(kWaitMs), error);
    if (stop.stop_requested()) break;
    // EINVAL is what the port gives for the invalid parameter (87) of a refused wait.
    const bool refused = wait == link::WaitResult::Failed && (!error || error.value() == EINVAL);
    if (wait == link::WaitResult::Timeout || refused) {
      ReArm();
      continue;
    }
    // An event, a changed mask or any other failure: look at what has arrived.
    base::Pause(kGatherMs);
    size_t n = 0;
    port_->BytesWaiting(n);
    if (n == 0) continue;
    if (observer_) observer_(Moment::Counted, n);
    base::Pause(kBeforeReadMs);
    if (!ReadAndShow(n)) {
      base::Pause(kAfterReadErrorMs);
      size_t ignored;
      port_->BytesWaiting(ignored);
    }
  }
}

}  // namespace quarn::console
