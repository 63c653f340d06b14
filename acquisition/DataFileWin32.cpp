#include "DataFile.h"

#include <windows.h>

#include "base/SystemError.h"

namespace quarn::acquisition {

namespace {

std::string LastErrorText() { return base::SystemErrorText(static_cast<int>(GetLastError())); }

}  // namespace

DataFile::~DataFile() { Close(); }

bool DataFile::IsOpen() const { return handle_ != nullptr; }

bool DataFile::Open(const std::string& path, std::string& reason) {
  Close();
  return Reopen(path, reason);
}

bool DataFile::Reopen(const std::string& path, std::string& reason) {
  // Others may read the file during the run, and delete it as on Linux; Unlinked tells.
  std::wstring wide = base::WideFromUtf8(path);
  const HANDLE handle =
      CreateFileW(wide.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = "Cannot open file \"" + path + "\". " + LastErrorText();
    return false;
  }
  Close();
  handle_ = handle;
  path_ = std::move(wide);
  return true;
}

bool DataFile::Write(std::string_view bytes, std::string& reason) {
  if (handle_ == nullptr) {
    reason = base::SystemErrorText(ERROR_INVALID_HANDLE);
    return false;
  }
  LARGE_INTEGER before{};
  const LARGE_INTEGER zero{};
  const bool atEnd = SetFilePointerEx(handle_, zero, &before, FILE_END) != 0;
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const BOOL ok = WriteFile(handle_, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr);
    if (ok && written > 0) {
      done += written;
      continue;
    }
    reason = ok ? base::SystemErrorText(ERROR_DISK_FULL) : LastErrorText();
    // Cut back to where the line began, so that no fragment stays behind.
    if (done > 0 && atEnd && SetFilePointerEx(handle_, before, nullptr, FILE_BEGIN)) SetEndOfFile(handle_);
    return false;
  }
  return true;
}

// Depending on the Windows version (and on Wine) a deleted file that is still open keeps its name until it
// is closed, or loses it at once: either counts.
bool DataFile::Unlinked() const {
  if (handle_ == nullptr) return false;
  FILE_STANDARD_INFO info{};
  if (GetFileInformationByHandleEx(handle_, FileStandardInfo, &info, sizeof info) &&
      (info.DeletePending || info.NumberOfLinks == 0)) {
    return true;
  }
  if (GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void DataFile::Close() {
  if (handle_ == nullptr) return;
  FlushFileBuffers(handle_);
  CloseHandle(handle_);
  handle_ = nullptr;
}

}  // namespace quarn::acquisition
