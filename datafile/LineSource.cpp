#include "LineSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "datafile/DataFileReader.h"

namespace quarn::datafile {

FileSource::FileSource(const std::string& path, std::optional<uint64_t> length) {
  const std::filesystem::path name(std::u8string(path.begin(), path.end()));
  std::error_code error;
  if (std::filesystem::is_directory(name, error)) throw DataFileError("The file cannot be opened: it is a folder.");
  file_.open(name, std::ios::binary);
  if (!file_) {
    const int code = errno;
    throw DataFileError("The file cannot be opened: " +
                        (code != 0 ? std::generic_category().message(code) : std::string("unknown reason")) + ".");
  }
  file_.seekg(0, std::ios::end);
  const auto end = file_.tellg();
  size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
  if (length) size_ = std::min(size_, *length);
  file_.seekg(0);
}

void FileSource::Rewind() {
  file_.clear();
  file_.seekg(0);
  position_ = 0;
}

size_t FileSource::Read(char* into, size_t max) {
  // Never past the size taken at opening: what a writer adds meanwhile is for a later read.
  file_.read(into, static_cast<std::streamsize>(std::min<uint64_t>(max, size_ - position_)));
  if (file_.bad()) throw DataFileError("The file could not be read to its end.");
  position_ += static_cast<uint64_t>(file_.gcount());
  return static_cast<size_t>(file_.gcount());
}

size_t MemorySource::Read(char* into, size_t max) {
  const size_t count = std::min(max, bytes_.size() - position_);
  std::memcpy(into, bytes_.data() + position_, count);
  position_ += count;
  return count;
}

LineBlockReader::LineBlockReader(ByteSource& source, size_t blockBytes)
    : source_(source), blockBytes_(std::max(blockBytes, 2 * kLongestLine)) {
  source_.Rewind();
}

bool LineBlockReader::Next(LineBlock& block) {
  if (end_) return false;
  // One byte beyond: a last line without its LF gets one.
  if (block.bytes.size() < blockBytes_ + 1) block.bytes.resize(blockBytes_ + 1);
  char* const data = block.bytes.data();
  if (!carry_.empty()) std::memcpy(data, carry_.data(), carry_.size());
  size_t have = carry_.size();
  carry_.clear();
  while (have < blockBytes_) {
    const size_t got = source_.Read(data + have, blockBytes_ - have);
    if (got == 0) {
      end_ = true;
      break;
    }
    have += got;
    read_ += got;
  }
  block.first = first_;
  first_ = false;
  // Lines are moved down over the parts of overlong lines left out. Lines are found a window at a time, by the
  // last LF within kLongestLine bytes: a window without one begins an overlong line.
  size_t from = 0;
  size_t to = 0;
  const auto keep = [&](size_t length) {
    if (to != from) std::memmove(data + to, data + from, length);
    to += length;
  };
  while (from < have) {
    if (dropping_) {
      const void* lineEnd = std::memchr(data + from, '\n', have - from);
      if (lineEnd == nullptr) {
        from = have;
        break;
      }
      from = static_cast<size_t>(static_cast<const char*>(lineEnd) - data) + 1;
      dropping_ = false;
      continue;
    }
    const size_t window = std::min(kLongestLine + 1, have - from);
    const size_t last = std::string_view(data + from, window).rfind('\n');
    if (last != std::string_view::npos) {
      const size_t length = last + 1;
      keep(length);
      from += length;
    } else if (window > kLongestLine) {
      keep(kLongestLine);
      // The LF may overwrite the tail's first byte, which is left out anyway.
      data[to++] = '\n';
      from += kLongestLine + 1;
      dropping_ = true;
    } else {
      break;
    }
  }
  const size_t rest = have - from;
  uint64_t pending = 0;
  if (rest > 0) {
    if (end_) {
      keep(rest);
      data[to++] = '\n';
    } else {
      carry_.assign(data + from, data + have);
      pending = rest;
    }
  }
  block.size = to;
  block.consumed = read_ - pending;
  return have > 0 || !end_;
}

}  // namespace quarn::datafile
