#pragma once

#include <signal.h>

#include "recorder/Recorder.h"

namespace quarn::recorder {

// SIGINT, SIGTERM and SIGHUP as a stop request, except those the parent left ignored (nohup, a background
// job of a shell script). Construct it before any thread starts: the signals are blocked in this thread and
// so in every thread started after it, and taken only by WaitFor, so a signal never interrupts a write or a
// wait of the acquisition threads. SIGPIPE and SIGXFSZ are ignored: a closed
// standard output or a file size limit then shows as a failed write instead of ending the process.
class StopSignals : public StopRequest {
 public:
  StopSignals();
  bool WaitFor(std::chrono::milliseconds timeout) override;

 private:
  sigset_t signals_;
  bool received_ = false;
};

}  // namespace quarn::recorder
