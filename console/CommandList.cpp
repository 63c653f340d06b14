#include "CommandList.h"

#include <cstdint>

#include "base/CodePage.h"

namespace quarn::console {

namespace {

// UTF-16 without its mark to UTF-8. A lone surrogate or an odd last byte becomes U+FFFD, as a text
// editor would show it, so that no entry is lost to a damaged file.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  auto unit = [&](size_t i) -> char16_t {
    const auto a = static_cast<uint8_t>(bytes[i]);
    const auto b = static_cast<uint8_t>(bytes[i + 1]);
    return static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
  };
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i + 1 < bytes.size()) {
    const char16_t u = unit(i);
    i += 2;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < bytes.size()) {
      const char16_t low = unit(i);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        i += 2;
        base::AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(low) - 0xDC00));
        continue;
      }
    }
    base::AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? char32_t{0xFFFD} : char32_t{u});
  }
  if (i < bytes.size()) base::AppendUtf8(out, 0xFFFD);
  return out;
}

std::string ToUtf8(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
  if (bytes.starts_with("\xFF\xFE")) return Utf16ToUtf8(bytes.substr(2), false);
  if (bytes.starts_with("\xFE\xFF")) return Utf16ToUtf8(bytes.substr(2), true);
  return base::Cp1252ToUtf8(bytes);
}

}  // namespace

const std::vector<std::string>& BuiltInCommands() {
  static const std::vector<std::string> commands = {
      "SRAL?", "SREV?", "F",        "CONST", "--------", "VRG",    "VRT",   "VPG",   "VPT",
      "TABT",  "TABG",  "--------", "SETT",  "SETT1",    "SETDT",  "ZERO1", "ZERO2", "INIT",
      "CALB",  "DELTA", "ZEROU",    "SETZU", "OFF_DUTY", "S_KTGD", "KTGD"};
  return commands;
}

std::vector<std::string> DecodeCommandFile(std::string_view bytes) {
  const std::string text = ToUtf8(bytes);
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      entries.push_back(text.substr(start));
      break;
    }
    entries.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return entries;
}

}  // namespace quarn::console
