#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::datafile {

// Bytes to be read from the start, once or more: a file or a buffer in memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Starts again at the first byte.
  virtual void Rewind() = 0;
  // Up to max bytes into into; 0 at the end. Throws DataFileError when the system fails.
  virtual size_t Read(char* into, size_t max) = 0;
};

// A file opened by its UTF-8 path, or only its first length bytes (a file still being written, up to its last
// whole line). Throws DataFileError when it cannot be opened.
class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path, std::optional<uint64_t> length = std::nullopt);
  uint64_t Size() const override { return size_; }
  void Rewind() override;
  size_t Read(char* into, size_t max) override;

 private:
  std::ifstream file_;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  void Rewind() override { position_ = 0; }
  size_t Read(char* into, size_t max) override;

 private:
  std::string_view bytes_;
  size_t position_ = 0;
};

// Lines longer than this are not data lines; only their start is looked at.
constexpr size_t kLongestLine = 64 * 1024;

// Whole lines of a source, many at a time, each followed by its LF (a CR before it stays; the last line gets one
// when the file lacks it). A line longer than kLongestLine holds its start only.
struct LineBlock {
  std::vector<char> bytes;  // the lines are its first size bytes
  size_t size = 0;
  uint64_t consumed = 0;  // bytes of the source up to the end of its last line
  bool first = false;     // it begins with the file's first line
};

// Cuts a source into blocks of about blockBytes of whole lines, read straight into each block.
class LineBlockReader {
 public:
  LineBlockReader(ByteSource& source, size_t blockBytes);
  // The next lines into block (its bytes reused); false at the end. A block may hold no line where the tail of a
  // long line was passed over.
  bool Next(LineBlock& block);

 private:
  ByteSource& source_;
  size_t blockBytes_;
  std::vector<char> carry_;  // the start of a line that the last block ended inside
  uint64_t read_ = 0;
  bool end_ = false;
  bool first_ = true;
  bool dropping_ = false;  // inside the tail of an overlong line
};

}  // namespace quarn::datafile
