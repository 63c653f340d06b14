#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace quarn::base {

// The system's message text for one of its error codes, as UTF-8: strerror for an errno value on POSIX,
// FormatMessageW for a Win32 error code on Windows.
std::string SystemErrorText(int code);

// Whether the program runs under Wine (found through wine_get_version in ntdll), which emulates a few
// details differently from Windows; tests that depend on them skip there. Always false on POSIX.
bool RunningUnderWine();

#ifdef _WIN32
// The category of Win32 error codes: messages through SystemErrorText, and the codes the program tells apart
// (timeouts, refused parameters, missing files and devices, a closed handle) equivalent to std::errc values.
const std::error_category& Win32Category();

// std::error_code of a Win32 error code.
std::error_code Win32Error(unsigned long code);

// UTF-8 to and from the UTF-16 of the wide Win32 functions (paths, system messages).
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
#endif

}  // namespace quarn::base
