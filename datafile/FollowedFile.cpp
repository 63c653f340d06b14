#include "FollowedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace quarn::datafile {

namespace {

// How far from the end the first read looks for the last whole line: further than any line and header block.
constexpr uint64_t kTailBytes = 64 * 1024;

std::string_view WithoutCr(std::string_view line) {
  return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
}

bool IsRuleLine(std::string_view line) {
  line = WithoutCr(line);
  return line.size() >= 8 && line.find_first_not_of('=') == std::string_view::npos;
}

// The time column of a data line (the text before its first TAB); empty for any other line.
std::string_view TimeColumn(std::string_view line) {
  const size_t tab = line.find('\t');
  if (line.empty() || tab == std::string_view::npos) return {};
  return line.substr(0, tab);
}

// Reads bytes [from, from + length) of the open file.
std::string ReadAt(int fd, uint64_t from, uint64_t length) {
  std::string bytes(static_cast<size_t>(length), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(from + done));
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

class OpenFile {
 public:
  explicit OpenFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

size_t WholeLinesToTake(std::string_view bytes, bool holdLastSecond) {
  const size_t lastEnd = bytes.rfind('\n');
  if (lastEnd == std::string_view::npos) return 0;
  size_t take = lastEnd + 1;
  if (!holdLastSecond) return take;
  // The line that ends (with its LF) at end: where it starts, and its text.
  auto previousLine = [&](size_t end) -> std::pair<size_t, std::string_view> {
    // end is one past a line's LF; the line starts after the LF before it.
    const size_t before = end >= 2 ? bytes.rfind('\n', end - 2) : std::string_view::npos;
    const size_t start = before == std::string_view::npos ? 0 : before + 1;
    return {start, bytes.substr(start, end - 1 - start)};
  };
  // The lines of the last second written: the trailing data lines that share the last one's time column.
  const std::string_view lastLine = previousLine(take).second;
  const std::string_view second = TimeColumn(WithoutCr(lastLine));
  if (!second.empty()) {
    size_t end = take;
    while (end > 0) {
      const auto [start, line] = previousLine(end);
      if (TimeColumn(WithoutCr(line)) != second) break;
      end = start;
      if (start == 0) break;
    }
    take = end;
  }
  // A header block after the last data line with an odd number of rules is still being written.
  size_t rules = 0;
  size_t lastRule = take;
  for (size_t end = take; end > 0;) {
    const auto [start, line] = previousLine(end);
    if (!TimeColumn(WithoutCr(line)).empty()) break;
    if (IsRuleLine(line)) {
      ++rules;
      if (rules == 1) lastRule = start;
    }
    end = start;
  }
  if (rules % 2 == 1) take = lastRule;
  return take;
}

FollowedFile::FollowedFile(std::string path, ReadOptions options)
    : path_(std::move(path)), options_(std::move(options)) {}

std::string FollowedFile::SerialNumber() const {
  for (auto run = runs_.rbegin(); run != runs_.rend(); ++run) {
    if (!run->serialNumber.empty()) return run->serialNumber;
  }
  return {};
}

void FollowedFile::Restart() {
  store_.Clear();
  runs_.clear();
  offset_ = 0;
  lastSize_ = 0;
  lines_ = 0;
  skippedLines_ = 0;
  firstRead_ = true;
  options_.chosenOrder.reset();
}

FollowedFile::Growth FollowedFile::Poll(Clock::time_point now, bool whole, const Progress& progress) {
  Growth growth;
  if (!polled_) lastGrowth_ = now;
  polled_ = true;
  struct stat status {};
  if (::stat(path_.c_str(), &status) != 0) return growth;
  const auto size = static_cast<uint64_t>(status.st_size);
  if (!firstRead_ && (status.st_ino != inode_ || status.st_dev != device_ || size < offset_)) {
    growth.note = std::filesystem::path(path_).filename().string() +
                  (size < offset_ ? " became shorter" : " was replaced") + ": read again from its start.";
    growth.restarted = true;
    Restart();
  }
  device_ = status.st_dev;
  inode_ = status.st_ino;
  // Lines held back for their second are taken once the file stops growing.
  const bool grew = size != lastSize_;
  if (grew) lastGrowth_ = now;
  lastSize_ = size;
  if (size <= offset_) return growth;

  const OpenFile file(path_);
  if (file.Fd() < 0) return growth;
  uint64_t take = size - offset_;
  if (!whole) {
    // Only the end decides what to take: at most the last few lines.
    const uint64_t tail = std::min(take, kTailBytes);
    const std::string end = ReadAt(file.Fd(), size - tail, tail);
    const size_t kept = WholeLinesToTake(end, grew);
    take = take - tail + kept;
    // A tail without a whole line in it before the pieces already read: nothing to take yet.
    if (kept == 0) take = 0;
  }
  if (take == 0) return growth;
  if (firstRead_) {
    growth.records = ReadPiece(take, progress);
  } else {
    const std::string piece = ReadAt(file.Fd(), offset_, take);
    const size_t before = store_.Count();
    try {
      const ReadResult result =
          ReadDataBytes(piece, options_, [this](std::span<const acquisition::MeasurementRecord> records) {
            for (const acquisition::MeasurementRecord& record : records) store_.Append(record);
          });
      KeepDateOrder(result);
      AddRuns(result, before);
    } catch (const DataFileError&) {
      // Neither a header nor a data line in the piece: blank or foreign lines only.
      const auto count = static_cast<size_t>(std::count(piece.begin(), piece.end(), '\n'));
      lines_ += count;
      skippedLines_ += count;
    }
    offset_ += piece.size();
    growth.records = store_.Count() - before;
  }
  return growth;
}

size_t FollowedFile::ReadPiece(uint64_t length, const Progress& progress) {
  // The first read reads as a whole file would, dates surveyed over all of it; later pieces keep its reading.
  options_ = DatedOptions(path_, options_);
  ReadOptions options = options_;
  options.progress = progress;
  const ReadResult result = ReadDataFile(
      path_, options,
      [this](std::span<const acquisition::MeasurementRecord> records) {
        for (const acquisition::MeasurementRecord& record : records) store_.Append(record);
      },
      length);
  KeepDateOrder(result);
  firstRead_ = false;
  AddRuns(result, 0);
  offset_ = length;
  return store_.Count();
}

void FollowedFile::KeepDateOrder(const ReadResult& result) {
  // Settled by the first piece with a date in it; until then each piece is surveyed.
  if (options_.chosenOrder || result.records == 0) return;
  options_.chosenOrder = result.dateOrder;
  dateReading_ = result.dateReading;
}

void FollowedFile::AddRuns(const ReadResult& result, size_t recordsBefore) {
  for (Run run : result.runs) {
    // Records before any header block in a piece continue the run before it.
    if (run.headerLine == 0 && !runs_.empty()) {
      runs_.back().recordCount += run.recordCount;
      continue;
    }
    run.firstRecord += recordsBefore;
    if (run.headerLine > 0) run.headerLine += lines_;
    runs_.push_back(run);
  }
  lines_ += result.lines;
  skippedLines_ += result.skippedLines;
}

}  // namespace quarn::datafile
