#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "acquisition/RegionalFormat.h"
#include "calibration/Calibration.h"

namespace quarn::calibration {

inline constexpr const char* kCalibrationLogName = "calibration.tsv";
// How long the stability reading looks back.
inline constexpr double kStabilitySeconds = 30;

// The concentration's spread and trend over the last kStabilitySeconds.
struct Stability {
  double sd = 0;              // ppm
  double slopePerMinute = 0;  // ppm per minute, least squares
  bool stable = false;
};

// The concentration readings of the last kStabilitySeconds, taken between the wizard's steps.
class StabilityWindow {
 public:
  // seconds: on one monotonic line.
  void Add(double seconds, double ppm);
  void Clear() { readings_.clear(); }
  // Nothing until two readings at least 10 s apart are in.
  std::optional<Stability> Current() const;
  // "Reading 402 ppm · stable (±1.3 ppm over the last 30 s)", "Reading 612 ppm · settling (+18 ppm per minute)",
  // or "Reading 402 ppm" alone while too few readings are in; empty before the first.
  std::string Text() const;

 private:
  std::deque<std::pair<double, double>> readings_;
};

// One line of the log: a step, whose sensor, when, and how stable the gas was when it began.
struct CalibrationLogEntry {
  double time = 0;  // UTC day number, as a record's DT
  std::string serialNumber;
  std::string firmware;
  StepRecord record;
  std::optional<Stability> stability;
};

// The log's first line: the column names, TAB-separated, CR LF.
std::string CalibrationLogHeader();
// One line of the log, CR LF at its end. TAB, CR, LF and backslash inside a cell are written \t, \r, \n, \\.
std::string CalibrationLogLine(const CalibrationLogEntry& entry, const acquisition::RegionalFormat& format);

// Appends the entry to folder/calibration.tsv, creating it with its header when missing or empty; written
// through to the disk. Nothing on success, otherwise why not.
std::optional<std::string> AppendCalibrationLog(const std::string& folder, const CalibrationLogEntry& entry,
                                                const acquisition::RegionalFormat& format);

}  // namespace quarn::calibration
