#include "THReadCMD.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
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
  std::array<uint8_t, kChunkBytes + 1> buffer{};
  while (n > 0) {
    const size_t count = std::min(n, kChunkBytes);
    buffer.fill(0);
    if (const std::error_code error = hPort->Read(buffer.data(), count)) {
      channel_.Post(ReaderBox{BoxKind::Warning, "Error reading from port COM a stream reader :" +
                                                    link::SystemErrorText(error.value())});
      return false;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), count);
    channel_.Post(LogLines{ChunkLines(bytes, channel_.Mode())});
    n -= count;
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
    std::error_code error;
    const link::WaitResult wait = hPort->WaitCommEvent(FhEvent.get(), link::Scaled(kWaitMs), error);
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
    if (countedHook_) countedHook_(n);
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
