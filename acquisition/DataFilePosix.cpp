#include "DataFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/SystemError.h"

namespace quarn::acquisition {

bool DataFile::IsOpen() const { return fd_ >= 0; }

DataFile::~DataFile() { Close(); }

bool DataFile::Open(const std::string& path, std::string& reason) {
  Close();
  return Reopen(path, reason);
}

bool DataFile::Reopen(const std::string& path, std::string& reason) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    reason = "Cannot open file \"" + path + "\". " + base::SystemErrorText(errno);
    return false;
  }
  Close();
  fd_ = fd;
  return true;
}

bool DataFile::Write(std::string_view bytes, std::string& reason) {
  if (fd_ < 0) {
    reason = base::SystemErrorText(EBADF);
    return false;
  }
  const off_t before = ::lseek(fd_, 0, SEEK_END);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    const int code = n < 0 ? errno : ENOSPC;
    if (done > 0 && before >= 0 && ::ftruncate(fd_, before) != 0) {
      // A device that cannot be cut back keeps the fragment; the warning has told the user.
    }
    reason = base::SystemErrorText(code);
    return false;
  }
  return true;
}

bool DataFile::Unlinked() const {
  struct stat info {};
  return fd_ >= 0 && ::fstat(fd_, &info) == 0 && info.st_nlink == 0;
}

void DataFile::Close() {
  if (fd_ < 0) return;
  // Devices such as /dev/full refuse fsync; only regular files need it.
  ::fsync(fd_);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace quarn::acquisition
