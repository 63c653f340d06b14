#include "THReadCMD.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/SerialPort.h"
#include "link/Timing.h"

namespace quarn::console {

namespace {

constexpr int kWaitMs = 5000;
// Lets a reply gather before the waiting bytes are counted.
constexpr int kGatherMs = 500;
constexpr int kBeforeReadMs = 150;
constexpr int kAfterReadErrorMs = 200;

}  // namespace

THReadCMD::THReadCMD(link::PortHandle port, ReaderChannel& channel) : hPort(std::move(port)), channel_(channel) {}

THReadCMD::~THReadCMD() {
  Terminate();
  WaitFor();
}

void THReadCMD::Start() {
  if (!thread_.joinable() && !finished_.load()) thread_ = std::thread([this] { Execute(); });
}

void THReadCMD::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void THReadCMD::ReArm() {
  size_t ignored;
  hPort->ClearCommError(ignored);
  FhEvent->Reset();
  hPort->SetCommMask(link::EV_RXCHAR);
}

bool THReadCMD::ReadAndShow(size_t n) {
  // One read of everything counted, then one log entry per chunk.
  std::string bytes(n, '\0');
  if (const std::error_code error = hPort->Read(reinterpret_cast<uint8_t*>(bytes.data()), n)) {
    channel_.Post(ReaderBox{BoxKind::Warning,
                            "Error reading from port COM a stream reader :" + link::SystemErrorText(error.value())});
    return false;
  }
  for (size_t start = 0; start < n; start += kChunkBytes) {
    channel_.Post(LogLines{ChunkLines(std::string_view(bytes).substr(start, kChunkBytes), channel_.Mode())});
  }
  return true;
}

void THReadCMD::Execute() {
  FhEvent = std::make_unique<link::ManualResetEvent>();
  if (!FhEvent->Valid()) {
    channel_.Post(ReaderBox{BoxKind::Error, "Error to create the Windows event on reading the thread"});
    FhEvent.reset();
    finished_.store(true);
    return;
  }
  while (!terminated_.load()) {
    if (observer_) observer_(Moment::PassStart, 0);
    std::error_code error;
    const link::WaitResult wait = hPort->WaitCommEvent(FhEvent.get(), link::Scaled(kWaitMs), error);
    // EINVAL is what the port gives for the invalid parameter (87) of a refused wait.
    const bool refused = wait == link::WaitResult::Failed && (!error || error.value() == EINVAL);
    if (wait == link::WaitResult::Timeout || refused) {
      ReArm();
      continue;
    }
    // An event, a changed mask or any other failure: look at what has arrived.
    link::Pause(kGatherMs);
    size_t n = 0;
    hPort->ClearCommError(n);
    if (n == 0) continue;
    if (observer_) observer_(Moment::Counted, n);
    link::Pause(kBeforeReadMs);
    if (!ReadAndShow(n)) {
      link::Pause(kAfterReadErrorMs);
      size_t ignored;
      hPort->ClearCommError(ignored);
    }
  }
  FhEvent.reset();
  finished_.store(true);
}

}  // namespace quarn::console
