#include "Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#undef ReplaceFile  // <windows.h>'s name for ReplaceFileW; ours is a different function

#include "base/SystemError.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#endif

namespace quarn::base {

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

bool ExistsOrUnreadable(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) return status.type() != std::filesystem::file_type::not_found;
  return std::filesystem::exists(status);
}

std::string ReadWholeFile(const std::filesystem::path& path) { return ReadFileStart(path, std::string::npos); }

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

#ifdef _WIN32

namespace {

[[noreturn]] void ThrowLastError() { throw FileError(SystemErrorText(static_cast<int>(GetLastError()))); }

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  // Closes now, so that a failing close is seen.
  bool Close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

}  // namespace

// The bytes go to a new file beside the target, which is flushed to the disk and then moved over the
// target in one step (MoveFileExW replaces it), so that a reader sees either the old or the new file.
// Windows keeps the folder's access rules for the new file; NewFileAccess has no effect here.
void ReplaceFile(const std::filesystem::path& path, std::string_view bytes, NewFileAccess) {
  std::filesystem::path temporary = path;
  temporary += ".new";
  Handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) ThrowLastError();
  try {
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) ThrowLastError();
      if (written == 0) throw FileError(SystemErrorText(ERROR_DISK_FULL));
      done += written;
    }
    if (!FlushFileBuffers(file.get()) || !file.Close()) ThrowLastError();
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      ThrowLastError();
    }
  } catch (const FileError&) {
    file.Close();
    DeleteFileW(temporary.c_str());
    throw;
  }
}

void SimulateFolderRefusingNewFiles(bool) {}

bool FolderTakesNewFiles(const std::filesystem::path& folder) {
  const std::filesystem::path probe = folder / (L".quarn-probe-" + std::to_wstring(GetCurrentProcessId()));
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

#else

namespace {

std::atomic<bool> refuseNewFiles{false};

// The file a path finally names: every symbolic link on its last component followed.
std::filesystem::path FollowLinks(std::filesystem::path path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
      if (errno == ENOENT) return path;
      ThrowErrno(errno);
    }
    if (!S_ISLNK(info.st_mode)) return path;
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) throw FileError(error.message());
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  ThrowErrno(ELOOP);
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, so that a failing close is seen.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Writes all bytes from offset 0; 0 or the error.
int WriteAllAt(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

// Writes bytes over the file itself, which keeps its inode, mode and owner; used where the folder takes no
// new file. A failure puts the old bytes back as far as the system lets it.
void RewriteInPlace(const std::filesystem::path& file, std::string_view bytes) {
  const std::string old = ReadWholeFile(file);
  Descriptor fd(::open(file.c_str(), O_WRONLY | O_CLOEXEC));
  if (fd.get() < 0) ThrowErrno(errno);
  int error = WriteAllAt(fd.get(), bytes);
  if (error == 0 && ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0) error = errno;
  if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  if (error != 0) {
    if (WriteAllAt(fd.get(), old) == 0 && ::ftruncate(fd.get(), static_cast<off_t>(old.size())) == 0) {
      ::fsync(fd.get());
    }
    ThrowErrno(error);
  }
  if (!fd.Close()) ThrowErrno(errno);
}

}  // namespace

void SimulateFolderRefusingNewFiles(bool refuse) { refuseNewFiles.store(refuse); }

bool FolderTakesNewFiles(const std::filesystem::path& folder) {
  const std::filesystem::path probe = folder / (".quarn-probe-" + std::to_string(::getpid()));
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

void ReplaceFile(const std::filesystem::path& path, std::string_view bytes, NewFileAccess access) {
  const std::filesystem::path target = FollowLinks(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) ThrowErrno(errno);

  std::filesystem::path temporary = target;
  temporary += ".new";
  const mode_t createMode = access == NewFileAccess::OwnerOnly ? 0600 : 0666;
  int fd = -1;
  if (refuseNewFiles.load()) {
    errno = EACCES;
  } else {
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
    if (fd < 0 && errno == EEXIST) {
      // Left over from a save that was cut off.
      ::unlink(temporary.c_str());
      fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
    }
  }
  if (fd < 0) {
    const int error = errno;
    if (exists && (error == EACCES || error == EPERM)) return RewriteInPlace(target, bytes);
    ThrowErrno(error);
  }

  Descriptor file(fd);
  bool ownerKept = true;
  try {
    int error = WriteAllAt(file.get(), bytes);
    if (error == 0 && exists) {
      if (::fchmod(file.get(), old.st_mode & 07777) != 0) error = errno;
      if (error == 0 && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
          ::fchown(file.get(), old.st_uid, old.st_gid) != 0) {
        ownerKept = false;
      }
    }
    if (error == 0 && ownerKept && ::fsync(file.get()) != 0) error = errno;
    if (error == 0 && !file.Close()) error = errno;
    if (error == 0 && ownerKept && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) ThrowErrno(error);
  } catch (const FileError&) {
    ::unlink(temporary.c_str());
    throw;
  }
  if (!ownerKept) {
    // Only the owner's own file can stay the owner's: write into it.
    ::unlink(temporary.c_str());
    RewriteInPlace(target, bytes);
  }
}

#endif

}  // namespace quarn::base
