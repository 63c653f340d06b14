#pragma once

#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>

#include "base/WorkerThread.h"
#include "console/ReaderChannel.h"
#include "link/ManualResetEvent.h"
#include "link/SerialLink.h"

namespace quarn::console {

// The console reader: waits on the console's port for received characters and posts every chunk it reads
// to the console log, shown in the display mode set at that moment. It never opens or closes the port and
// never waits for the GUI thread. Its owner starts it, asks it to end and waits for it; a request to end
// wakes an idle wait at once and otherwise is noticed at the top of the next pass.
class ConsoleReader {
 public:
  // The port must stay open until the reader has finished.
  ConsoleReader(link::PortHandle port, ReaderChannel& channel);
  ConsoleReader(const ConsoleReader&) = delete;
  ConsoleReader& operator=(const ConsoleReader&) = delete;

  void Start();
  void RequestStop() { worker_.RequestStop(); }
  // Returns once the reader has finished (at once when it was never started).
  void Join() { worker_.Join(); }
  bool Finished() const { return worker_.Finished(); }

  // Points of a pass that tests act at: its top, and right after counting n waiting bytes (before the
  // pause that precedes the read). The observer runs on the reader thread; set it before Start.
  enum class Moment { PassStart, Counted };
  void SetObserver(std::function<void(Moment, size_t n)> observer) { observer_ = std::move(observer); }

  // The most bytes one log entry shows; more waiting bytes are read and shown in several entries.
  static constexpr size_t kChunkBytes = 1023;

 private:
  void Execute(std::stop_token stop);
  // Clears the error state, resets the event and sets the mask again (ending a wait still pending).
  void ReArm();
  // Reads the n counted bytes and posts them in chunks; false when the read failed (reported already).
  bool ReadAndShow(size_t n);

  const link::PortHandle port_;
  // Ends the wait for a port event when signalled; a stop request signals it.
  link::ManualResetEvent wakeEvent_;
  ReaderChannel& channel_;
  std::function<void(Moment, size_t)> observer_;
  base::WorkerThread worker_;  // last: joins before the members above go
};

}  // namespace quarn::console
