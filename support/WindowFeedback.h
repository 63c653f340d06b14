#pragma once

#include "support/Accounts.h"

namespace quarn::support {

// A busy cursor over the whole application while a mail or FTP call blocks the GUI thread. The change is
// painted at once: pending non-input events are processed, so clicks made meanwhile wait for the call's end.
NetworkFeedback BusyCursorFeedback();

// Paints what is pending (a progress bar's new value) while the GUI thread is blocked; user input waits.
void PaintPending();

}  // namespace quarn::support
