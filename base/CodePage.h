#pragma once

#include <string>
#include <string_view>

namespace quarn::base {

// The 8-bit code page of texts in files, on the console and in the scrambler. On Windows it is the system's
// ANSI code page (CP_ACP); elsewhere Windows-1252 stands in for it, so that bytes written on Linux read the
// same on a Windows system set to a Western European language. The names say Cp1252 for that reason.

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// UTF-8 text to Windows-1252 bytes. A character that the code page cannot hold becomes '?'.
// Invalid UTF-8 sequences become '?' too.
std::string Utf8ToCp1252(std::string_view utf8);

// Windows-1252 bytes to UTF-8. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control of the same value, so every byte survives a round trip.
std::string Cp1252ToUtf8(std::string_view bytes);

// Each byte to the character with the same code (U+0000..U+00FF), as UTF-8. For raw protocol text.
std::string Latin1ToUtf8(std::string_view bytes);

}  // namespace quarn::base
