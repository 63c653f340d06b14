#include "LineSource.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
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

}  // namespace quarn::datafile
