#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

#include "base/MessageBoxes.h"
#include "link/SerialPort.h"

namespace quarn::link {

// An open port. The action or run that opened it owns it and closes it; operations given a handle
// never close it, except ShortExchange on its failed outcome.
using PortHandle = std::shared_ptr<SerialPort>;

// A failed serial operation; what() is the text the caller may show.
class PortError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Opens "COM<n>" and configures it: 9600 8N1, event character CR, both buffers purged, the given mask.
// Throws PortError with "INVALID_HANDLE_VALUE \n\rError Code: <the system's code>" when the device cannot be opened.
PortHandle OpenPort(const std::string& name, uint8_t eventMask);

// Sends the command and CR. Throws PortError. A command longer than 255 characters is refused whole.
void WritePort(const PortHandle& port, const std::string& command);

// Waits for one reply starting with 0x0E and ending with CR and stores its fields into values[0..].
// Entries without a field keep their values. Throws PortError with a "Sensor not respond" text.
void ReadPort(const PortHandle& port, std::span<int32_t> values);

enum class ExchangeOutcome {
  Answered,  // the text is not empty
  Silent,    // two attempts brought no text
  Failed,    // an error box was shown and the port is closed
};

enum class ReplyFilter {
  Digits,  // up to the first CR, digits only
  NoCR,    // every byte except CR
};

struct ExchangeResult {
  ExchangeOutcome outcome = ExchangeOutcome::Silent;
  std::string text;           // UTF-8; each reply byte is the character with the same code
  bool lineNotQuiet = false;  // the line never went quiet before the request (kLineNotQuiet was posted)
};

// Empties the port's input and waits until nothing has arrived for two frame times, at most 2 s, so that what
// follows the next request is its reply and not a frame still on its way from a run that just ended.
// False when the line never went quiet.
bool QuietLine(const PortHandle& port);

// The warning a caller shows when QuietLine returned false.
inline constexpr const char* kLineNotQuiet =
    "The sensor's line did not go quiet within 2 s: it keeps sending data nobody asked for.";

// One request, its reply as text, one retry. Shows its error boxes itself (on the calling GUI thread).
// The line is made quiet first (a warning is posted when it never went quiet). A reply shaped like a
// measurement frame counts as no text, and so does a serial number that is not digits only.
ExchangeResult ShortExchange(const PortHandle& port, const std::string& request, ReplyFilter filter,
                             base::MessageBoxes& boxes);

}  // namespace quarn::link
