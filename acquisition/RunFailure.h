#pragma once

#include <string>

#include "base/MessageBoxes.h"

namespace quarn::acquisition {

// How a run's own threads fail: the run ends, or (a line not written) the window warns and goes on while the
// recorder ends. Each comes with the text of the box shown for it.
enum class RunFailure {
  NoWakeEvent,        // the reader's wake event could not be made
  PortBusy,           // the port could not be opened
  ConverterGone,      // ten sends in a row failed
  FolderNotWritable,  // the save folder or the data file cannot be created
  WriteFailed,        // a line could not be written, or a record not stored
};

// Hears of each failure before its box is posted, so that a caller without a window can tell the failures
// apart without reading box texts.
class RunFailures {
 public:
  virtual ~RunFailures() = default;
  // Called on the failing thread.
  virtual void Failed(RunFailure failure, const std::string& boxText) = 0;
};

}  // namespace quarn::acquisition
