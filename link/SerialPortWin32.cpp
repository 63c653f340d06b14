#include "SerialPort.h"
#include "SerialPortFaults.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace quarn::link {

static_assert(sizeof(PlatformLineSettings::dcb) == sizeof(DCB));

namespace {

using Clock = std::chrono::steady_clock;

// How long a wait sleeps between two looks at the receive queue when the driver cannot wait for the event
// itself (see lookAtQueue_).
constexpr DWORD kQueueLookMs = 10;

std::error_code LastError() { return base::Win32Error(GetLastError()); }

// Milliseconds left until deadline for a Win32 wait; INFINITE without one.
DWORD Remaining(bool limited, Clock::time_point deadline) {
  if (!limited) return INFINITE;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<DWORD>(left) : 0;
}

}  // namespace

std::error_code ProbePort(const std::string& devicePath) {
  if (devicePath.empty()) return base::Win32Error(ERROR_FILE_NOT_FOUND);
  const HANDLE h = CreateFileW(base::WideFromUtf8(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  CloseHandle(h);
  return {};
}

// The Windows side of a port: the overlapped COM handle, an event that ends a wait when the mask is set or
// the port closes, and the bytes taken from the driver while looking for an event that it could not report.
struct SerialPort::Native {
  Native(HANDLE handle, HANDLE changed) : handle_(handle), changed_(changed) {}
  ~Native() {
    Close();
    CloseHandle(changed_);
  }

  // Counts an operation in progress so that Close waits for it before the handle goes away.
  class Use {
   public:
    explicit Use(Native& native) : native_(native) {
      std::lock_guard lock(native_.mutex_);
      ok_ = !native_.closed_;
      if (ok_) ++native_.users_;
    }
    ~Use() {
      if (!ok_) return;
      std::lock_guard lock(native_.mutex_);
      if (--native_.users_ == 0) native_.idle_.notify_all();
    }
    explicit operator bool() const { return ok_; }

   private:
    Native& native_;
    bool ok_ = false;
  };

  // One overlapped ReadFile or WriteFile of count bytes, cancelled after timeoutMs (negative: no limit).
  std::error_code Transfer(bool write, void* data, DWORD count, int timeoutMs, DWORD& done) {
    done = 0;
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ov.hEvent == nullptr) return LastError();
    const BOOL ok =
        write ? WriteFile(handle_, data, count, nullptr, &ov) : ReadFile(handle_, data, count, nullptr, &ov);
    DWORD code = ok ? 0 : GetLastError();
    bool cancelled = false;
    if (code == ERROR_IO_PENDING) {
      code = 0;
      if (WaitForSingleObject(ov.hEvent, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        CancelIoEx(handle_, &ov);
        cancelled = true;
      }
    }
    if (code == 0 && !GetOverlappedResult(handle_, &ov, &done, TRUE)) code = GetLastError();
    CloseHandle(ov.hEvent);
    if (cancelled && (code == 0 || code == ERROR_OPERATION_ABORTED)) code = ERROR_TIMEOUT;
    return code == 0 ? std::error_code() : base::Win32Error(code);
  }

  // Moves what the driver holds into queue_; sets sawEvent when a masked event was among it. Caller holds
  // mutex_ and a Use.
  std::error_code DrainLocked(uint8_t mask, bool& sawEvent) {
    sawEvent = false;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(handle_, &errors, &status)) return LastError();
    if (status.cbInQue == 0) return {};
    std::string chunk(status.cbInQue, '\0');
    DWORD got = 0;
    if (auto e = Transfer(false, chunk.data(), status.cbInQue, 1000, got); e && got == 0) return e;
    chunk.resize(got);
    if ((mask & kEventRxChar) && got > 0) sawEvent = true;
    if ((mask & kEventRxFlag) && chunk.find(eventChar_) != std::string::npos) sawEvent = true;
    queue_ += chunk;
    return {};
  }

  bool MaskChangedSince(uint64_t generation) {
    std::lock_guard lock(mutex_);
    return closed_ || maskGeneration_ != generation;
  }

  void Close() {
    HANDLE handle;
    {
      std::unique_lock lock(mutex_);
      if (closed_) return;
      closed_ = true;
      ++maskGeneration_;
      SetEvent(changed_);
      // Ends what is pending and what an operation already under way issues next.
      while (users_ > 0) {
        CancelIoEx(handle_, nullptr);
        idle_.wait_for(lock, std::chrono::milliseconds(50));
      }
      handle = handle_;
      queue_.clear();
    }
    CloseHandle(handle);
  }

  const HANDLE handle_;
  const HANDLE changed_;  // manual reset: set when the mask is set or the port closes

  mutable std::mutex mutex_;  // guards queue_, mask_, maskGeneration_, eventChar_, closed_, users_, lookAtQueue_
  std::condition_variable idle_;
  std::string queue_;  // bytes taken from the driver that the program has not read yet
  uint8_t mask_ = 0;
  uint64_t maskGeneration_ = 0;
  char eventChar_ = 0;
  bool closed_ = false;
  int users_ = 0;
  // The driver ended a wait at once with an empty event mask although the mask stood (Wine does this on a
  // pseudo-terminal, every time). From then on a wait looks at the receive queue for the event itself,
  // with a short sleep between looks, instead of asking the driver again.
  bool lookAtQueue_ = false;
};

std::shared_ptr<SerialPort> SerialPort::Open(const std::string& devicePath, std::error_code& error) {
  error.clear();
  if (devicePath.empty()) {
    error = base::Win32Error(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const HANDLE h = CreateFileW(base::WideFromUtf8(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = LastError();
    return nullptr;
  }
  const HANDLE changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (changed == nullptr) {
    error = LastError();
    CloseHandle(h);
    return nullptr;
  }
  return std::shared_ptr<SerialPort>(new SerialPort(std::make_unique<Native>(h, changed), devicePath));
}

SerialPort::SerialPort(std::unique_ptr<Native> native, std::string devicePath)
    : native_(std::move(native)), devicePath_(std::move(devicePath)) {}

SerialPort::~SerialPort() = default;

void SerialPort::Close() { native_->Close(); }

bool SerialPort::IsOpen() const {
  std::lock_guard lock(native_->mutex_);
  return !native_->closed_;
}

std::error_code SerialPort::GetLineSettings(LineSettings& settings) {
  Native::Use use(*native_);
  if (!use) return base::Win32Error(ERROR_INVALID_HANDLE);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(native_->handle_, &dcb)) return LastError();
  std::memcpy(settings.rest.dcb, &dcb, sizeof dcb);
  settings.baudRate = dcb.BaudRate;
  settings.byteSize = dcb.ByteSize;
  settings.parity = dcb.Parity;
  settings.stopBits = dcb.StopBits;
  settings.eventChar = dcb.EvtChar;
  return {};
}

std::error_code SerialPort::SetLineSettings(const LineSettings& settings) {
  Native::Use use(*native_);
  if (!use) return base::Win32Error(ERROR_INVALID_HANDLE);
  DCB dcb{};
  std::memcpy(&dcb, settings.rest.dcb, sizeof dcb);
  // A record that was never read carries no settings of the port's own: start from the current ones.
  if (dcb.DCBlength != sizeof dcb) {
    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(native_->handle_, &dcb)) return LastError();
  }
  dcb.BaudRate = settings.baudRate;
  dcb.ByteSize = settings.byteSize;
  dcb.Parity = settings.parity;
  dcb.StopBits = settings.stopBits;
  dcb.EvtChar = settings.eventChar;
  if (!::SetCommState(native_->handle_, &dcb)) return LastError();
  std::lock_guard lock(native_->mutex_);
  native_->eventChar_ = settings.eventChar;
  return {};
}

std::error_code SerialPort::Purge(uint32_t flags) {
  Native::Use use(*native_);
  if (!use) return base::Win32Error(ERROR_INVALID_HANDLE);
  if (!PurgeComm(native_->handle_, flags)) return LastError();
  if (flags & kPurgeRx) {
    std::lock_guard lock(native_->mutex_);
    native_->queue_.clear();
  }
  return {};
}

std::error_code SerialPort::SetEventMask(uint8_t mask) {
  Native::Use use(*native_);
  if (!use) return base::Win32Error(ERROR_INVALID_HANDLE);
  {
    std::lock_guard lock(native_->mutex_);
    native_->mask_ = mask;
    ++native_->maskGeneration_;
    SetEvent(native_->changed_);
  }
  // Also ends a wait that is pending in the driver.
  if (!::SetCommMask(native_->handle_, mask)) return LastError();
  return {};
}

uint8_t SerialPort::EventMask() const {
  std::lock_guard lock(native_->mutex_);
  return native_->mask_;
}

WaitResult SerialPort::WaitEvent(const ManualResetEvent* wake, int timeoutMs, std::error_code& error) {
  error.clear();
  Native& n = *native_;
  Native::Use use(n);
  if (!use) {
    error = base::Win32Error(ERROR_INVALID_HANDLE);
    return WaitResult::Failed;
  }
  uint64_t generation;
  uint8_t mask;
  {
    std::lock_guard lock(n.mutex_);
    if (n.mask_ == 0) {
      error = base::Win32Error(ERROR_INVALID_PARAMETER);
      return WaitResult::Failed;
    }
    generation = n.maskGeneration_;
    mask = n.mask_;
    ResetEvent(n.changed_);
  }
  const bool limited = timeoutMs >= 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
  const HANDLE handles[3] = {n.changed_, wake != nullptr ? static_cast<HANDLE>(wake->Handle()) : nullptr, nullptr};
  const DWORD handleCount = wake != nullptr ? 2 : 1;

  for (;;) {
    bool lookAtQueue;
    {
      std::lock_guard lock(n.mutex_);
      lookAtQueue = n.lookAtQueue_;
    }
    if (!lookAtQueue) {
      OVERLAPPED ov{};
      ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      if (ov.hEvent == nullptr) {
        error = LastError();
        return WaitResult::Failed;
      }
      DWORD events = 0;
      BOOL done = ::WaitCommEvent(n.handle_, &events, &ov);
      DWORD code = done ? 0 : GetLastError();
      DWORD signalled = WAIT_OBJECT_0;
      if (code == ERROR_IO_PENDING) {
        const HANDLE all[3] = {ov.hEvent, handles[0], handles[1]};
        signalled = WaitForMultipleObjects(handleCount + 1, all, FALSE, Remaining(limited, deadline));
        if (signalled != WAIT_OBJECT_0) CancelIoEx(n.handle_, &ov);
        DWORD ignored;
        done = GetOverlappedResult(n.handle_, &ov, &ignored, TRUE);
        code = done ? 0 : GetLastError();
      }
      CloseHandle(ov.hEvent);
      if (signalled == WAIT_OBJECT_0 + 2) return WaitResult::Woken;
      if (signalled == WAIT_TIMEOUT) return WaitResult::Timeout;
      if (signalled == WAIT_FAILED) {
        error = LastError();
        return WaitResult::Failed;
      }
      if (n.MaskChangedSince(generation)) return WaitResult::MaskChanged;
      if (done && (events & mask) != 0) return WaitResult::Event;
      if (!done && code != ERROR_OPERATION_ABORTED) {
        error = base::Win32Error(code);
        return WaitResult::Failed;
      }
      // Ended with an empty mask although the mask stands: look at the queue from now on.
      std::lock_guard lock(n.mutex_);
      n.lookAtQueue_ = true;
    }

    {
      std::lock_guard lock(n.mutex_);
      bool sawEvent = false;
      if ((error = n.DrainLocked(mask, sawEvent))) return WaitResult::Failed;
      if (sawEvent) return WaitResult::Event;
    }
    const DWORD left = Remaining(limited, deadline);
    if (left == 0) return WaitResult::Timeout;
    const DWORD signalled = WaitForMultipleObjects(handleCount, handles, FALSE, std::min(left, kQueueLookMs));
    if (signalled == WAIT_OBJECT_0 + 1) return WaitResult::Woken;
    if (signalled == WAIT_FAILED) {
      error = LastError();
      return WaitResult::Failed;
    }
    if (n.MaskChangedSince(generation)) return WaitResult::MaskChanged;
  }
}

std::error_code SerialPort::BytesWaiting(size_t& queued) {
  queued = 0;
  Native::Use use(*native_);
  if (!use) return base::Win32Error(ERROR_INVALID_HANDLE);
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(native_->handle_, &errors, &status)) return LastError();
  std::lock_guard lock(native_->mutex_);
  queued = native_->queue_.size() + status.cbInQue;
  return {};
}

std::error_code SerialPort::Read(uint8_t* buffer, size_t count, int timeoutMs) {
  if (auto fault = detail::TakeFault(devicePath_, detail::FaultedOperation::Read)) return fault;
  Native& n = *native_;
  Native::Use use(n);
  if (!use) return base::Win32Error(ERROR_INVALID_HANDLE);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  size_t have;
  {
    std::lock_guard lock(n.mutex_);
    have = std::min(count, n.queue_.size());
    std::memcpy(buffer, n.queue_.data(), have);
    n.queue_.erase(0, have);
  }
  while (have < count) {
    const DWORD left = Remaining(true, deadline);
    if (left == 0) return base::Win32Error(ERROR_TIMEOUT);
    DWORD got = 0;
    if (auto e = n.Transfer(false, buffer + have, static_cast<DWORD>(count - have), static_cast<int>(left), got)) {
      return e;
    }
    have += got;
    // The port's own read timeouts may end a read early with nothing; do not ask again at once.
    if (got == 0) Sleep(kQueueLookMs);
  }
  return {};
}

std::error_code SerialPort::Write(const uint8_t* data, size_t count, int timeoutMs) {
  if (auto fault = detail::TakeFault(devicePath_, detail::FaultedOperation::Write)) return fault;
  Native::Use use(*native_);
  if (!use) return base::Win32Error(ERROR_INVALID_HANDLE);
  const auto start = Clock::now();
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  const DWORD baud = ::GetCommState(native_->handle_, &dcb) && dcb.BaudRate > 0 ? dcb.BaudRate : 9600;
  DWORD done = 0;
  std::error_code result =
      native_->Transfer(true, const_cast<uint8_t*>(data), static_cast<DWORD>(count), timeoutMs, done);
  if (!result && done < count) result = base::Win32Error(ERROR_TIMEOUT);
  // As on POSIX: a write is over when the line has carried the bytes, however fast the driver took them.
  if (!result) std::this_thread::sleep_until(start + std::chrono::microseconds(count * 10 * 1000000 / baud));
  return result;
}

}  // namespace quarn::link
