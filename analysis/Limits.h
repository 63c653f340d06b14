#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quarn::analysis {

// Acceptance limits of a batch of sensors, read from an INI file (docs/analyze.md, "Limits file"):
//
//   # every file and every gas step
//   sd_max = 5
//   drift_per_hour_max = 2
//   T90_max_s = 30
//   [marker gas on 800 ppm]
//   level_after_min = 1150
//   level_after_max = 1250
//   sd_max = 3
//
// Keys before any section are general: sd_max and drift_per_hour_max judge the Conc figures of the whole file,
// T90_max_s, level_after_min and level_after_max every gas step. A [marker LABEL] section judges the steps after
// markers of exactly that label: its T90 and level limits replace the general ones, its sd_max and
// drift_per_hour_max judge the Conc over the step's level window after (where level_after is averaged).

// One set of limits; a limit not given judges nothing.
struct Limits {
  std::optional<double> sdMax;            // ppm, 0 or more
  std::optional<double> driftPerHourMax;  // ppm per hour, on the drift's size (rising or falling)
  std::optional<double> t90MaxSeconds;    // above 0
  std::optional<double> levelAfterMin;    // ppm
  std::optional<double> levelAfterMax;    // ppm
  bool operator==(const Limits&) const = default;
};

struct AcceptanceLimits {
  Limits general;
  std::map<std::string, Limits> byLabel;  // [marker LABEL] sections
  bool operator==(const AcceptanceLimits&) const = default;

  // The limits of the step after a marker with this label: the section's where it gives them, the general T90
  // and level limits otherwise; sd and drift only from the section (the general ones are the whole file's).
  Limits ForStep(const std::string& label) const;
};

// Why a limits file was refused: the 1-based line (0: the file as a whole) and what is wrong there.
struct LimitsError {
  size_t line = 0;
  std::string message;
  // "line 4: unknown key \"sd_mx\" ..." or the message alone for line 0.
  std::string Text() const;
};

// The limits, or why there are none.
struct LimitsReading {
  std::optional<AcceptanceLimits> limits;
  LimitsError error;
};

// Reads the text of a limits file (UTF-8; a byte order mark, CR LF and blank lines allowed; lines starting with #
// or ; are comments). Keys are read regardless of case. An unknown key or section, a value that is not a number
// in its range, a key given twice in a section, a section given twice or a minimum above its maximum is an error
// naming its line.
LimitsReading ParseLimits(std::string_view text);

// The same from a file; one that cannot be read is an error of line 0 naming the reason.
LimitsReading ReadLimitsFile(const std::string& path);

}  // namespace quarn::analysis
