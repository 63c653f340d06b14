#include "ManualResetEvent.h"

#include <windows.h>

namespace quarn::link {

ManualResetEvent::ManualResetEvent() : handle_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

ManualResetEvent::~ManualResetEvent() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

bool ManualResetEvent::Valid() const { return handle_ != nullptr; }

void ManualResetEvent::Set() { SetEvent(handle_); }

void ManualResetEvent::Reset() { ResetEvent(handle_); }

bool ManualResetEvent::IsSet() const { return Wait(0); }

bool ManualResetEvent::Wait(int timeoutMs) const {
  return WaitForSingleObject(handle_, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

}  // namespace quarn::link
