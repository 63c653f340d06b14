#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>

#include "base/SystemError.h"
#include "link/ManualResetEvent.h"

#ifdef _WIN32
#include "link/SerialPortWin32.h"
#else
#include "link/SerialPortPosix.h"
#endif

namespace quarn::link {

// Port events a wait can end on.
inline constexpr uint8_t kEventRxChar = 1;  // any character received
inline constexpr uint8_t kEventRxFlag = 2;  // the event character received

// Purge flags.
inline constexpr uint32_t kPurgeTx = 4;
inline constexpr uint32_t kPurgeRx = 8;

inline constexpr uint8_t kNoParity = 0;
inline constexpr uint8_t kOneStopBit = 0;

// The line settings record of a port. The five named fields are the ones the program sets; `rest` is the
// platform's own record as read, so that writing the record back leaves every other setting alone.
struct LineSettings {
  uint32_t baudRate = 0;
  uint8_t byteSize = 8;
  uint8_t parity = kNoParity;
  uint8_t stopBits = kOneStopBit;
  char eventChar = 0;
  PlatformLineSettings rest{};
};

enum class WaitResult {
  Event,        // a masked event occurred
  MaskChanged,  // the event mask was set (or the port closed) while waiting
  Woken,        // the caller's own event was signalled
  Timeout,
  Failed,  // refused or the device is gone; see the error code
};

// One open serial device with the effects of a Windows COM handle: exclusive open, line settings, purge,
// event mask, a cancellable wait for the masked event, the count of waiting bytes, read of exactly n bytes
// and write. One thread may write while another waits and reads. Built on termios on POSIX and on the
// Win32 communications functions on Windows; the choice is made at build time. Errors are the system's own
// codes (errno, or the Win32 error code in base::Win32Category()); compare them with std::errc values.
// A device that went away (converter pulled out) makes every operation fail; nothing busy-loops.
class SerialPort {
 public:
  // Opens the device for reading and writing, exclusively. POSIX: the tty at devicePath (TIOCEXCL plus an
  // advisory lock, which also holds against root), in raw mode. Windows: the COM device name ("COM7",
  // "\\.\COM12"), overlapped, without sharing. Null with the error set on failure.
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
  // anew, or timeoutMs passes (negative: no limit). A zero mask is refused (std::errc::invalid_argument).
  WaitResult WaitEvent(const ManualResetEvent* wake, int timeoutMs, std::error_code& error);

  // Takes in what has arrived and reports how many bytes wait in the receive queue.
  std::error_code BytesWaiting(size_t& queued);

  // Reads exactly count bytes; fails with std::errc::timed_out when they have not all arrived in timeoutMs.
  // A failed read takes nothing from the receive queue.
  std::error_code Read(uint8_t* buffer, size_t count, int timeoutMs = 2000);

  // Writes all bytes and returns once the line has had the time to send them at its baud rate; fails with
  // std::errc::timed_out when the line does not take them within timeoutMs.
  std::error_code Write(const uint8_t* data, size_t count, int timeoutMs = 5000);

  // Releases the device and ends a pending wait. Idempotent; later operations fail
  // (std::errc::bad_file_descriptor).
  void Close();
  bool IsOpen() const;

 private:
  struct Native;  // the platform's descriptors and state, in SerialPortPosix.cpp or SerialPortWin32.cpp
  SerialPort(std::unique_ptr<Native> native, std::string devicePath);
  std::unique_ptr<Native> native_;
  const std::string devicePath_;  // as given to Open; names the port to link/SerialPortFaults.h
};

// Whether the device at devicePath is there and free, without touching it: opens it (on POSIX with the same
// advisory lock as Open) and closes it again. Its line settings (raw mode, echo, baud rate) are never read or
// written, so a port that another program uses keeps them. An error (EBUSY, or the Win32 access-denied code)
// when another opener holds it; then the port counts as taken.
std::error_code ProbePort(const std::string& devicePath);

// The system's message text for one of its error codes (errno on POSIX, a Win32 code on Windows).
using base::SystemErrorText;

}  // namespace quarn::link
