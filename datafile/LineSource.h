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

// Calls visit(line, bytesConsumed) for every line of source, without its LF (a CR before it stays), in large
// blocks and without copying lines. A line longer than kLongestLine is handed over as its start only. The
// last line may lack its line end. Stops early when visit returns false; returns false then.
template <typename Visit>
bool ForEachLine(ByteSource& source, std::vector<char>& buffer, Visit&& visit) {
  source.Rewind();
  char* const data = buffer.data();
  size_t have = 0;
  uint64_t consumed = 0;
  bool dropping = false;  // inside the tail of an overlong line
  for (;;) {
    const size_t got = source.Read(data + have, buffer.size() - have);
    const size_t end = have + got;
    size_t start = 0;
    while (start < end) {
      const char* lineEnd = static_cast<const char*>(std::memchr(data + start, '\n', end - start));
      if (lineEnd == nullptr) break;
      const size_t length = static_cast<size_t>(lineEnd - (data + start));
      consumed += length + 1;
      if (dropping)
        dropping = false;
      else if (!visit(std::string_view(data + start, length), consumed))
        return false;
      start += length + 1;
    }
    const size_t rest = end - start;
    if (got == 0) {
      consumed += rest;
      if (rest > 0 && !dropping) return visit(std::string_view(data + start, rest), consumed);
      return true;
    }
    if (rest >= kLongestLine) {
      consumed += rest;
      if (!dropping && !visit(std::string_view(data + start, kLongestLine), consumed)) return false;
      dropping = true;
      have = 0;
      continue;
    }
    std::memmove(data, data + start, rest);
    have = rest;
  }
}

}  // namespace quarn::datafile
