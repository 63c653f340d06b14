#pragma once

#include <termios.h>

namespace quarn::link {

// The settings a POSIX tty keeps beside the five the program sets.
using PlatformLineSettings = termios;

}  // namespace quarn::link
