#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "datafile/DateReading.h"

// The pieces of a data file's lines, for the reader; no state, so that any thread may read any part of a file.
namespace quarn::datafile::lines {

std::string_view WithoutCr(std::string_view line);
bool IsBlank(std::string_view line);
// A line of equals signs that opens or closes a header block.
bool IsRule(std::string_view line);

// The first column: everything before the first TAB; the values after it, when the line looks like a data line.
bool SplitDataLine(std::string_view line, std::string_view& column, std::string_view& values);
// The ten values: TAB and one to five digits each, nothing after them but blanks or TABs.
bool ParseValues(std::string_view text, std::array<uint16_t, 10>& values);
// Records that share one whole second arrived at the line's pace within it: spread evenly over that second.
void SpreadWholeSeconds(std::span<acquisition::MeasurementRecord> records);
// A line as a status text shows it: at most 200 bytes, control characters replaced, as UTF-8.
std::string ShownText(std::string_view line);

// The dates a part of a file holds, each with the number of its data lines.
struct DateSurvey {
  struct Seen {
    DateFields fields;
    uint64_t lines = 0;
  };
  std::vector<Seen> dates;
  std::optional<DateFields> first;  // the first data line's date
  std::string unknownMonth;         // the first word where a month name was looked for and none fitted

  // Takes in the survey of the part that follows this one.
  void Append(const DateSurvey& next);
};

// Surveys the dates of lines, each followed by its LF.
void SurveyLines(std::string_view lines, const MonthNames& names, DateSurvey& survey);

// How the dates are read, chosen over the whole file.
struct DateReadingChoice {
  DateOrder order = DateOrder::DayMonthYear;
  int latestYear = kDefaultLatestYear;
  const MonthNames* names = nullptr;
};

// A part of a file read line by line: the records of its data lines with their times as the file's local wall
// clock, and every other line that is not blank where it stands, for the reader to take in file order.
struct ParsedLines {
  struct Other {
    size_t line = 0;           // 0-based within the part
    size_t recordsBefore = 0;  // records of the part before it
    bool rule = false;         // a header block's rule; else the line's text (without CR) follows
    std::string text;
  };
  std::vector<acquisition::MeasurementRecord> records;
  std::vector<Other> others;
  size_t lines = 0;

  void Clear() {
    records.clear();
    others.clear();
    lines = 0;
  }
};

// Reads lines, each followed by its LF; first when they begin with the file's first line (which may open with
// a byte-order mark).
void ParseLines(std::string_view lines, bool first, const DateReadingChoice& reading, ParsedLines& parsed);

}  // namespace quarn::datafile::lines
