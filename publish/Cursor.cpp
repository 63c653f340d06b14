#include "Cursor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quarn::publish {

std::string CursorPath(const std::string& dataFile) { return dataFile + ".published"; }

uint64_t ReadCursor(const std::string& cursorFile) {
  std::ifstream in(cursorFile, std::ios::binary);
  if (!in) return 0;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.ends_with('\n')) text.pop_back();
  if (text.empty() || text.size() > 19) return 0;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

bool WriteCursor(const std::string& cursorFile, uint64_t value, std::string& why) {
  const std::string temporary = cursorFile + ".new";
  const std::string text = std::to_string(value) + "\n";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    why = temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
  const int code = errno;
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), cursorFile.c_str()) != 0) {
    why = cursorFile + ": " + std::strerror(written ? errno : code);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace quarn::publish
