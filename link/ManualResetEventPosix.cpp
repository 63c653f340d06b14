#include "ManualResetEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace quarn::link {

ManualResetEvent::ManualResetEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

bool ManualResetEvent::Valid() const { return fd_ >= 0; }

ManualResetEvent::~ManualResetEvent() {
  if (fd_ >= 0) close(fd_);
}

void ManualResetEvent::Set() {
  // The counter only ever needs to be non-zero; repeated sets just add to it.
  const uint64_t one = 1;
  while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void ManualResetEvent::Reset() {
  uint64_t value;
  while (read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

bool ManualResetEvent::IsSet() const { return Wait(0); }

bool ManualResetEvent::Wait(int timeoutMs) const {
  pollfd p{fd_, POLLIN, 0};
  for (;;) {
    const int r = poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    return r > 0 && (p.revents & POLLIN);
  }
}

}  // namespace quarn::link
