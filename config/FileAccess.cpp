#include "config/FileAccess.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quarn::config {

namespace {

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, CloseFile>;

[[noreturn]] void ThrowErrno(int error) { throw FileError(std::generic_category().message(error)); }

// C stdio rather than iostreams: it reports why it failed through errno.
FilePtr Open(const std::filesystem::path& path, bool forWriting) {
  errno = 0;
#ifdef _WIN32
  std::FILE* file = _wfopen(path.c_str(), forWriting ? L"wb" : L"rb");
#else
  std::FILE* file = std::fopen(path.c_str(), forWriting ? "wb" : "rb");
#endif
  if (file == nullptr) ThrowErrno(errno != 0 ? errno : EIO);
  return FilePtr(file);
}

bool FlushToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

}  // namespace

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool FileExists(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error && status.type() != std::filesystem::file_type::not_found) throw FileError(error.message());
  return std::filesystem::exists(status);
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  return ReadFileStart(path, std::string::npos);
}

std::string ReadFileStart(const std::filesystem::path& path, size_t maxBytes) {
  FilePtr file = Open(path, false);
  std::string bytes;
  char buffer[16384];
  while (bytes.size() < maxBytes) {
    const size_t wanted = std::min(sizeof buffer, maxBytes - bytes.size());
    errno = 0;
    const size_t got = std::fread(buffer, 1, wanted, file.get());
    bytes.append(buffer, got);
    if (got < wanted) {
      if (std::ferror(file.get())) ThrowErrno(errno != 0 ? errno : EIO);
      break;
    }
  }
  return bytes;
}

void ReplaceFile(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::path temporary = path;
  temporary += ".new";
  bool created = false;
  try {
    FilePtr file = Open(temporary, true);
    created = true;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() || !FlushToDisk(file.get())) {
      ThrowErrno(errno != 0 ? errno : EIO);
    }
    errno = 0;
    if (std::fclose(file.release()) != 0) ThrowErrno(errno != 0 ? errno : EIO);
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) throw FileError(error.message());
  } catch (const FileError&) {
    if (created) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
    }
    throw;
  }
}

}  // namespace quarn::config
