#include "SerialLink.h"

#include <chrono>
#include <vector>

#include "base/CodePage.h"
#include "base/Timing.h"
#include "link/PortNames.h"
#include "link/Protocol.h"

namespace quarn::link {

namespace {

constexpr size_t kReadPortMax = 1023;
constexpr size_t kExchangeMax = 511;

[[noreturn]] void Raise(const std::string& text) { throw PortError(text); }

// After a failed wait: clear the error state, reset the event and end any wait still pending.
void CleanUpWait(const PortHandle& port, ManualResetEvent& event) {
  size_t queued;
  port->BytesWaiting(queued);
  event.Reset();
  port->SetEventMask(kEventRxFlag);
}

}  // namespace

PortHandle OpenPort(const std::string& name, uint8_t eventMask) {
  std::error_code error;
  PortHandle port = SerialPort::Open(DevicePathForPort(name), error);
  if (!port) Raise("INVALID_HANDLE_VALUE \n\rError Code: " + std::to_string(error.value()));

  LineSettings settings;
  if (port->GetLineSettings(settings)) {
    port->Close();
    Raise("Error setting port state");
  }
  settings.baudRate = 9600;
  settings.byteSize = 8;
  settings.parity = kNoParity;
  settings.stopBits = kOneStopBit;
  settings.eventChar = kCR;
  if (port->SetLineSettings(settings)) {
    port->Close();
    Raise("Error setting port state");
  }
  if (port->Purge(kPurgeTx | kPurgeRx)) {
    port->Close();
    Raise("Error purging port");
  }
  if (port->SetEventMask(eventMask)) {
    port->Close();
    Raise("Error setting port mask");
  }
  return port;
}

void WritePort(const PortHandle& port, const std::string& command) {
  std::string line;
  if (!CommandLineBytes(command, line)) {
    Raise("Command longer than " + std::to_string(kMaxCommandLength) + " characters");
  }
  if (!port) Raise("Error writing port #1");
  const std::error_code error = port->Write(reinterpret_cast<const uint8_t*>(line.data()), line.size());
  if (!error) return;
  // A device that refuses at once is "#1"; one that stops taking the line is "#3".
  Raise(error == std::errc::timed_out ? "Error writing port #3" : "Error writing port #1");
}

void ReadPort(const PortHandle& port, std::span<int32_t> values) {
  ManualResetEvent event;
  if (!event.Valid() || !port) Raise("Sensor not respond (1)");

  port->SetEventMask(kEventRxFlag);
  std::error_code error;
  const WaitResult wait = port->WaitEvent(&event, base::Scaled(10000), error);
  if (wait == WaitResult::Timeout) {
    CleanUpWait(port, event);
    Raise("Sensor not respond (WAIT_TIMEOUT)");
  }
  if (wait == WaitResult::Failed && error == std::errc::invalid_argument) {
    CleanUpWait(port, event);
    Raise("Sensor not respond (WaitCommEvent)");
  }
  // Any other outcome, a gone device included, is judged by what has arrived.

  std::vector<uint8_t> buffer(kReadPortMax + 2, 0);
  base::Pause(200);
  size_t n = 0;
  port->BytesWaiting(n);
  if (n > kReadPortMax) {
    CleanUpWait(port, event);
    Raise("Sensor not respond");
  }
  if (n < 4) {
    size_t ignored;
    port->BytesWaiting(ignored);
    port->Purge(kPurgeRx);
    Raise("Sensor not respond");
  }
  if (port->Read(buffer.data(), n)) {
    base::Pause(200);
    size_t ignored;
    port->BytesWaiting(ignored);
    port->Purge(kPurgeRx);
    Raise("Sensor not respond");
  }
  const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), n);
  if (bytes[0] != kFrameStart) Raise("Sensor not respond");
  if (!ParseFrameBody(bytes, 1, values).complete) Raise("Sensor not respond");
}

bool QuietLine(const PortHandle& port) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(base::Scaled(2000));
  // A port that fails here fails the exchange too, which says so itself.
  for (;;) {
    if (port->Purge(kPurgeRx)) return true;
    base::Pause(2 * kFrameTimeMs);
    size_t n = 0;
    if (port->BytesWaiting(n) || n == 0) return true;
    if (Clock::now() >= deadline) {
      port->Purge(kPurgeRx);
      return false;
    }
  }
}

ExchangeResult ShortExchange(const PortHandle& port, const std::string& request, ReplyFilter filter,
                             base::MessageBoxes& boxes) {
  const bool notQuiet = port && port->IsOpen() && !QuietLine(port);
  if (notQuiet) boxes.Post(base::BoxKind::Warning, kLineNotQuiet);
  auto fail = [&](const char* text) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, text);
    port->Close();
    return ExchangeResult{ExchangeOutcome::Failed, {}, notQuiet};
  };
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      WritePort(port, request);
    } catch (const PortError&) {
      return fail("Not successful write to the port");
    }
    ManualResetEvent event;
    if (!event.Valid()) return fail("Was not successful to create an event");
    base::Pause(50);
    std::error_code error;
    port->WaitEvent(&event, base::Scaled(3000), error);  // the outcome does not matter: the count does

    std::vector<uint8_t> buffer(kExchangeMax + 2, 0);
    base::Pause(50);
    size_t n = 0;
    port->BytesWaiting(n);
    if (n > kExchangeMax) {
      // A line this long is no reply of the sensor; the port is closed so nothing more is written to it.
      port->Purge(kPurgeRx);
      return fail("Was not successful to read from the port");
    }
    if (n > 0) {
      base::Pause(50);
      if (port->Read(buffer.data(), n)) {
        boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Was not successful to read from the port");
        base::Pause(200);
        size_t ignored;
        port->BytesWaiting(ignored);
        port->Close();
        return {ExchangeOutcome::Failed, {}, notQuiet};
      }
      const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), n);
      // A frame, or what is left of one, is nobody's identity: the attempt counts as unanswered.
      if (LooksLikeFrame(bytes)) continue;
      const std::string text = filter == ReplyFilter::Digits ? DigitFilter(bytes) : CrFilter(bytes);
      if (!text.empty()) return {ExchangeOutcome::Answered, base::Latin1ToUtf8(text), notQuiet};
    }
  }
  return {ExchangeOutcome::Silent, {}, notQuiet};
}

}  // namespace quarn::link
