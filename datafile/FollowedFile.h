#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/MeasurementStore.h"
#include "datafile/DataFileReader.h"

namespace quarn::datafile {

// A data file that a writer may still be appending to, read in pieces into a store of its own: each Poll reads
// only the whole lines added since the last one, from where the last one stopped, so no byte is parsed twice and
// no half-written line is ever read. The lines of the last second written wait until the next second's line
// or until the file stops growing, so that they are spread over their second as a whole read spreads them; an
// unfinished header block waits the same way. A file that was truncated, rotated or replaced (another inode, or
// shorter than what was read) is read again from its start into the emptied store, with a note. Not for
// several threads at once: one thread polls, and only that thread may read the store meanwhile.
class FollowedFile {
 public:
  using Clock = std::chrono::steady_clock;
  // How long a file must stop growing to count as idle.
  static constexpr std::chrono::minutes kIdleAfter{5};

  FollowedFile(std::string path, ReadOptions options);

  struct Growth {
    size_t records = 0;      // records appended
    bool restarted = false;  // the store was emptied and the file is being read again from its start
    std::string note;        // what happened to the file, as a sentence; empty when nothing did
  };
  // Reads the whole lines added since the last poll. whole: everything there is, the last line even without
  // its line end (a file that nobody writes). Throws DataFileError when the file's first read finds no data
  // file; a file that is gone or cannot be opened for a later poll gives no records and keeps what was read.
  Growth Poll(Clock::time_point now, bool whole = false, const Progress& progress = {});

  const std::string& Path() const { return path_; }
  const acquisition::MeasurementStore& Store() const { return store_; }
  // The runs read so far; Run::firstRecord counts in the store.
  const std::vector<Run>& Runs() const { return runs_; }
  // The last run's serial number; empty before a header block names one.
  std::string SerialNumber() const;
  // Bytes read so far (where the next poll starts), and lines.
  uint64_t Offset() const { return offset_; }
  size_t Lines() const { return lines_; }
  size_t SkippedLines() const { return skippedLines_; }
  // What the first read found about the dates.
  const std::string& DateReading() const { return dateReading_; }
  DateOrder Order() const { return options_.chosenOrder.value_or(options_.localeOrder); }
  // No growth for kIdleAfter before now.
  bool Idle(Clock::time_point now) const { return polled_ && now - lastGrowth_ >= kIdleAfter; }

 private:
  void Restart();
  // Reads bytes [offset_, offset_ + length) and appends their records; the first read reads the file itself.
  size_t ReadPiece(uint64_t length, const Progress& progress);
  void AddRuns(const ReadResult& result, size_t recordsBefore);
  void KeepDateOrder(const ReadResult& result);

  std::string path_;
  ReadOptions options_;
  acquisition::MeasurementStore store_;
  std::vector<Run> runs_;
  uint64_t offset_ = 0;
  uint64_t lastSize_ = 0;
  size_t lines_ = 0;
  size_t skippedLines_ = 0;
  std::string dateReading_;
  bool firstRead_ = true;
  bool polled_ = false;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  Clock::time_point lastGrowth_{};
};

// How many of bytes (the end of what a writer has written so far, from a line start or not) a follower takes
// now: up to the last line end, less the lines of the last second written when holdLastSecond, and less a
// header block that is not closed yet.
size_t WholeLinesToTake(std::string_view bytes, bool holdLastSecond);

}  // namespace quarn::datafile
