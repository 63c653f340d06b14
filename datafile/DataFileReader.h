#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "base/Files.h"
#include "datafile/DateReading.h"

namespace quarn::datafile {

// Reads the data files that acquisition/DataFile writes (header blocks and data lines, in the file's code
// page, CR LF or LF line ends) back into records. Usable from any thread; nothing here touches a window.
//
//   datafile::ReadOptions options;
//   options.localeOrder = datafile::DateOrderOf(regionalFormat);    // how the user's locale writes dates
//   options.shortMonthNames = {"Jan.", ...};                        // when its dates may name the month
//   options.progress = [&](uint64_t done, uint64_t total) { ...; return !cancelRequested; };
//   acquisition::MeasurementStore store;
//   const datafile::ReadResult result = datafile::ReadDataFile(path, options, store);  // throws DataFileError
//   if (result.cancelled) ...;  result.runs, result.skippedLines, result.dateReading ...

// Why a file could not be read at all: it cannot be opened, it is empty, or it is not a data file (neither a
// header block nor a data line in it). what() is a whole English sentence a box can show as it is.
class DataFileError : public base::FileError {
 public:
  using base::FileError::FileError;
};

// One run in the file: a header block and the data lines after it (a repeated Start appends a new block).
// Texts are UTF-8, decoded from the file's code page.
struct Run {
  std::string port;          // after "Port: ", e.g. "COM7"
  std::string serialNumber;  // after "SN: "
  std::string firmware;      // after "Type: " (the firmware revision)
  size_t firstRecord = 0;    // index of the run's first record among the records this read delivered
  size_t recordCount = 0;    // its records (0 for a run stopped before its first frame)
  size_t headerLine = 0;     // 1-based line number of its opening rule; 0 for records before any header
};

// Called every few thousand lines and once at the end with the bytes read so far and the file's size
// (the file is read twice, dates first: that first look counts as the first tenth of the size).
// Returning false cancels the read.
using Progress = std::function<bool(uint64_t doneBytes, uint64_t totalBytes)>;

// Receives the records in file order, a batch of up to a few thousand at a time.
using RecordSink = std::function<void(std::span<const acquisition::MeasurementRecord>)>;

struct ReadOptions {
  // How the user's locale writes dates; tried first and taken when the file alone does not settle it.
  DateOrder localeOrder = DateOrder::DayMonthYear;
  // The locale's month names (UTF-8, January first), for dates that name the month ("5. Sept. 2013"); English
  // names ("5 Sep 2013", "September 5, 2013") read without them. Empty names are left out.
  std::array<std::string, 12> shortMonthNames;
  std::array<std::string, 12> longMonthNames;
  Progress progress;  // optional
  // The reading chosen by the user (--date-order, the review window's choice); it holds whatever the file says.
  std::optional<DateOrder> chosenOrder;
  // The run's start date from the data file's name (days since 1899-12-30): the order and century that read the
  // first record on that day win. ReadDataFile(path, ...) takes it from the path when it is not set.
  std::optional<int64_t> nameDay;
  // The year the file is dated in when its name does not date it (its modification year): two-digit years are
  // read 80 years back and 20 ahead of it. ReadDataFile(path, ...) takes it from the file when it is not set.
  std::optional<int> fileYear;
  // Told each run's start (the index its first record will have among those delivered) before any of its
  // records reach the sink, so that a reader streaming the file knows which run a record belongs to.
  std::function<void(size_t firstRecord)> runStarted;
};

// The run's start date a data file's name holds ("12345(1.02) 5-9-2030 14%3.txt": 5 September 2030), as days
// since 1899-12-30; nothing when the name holds no such date.
std::optional<int64_t> NameDay(std::string_view path);

// English month names and, looked up first, those of options (long, then short).
MonthNames MonthNamesOf(const ReadOptions& options);

struct ReadResult {
  std::vector<Run> runs;  // in file order; records before any header block form a run with empty texts
  size_t records = 0;     // records delivered
  size_t lines = 0;       // lines in the file (a last line without its line end included)
  // Lines that are neither part of a header block nor a data line that reads (a line cut off by a power
  // failure, a foreign line, a date no reading fits); blank lines are not counted.
  size_t skippedLines = 0;
  size_t firstSkippedLine = 0;                    // 1-based; 0 when none was skipped
  std::string firstSkippedText;                   // that line as UTF-8, at most 200 characters
  DateOrder dateOrder = DateOrder::DayMonthYear;  // how the date column was read
  bool dateOrderSettledByFile = false;            // false: more than one reading fits, the locale's was taken
  std::string dateReading;  // e.g. "dates read day-first (as the locale writes them); the file alone does not
                            // settle it"; "dates read day-first, the month by its name"
  int latestYear = kDefaultLatestYear;  // the last year a two-digit year was read as
  double firstDT = 0;                   // the first and last record's times (0 without records)
  double lastDT = 0;
  bool cancelled = false;  // the progress callback said stop; the records delivered so far stay delivered
};

// Reads the file at path (UTF-8) and hands its records to sink; only its first length bytes when given.
// Throws DataFileError.
ReadResult ReadDataFile(const std::string& path, const ReadOptions& options, const RecordSink& sink,
                        std::optional<uint64_t> length = std::nullopt);
// The options ReadDataFile(path, ...) reads with: the date from the file's name and its modification year
// where options leave them unset.
ReadOptions DatedOptions(const std::string& path, const ReadOptions& options);
// Appends the file's records to store (the store the live display reads). Run::firstRecord counts from the
// first record appended; pass an empty store to have them as store indices. Throws DataFileError.
ReadResult ReadDataFile(const std::string& path, const ReadOptions& options, acquisition::MeasurementStore& store);
// The same on bytes already in memory (tests, fuzzing). Throws DataFileError.
ReadResult ReadDataBytes(std::string_view bytes, const ReadOptions& options, const RecordSink& sink);

// One short sentence on what a read skipped, for a status line: "2 lines skipped, the first is line 17:
// \"...\"" or empty when none was.
std::string SkippedLinesText(const ReadResult& result);

}  // namespace quarn::datafile
