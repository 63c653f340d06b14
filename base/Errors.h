#pragma once

// How each layer reports a failure; one rule per layer, so that a reader knows what to expect of a call:
//
// - Port primitives (link::SerialPort and the calls under it) return std::error_code; they never throw and
//   never show anything.
// - Protocol and file operations built on them throw one exception type per area (link::PortError for the
//   port, base::FileError for files, support::MailError/FtpError for the network), whose what() is the text
//   a box can show as it is.
// - Only code on the GUI thread shows boxes, through base::MessageBoxes::Show. A worker hands its box to
//   MessageBoxes::Post and never waits for the GUI thread.
//
// Core libraries (base/, link/, acquisition/, config/, identify/, calibration/, console/ and the support
// libraries without "ui" in their name) use the standard library and the OS only, never Qt.
