#include "ConsoleFiles.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "console/CommandList.h"

namespace quarn::console {

namespace {

std::filesystem::path PathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

[[noreturn]] void Fail(const char* action, const std::string& path, int error) {
  throw base::FileError(std::string("Cannot ") + action + " file \"" + path + "\". " +
                        std::generic_category().message(error));
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

std::vector<std::string> ReadCommandFile(const std::string& path) {
  File file(std::fopen(PathFromUtf8(path).c_str(), "rb"));
  if (!file) Fail("open", path, errno);
  std::string bytes;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, n);
  if (std::ferror(file.get())) Fail("read", path, errno);
  return DecodeCommandFile(bytes);
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  std::FILE* raw = std::fopen(PathFromUtf8(path).c_str(), "wb");
  if (!raw) Fail("create", path, errno);
  File file(raw);
  for (const std::string& line : lines) {
    if (std::fwrite(line.data(), 1, line.size(), raw) != line.size()) Fail("write", path, errno);
  }
  file.release();
  if (std::fclose(raw) != 0) Fail("write", path, errno);
}

}  // namespace quarn::console
