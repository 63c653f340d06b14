#pragma once

namespace quarn::recorder {

// The recorder's exit statuses; scripts and service managers tell the failures apart by them.
enum class ExitStatus : int {
  Ok = 0,                 // the run ended by its count, its duration or a stop signal
  Failed = 1,             // anything not listed below
  Usage = 2,              // the command line is wrong
  PortAbsent = 3,         // no such port, or no sensor with the asked serial number on any free port
  PortBusy = 4,           // another program holds the port
  SensorSilent = 5,       // the sensor did not answer at identification
  ConverterGone = 6,      // ten sends in a row failed: the converter was pulled out
  FolderNotWritable = 7,  // the save folder or the data file cannot be created
  WriteFailed = 8,        // a line could not be written (disk full); the lines before it are in the file
  NoPermission = 9,       // the port exists but this user may not open it (not in the dialout group)
  OutputFailed = 10,      // standard output could not be written (full, or its reader went away)
};

inline int Code(ExitStatus status) { return static_cast<int>(status); }

}  // namespace quarn::recorder
