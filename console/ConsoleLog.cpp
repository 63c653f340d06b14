#include "ConsoleLog.h"

#include <cstdint>

#include "base/CodePage.h"

namespace quarn::console {

namespace {

// U+2400..U+241F, the control pictures of 0x00..0x1F, are E2 90 80..9F in UTF-8.
constexpr unsigned char kPictureLead1 = 0xE2;
constexpr unsigned char kPictureLead2 = 0x90;
constexpr unsigned char kPictureBase = 0x80;

bool IsHiddenControl(unsigned char c) { return c < 0x20 && c != '\t'; }

// The picture of every hidden control back to its byte; the rest as Windows-1252.
std::string FileBytes(std::string_view utf8) {
  std::string restored;
  restored.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c == kPictureLead1 && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == kPictureLead2) {
      const auto last = static_cast<unsigned char>(utf8[i + 2]);
      if (last >= kPictureBase && last < kPictureBase + 0x20 && IsHiddenControl(last - kPictureBase)) {
        restored += static_cast<char>(last - kPictureBase);
        i += 2;
        continue;
      }
    }
    restored += utf8[i];
  }
  // Controls pass through the code page conversion unchanged.
  return base::Utf8ToCp1252(restored);
}

}  // namespace

std::vector<std::string> ChunkLines(std::string_view bytes, DisplayMode mode) {
  std::vector<std::string> lines;
  if (mode == DisplayMode::Ascii || mode == DisplayMode::AsciiHex) lines.push_back("<< " + base::Cp1252ToUtf8(bytes));
  if (mode == DisplayMode::Hex || mode == DisplayMode::AsciiHex) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex = "<< ";
    hex.reserve(3 + 3 * bytes.size());
    for (const char b : bytes) {
      const auto v = static_cast<uint8_t>(b);
      hex += kDigits[v >> 4];
      hex += kDigits[v & 0x0F];
      hex += ' ';
    }
    lines.push_back(std::move(hex));
  }
  lines.emplace_back();
  return lines;
}

std::string VisibleLine(std::string_view utf8) {
  std::string shown;
  shown.reserve(utf8.size());
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsHiddenControl(c)) {
      shown += static_cast<char>(kPictureLead1);
      shown += static_cast<char>(kPictureLead2);
      shown += static_cast<char>(kPictureBase + c);
    } else {
      shown += ch;
    }
  }
  return shown;
}

std::vector<std::string> SavedLogLines(const LogHeader& header, const std::vector<std::string>& logLines) {
  std::vector<std::string> lines = {FileBytes("Port: COM" + header.port), FileBytes("SN: " + header.serialNumber),
                                    FileBytes("Type: " + header.firmware), "================"};
  for (const std::string& line : logLines) lines.push_back(FileBytes(line));
  for (std::string& line : lines) line += "\r\n";
  return lines;
}

}  // namespace quarn::console
