#include "base/SystemError.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace quarn::base {

#ifdef _WIN32

namespace {

class Win32ErrorCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "win32"; }
  std::string message(int code) const override { return SystemErrorText(code); }
  std::error_condition default_error_condition(int code) const noexcept override {
    switch (code) {
      case ERROR_TIMEOUT:
      case WAIT_TIMEOUT:
      case ERROR_SEM_TIMEOUT: return std::errc::timed_out;
      case ERROR_INVALID_PARAMETER: return std::errc::invalid_argument;
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND: return std::errc::no_such_file_or_directory;
      case ERROR_ACCESS_DENIED: return std::errc::permission_denied;
      case ERROR_SHARING_VIOLATION:
      case ERROR_BUSY: return std::errc::device_or_resource_busy;
      case ERROR_INVALID_HANDLE: return std::errc::bad_file_descriptor;
      case ERROR_OPERATION_ABORTED: return std::errc::operation_canceled;
      case ERROR_GEN_FAILURE:
      case ERROR_DEVICE_NOT_CONNECTED:
      case ERROR_BAD_COMMAND: return std::errc::io_error;
      default: return {code, *this};
    }
  }
};

}  // namespace

const std::error_category& Win32Category() {
  static const Win32ErrorCategory category;
  return category;
}

std::error_code Win32Error(unsigned long code) { return {static_cast<int>(code), Win32Category()}; }

std::wstring WideFromUtf8(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string SystemErrorText(int code) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? Utf8FromWide(std::wstring_view(buffer, length)) : "Error " + std::to_string(code);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

bool RunningUnderWine() {
  static const bool wine = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

#else

std::string SystemErrorText(int code) { return std::system_category().message(code); }

bool RunningUnderWine() { return false; }

#endif

}  // namespace quarn::base
