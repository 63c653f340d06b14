#include "Protocol.h"

#include <algorithm>
#include <limits>

namespace quarn::link {

std::string BuildRequest(std::string_view address, std::string_view command) {
  std::string request = "#";
  request += address;
  request += command;
  return request;
}

std::string SpanArgument(int concentration) {
  concentration = std::clamp(concentration, 0, 9999);
  std::string digits = std::to_string(concentration);
  return std::string(4 - digits.size(), '0') + digits;
}

bool CommandLineBytes(std::string_view utf8, std::string& line) {
  std::string bytes;
  bytes.reserve(utf8.size() + 1);
  size_t units = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    int extra = lead < 0x80             ? 0
                : (lead & 0xE0) == 0xC0 ? 1
                : (lead & 0xF0) == 0xE0 ? 2
                : (lead & 0xF8) == 0xF0 ? 3
                                        : -1;
    char32_t cp = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    if (extra < 0 || i + extra >= utf8.size() + (extra == 0 ? 1 : 0)) {
      // A stray byte stands for the character of the same code.
      cp = lead;
      extra = 0;
    } else {
      for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      // Two UTF-16 units: the surrogates, each sent as its low byte.
      const char32_t v = cp - 0x10000;
      bytes += static_cast<char>((0xD800 + (v >> 10)) & 0xFF);
      bytes += static_cast<char>((0xDC00 + (v & 0x3FF)) & 0xFF);
      units += 2;
    } else {
      bytes += static_cast<char>(cp & 0xFF);
      units += 1;
    }
    if (units > kMaxCommandLength) return false;
  }
  bytes += kCR;
  line = std::move(bytes);
  return true;
}

FrameScan ParseFrameBody(std::string_view bytes, size_t pos, std::span<int32_t> values) {
  FrameScan scan;
  int64_t accumulator = 0;
  bool haveDigits = false;
  bool overflow = false;
  for (size_t p = pos; p < bytes.size(); ++p) {
    const char c = bytes[p];
    if (c == kCR) {
      scan.complete = true;
      scan.end = p;
      return scan;
    }
    if (c == kTab) {
      if (haveDigits) {
        if (static_cast<size_t>(scan.fieldCount) < values.size()) {
          values[scan.fieldCount] = overflow ? 0 : static_cast<int32_t>(accumulator);
        }
        ++scan.fieldCount;
        accumulator = 0;
        haveDigits = false;
        overflow = false;
      }
    } else if (c >= '0' && c <= '9') {
      haveDigits = true;
      if (!overflow) {
        accumulator = accumulator * 10 + (c - '0');
        overflow = accumulator > std::numeric_limits<int32_t>::max();
      }
    }
  }
  scan.end = bytes.size();
  return scan;
}

std::string DigitFilter(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find(kCR));
  const size_t first = bytes.find_first_not_of(" \n");
  if (first == std::string_view::npos) return {};
  bytes = bytes.substr(first, bytes.find_last_not_of(" \n") + 1 - first);
  for (char c : bytes) {
    if (c < '0' || c > '9') return {};
  }
  return std::string(bytes);
}

bool LooksLikeFrame(std::string_view bytes) { return bytes.find_first_of("\x0E\t") != std::string_view::npos; }

std::string CrFilter(std::string_view bytes) {
  std::string text;
  for (char c : bytes) {
    if (c != kCR) text += c;
  }
  return text;
}

}  // namespace quarn::link
