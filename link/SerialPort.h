#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include "link/ManualResetEvent.h"

namespace quarn::link {

// Port events a wait can end on.
inline constexpr uint8_t kEventRxChar = 1;  // any character received
inline constexpr uint8_t kEventRxFlag = 2;  // the event character received

// Purge flags.
inline constexpr uint32_t kPurgeTx = 4;
inline constexpr uint32_t kPurgeRx = 8;

inline constexpr uint8_t kNoParity = 0;
inline constexpr uint8_t kOneStopBit = 0;

// The line settings record of a port. The five named fields are the ones the program sets; `rest` carries
// every other setting exactly as read so that writing the record back leaves them alone.
struct LineSettings {
  uint32_t baudRate = 0;
  uint8_t byteSize = 8;
  uint8_t parity = kNoParity;
  uint8_t stopBits = kOneStopBit;
  char eventChar = 0;
  termios rest{};
};

enum class WaitResult {
  Event,        // a masked event occurred
  MaskChanged,  // the event mask was set (or the port closed) while waiting
  Woken,        // the caller's own event was signalled
  Timeout,
  Failed,  // refused or the device is gone; see the error code
};

// One open serial device with the effects of a Windows COM handle on POSIX termios: exclusive open,
// line settings, purge, event mask, a cancellable wait for the masked event, the count of waiting bytes,
// read of exactly n bytes and write. One thread may write while another waits and reads.
// A device that went away (converter pulled out) makes every operation fail with EIO; nothing busy-loops.
class SerialPort {
 public:
  // Opens the tty at devicePath for reading and writing, exclusively (TIOCEXCL plus an advisory lock,
  // which also holds against root), in raw mode. Null with the error set on failure.
  static std::shared_ptr<SerialPort> Open(const std::string& devicePath, std::error_code& error);

  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  std::error_code GetLineSettings(LineSettings& settings);
  std::error_code SetLineSettings(const LineSettings& settings);
  std::error_code Purge(uint32_t flags);
  // Setting the mask ends a wait that is pending on the port (its result is MaskChanged).
  std::error_code SetEventMask(uint8_t mask);
  uint8_t EventMask() const;

  // Waits until a masked event happens among bytes that arrive, `wake` is signalled, the mask is set
  // anew, or timeoutMs passes (negative: no limit). A zero mask is refused with EINVAL.
  WaitResult WaitEvent(const ManualResetEvent* wake, int timeoutMs, std::error_code& error);

  // Takes in what has arrived and reports how many bytes wait in the receive queue.
  std::error_code BytesWaiting(size_t& queued);

  // Reads exactly count bytes; fails with ETIMEDOUT when they have not all arrived within timeoutMs.
  std::error_code Read(uint8_t* buffer, size_t count, int timeoutMs = 2000);

  // Writes all bytes and returns once the line has had the time to send them at its baud rate; fails with
  // ETIMEDOUT when the line does not take them within timeoutMs.
  std::error_code Write(const uint8_t* data, size_t count, int timeoutMs = 5000);

  // Releases the device. Idempotent; later operations fail with EBADF.
  void Close();
  bool IsOpen() const;

 private:
  SerialPort(int fd, std::string path);
  // Moves whatever the tty has into queue_; sets sawEvent when a masked event was among it.
  // Caller holds mutex_.
  std::error_code DrainLocked(uint8_t mask, bool& sawEvent);
  std::error_code StateErrorLocked() const;
  std::error_code WriteAll(const uint8_t* data, size_t count, std::chrono::steady_clock::time_point deadline);

  const std::string path_;
  const int wakeFd_;  // eventfd that ends a pending wait on SetEventMask or Close

  mutable std::mutex mutex_;  // guards fd_, queue_, mask_, maskGeneration_, eventChar_, disconnected_
  int fd_;
  std::string queue_;  // received bytes not yet read by the program
  uint8_t mask_ = 0;
  uint64_t maskGeneration_ = 0;
  char eventChar_ = 0;
  bool disconnected_ = false;
};

// Whether the tty at devicePath is there and free, without touching it: opens it, takes the same advisory
// lock as Open, and closes it again. Its line settings (raw mode, echo, baud rate) are never read or
// written, so a port that another program uses keeps them. EBUSY when another opener holds the lock or the
// exclusive mode; then the port counts as taken.
std::error_code ProbePort(const std::string& devicePath);

// The system's message text for an error code.
std::string SystemErrorText(int code);

}  // namespace quarn::link
