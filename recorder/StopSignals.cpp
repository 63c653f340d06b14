#include "StopSignals.h"

#include <cerrno>
#include <ctime>

namespace quarn::recorder {

StopSignals::StopSignals() {
  sigemptyset(&signals_);
  for (int stop : {SIGINT, SIGTERM, SIGHUP}) {
    // An ignored signal stays ignored: nohup, or a shell that starts us in the background, meant it so.
    struct sigaction current {};
    if (sigaction(stop, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&signals_, stop);
  }
  pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

bool StopSignals::WaitFor(std::chrono::milliseconds timeout) {
  if (received_) return true;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  timespec wait{static_cast<time_t>(seconds.count()),
                static_cast<long>(std::chrono::nanoseconds(timeout - seconds).count())};
  for (;;) {
    const int taken = sigtimedwait(&signals_, nullptr, &wait);
    if (taken > 0) return received_ = true;
    // EINTR: another signal came; the rest of the wait is not worth keeping for a 100 ms tick.
    if (errno != EINTR) return false;
    wait = {0, 0};
  }
}

}  // namespace quarn::recorder
