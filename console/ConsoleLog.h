#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarn::console {

// How the reader shows received bytes; the values are the positions of the window's mode buttons.
enum class DisplayMode { Ascii = 0, Hex = 1, AsciiHex = 2 };

// The log lines (UTF-8) for one chunk read from the port: "<< " and the bytes as Windows-1252 text,
// "<< " and each byte as two uppercase hex digits and a blank, or both (text first); then an empty line.
std::vector<std::string> ChunkLines(std::string_view bytes, DisplayMode mode);

// A log line as the log window shows it: the C0 control characters other than TAB become their Unicode
// control pictures (CR as U+240D), so that a received CR or LF stays visible and cannot split the line.
std::string VisibleLine(std::string_view utf8);

// The header of a saved log.
struct LogHeader {
  std::string port;  // port number as decimal text
  std::string serialNumber;
  std::string firmware;
};

// The saved log file: "Port: COM<n>", "SN: ...", "Type: ...", "================", then every log line,
// each ended by CR LF, in Windows-1252. Control pictures in the lines go back to the bytes they stand for.
std::vector<std::string> SavedLogLines(const LogHeader& header, const std::vector<std::string>& logLines);

}  // namespace quarn::console
