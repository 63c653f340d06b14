#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "console/ReaderChannel.h"
#include "link/ManualResetEvent.h"
#include "link/SerialLink.h"

namespace quarn::console {

// The console reader: waits on the console's port for received characters and posts every chunk it reads
// to the console log, shown in the display mode set at that moment. It never opens or closes the port and
// never waits for the GUI thread. Its owner starts it, asks it to end and waits for it; a request to end is
// noticed at the top of a pass, so it can take up to the 5000 ms of an idle wait.
class ConsoleReader {
 public:
  // The port must stay open until the reader has finished.
  ConsoleReader(link::PortHandle port, ReaderChannel& channel);
  // Asks the reader to end and waits for it.
  ~ConsoleReader();
  ConsoleReader(const ConsoleReader&) = delete;
  ConsoleReader& operator=(const ConsoleReader&) = delete;

  void Start();
  void Terminate() { terminated_.store(true); }
  // Returns once the reader has finished (at once when it was never started).
  void WaitFor();
  bool Finished() const { return finished_.load(); }

  // Points of a pass that tests act at: its top, and right after counting n waiting bytes (before the
  // pause that precedes the read). The observer runs on the reader thread; set it before Start.
  enum class Moment { PassStart, Counted };
  void SetObserver(std::function<void(Moment, size_t n)> observer) { observer_ = std::move(observer); }

  // The most bytes one log entry shows; more waiting bytes are read and shown in several entries.
  static constexpr size_t kChunkBytes = 1023;

 private:
  void Execute();
  // Clears the error state, resets the event and sets the mask again (ending a wait still pending).
  void ReArm();
  // Reads the n counted bytes and posts them in chunks; false when the read failed (reported already).
  bool ReadAndShow(size_t n);

  const link::PortHandle port_;
  std::unique_ptr<link::ManualResetEvent> wakeEvent_;  // created and released by the reader thread
  ReaderChannel& channel_;
  std::function<void(Moment, size_t)> observer_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace quarn::console
