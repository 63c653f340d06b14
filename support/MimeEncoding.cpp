#include "support/MimeEncoding.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace quarn::support {

namespace {

constexpr std::size_t kMaxLine = 76;
constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Escaped(unsigned char byte) { return {'=', kHex[byte >> 4], kHex[byte & 0x0F]}; }

std::string Base64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 0x3F];
    out += kBase64[(v >> 6) & 0x3F];
    out += kBase64[v & 0x3F];
  }
  if (const std::size_t rest = bytes.size() - i; rest > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 0x3F];
    out += rest == 2 ? kBase64[(v >> 6) & 0x3F] : '=';
    out += '=';
  }
  return out;
}

// Length of the UTF-8 sequence that starts with this byte (1 for stray continuation bytes).
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

bool IsPlainHeaderText(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || byte < 0x20) return false;
  }
  return true;
}

// Random enough that two messages never share it, counted so that one process never repeats it.
std::string UniqueToken() {
  static std::atomic<unsigned> counter{0};
  static thread_local std::mt19937_64 random{
      std::random_device{}() ^ static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
  char text[48];
  std::snprintf(text, sizeof text, "%016llx.%u", static_cast<unsigned long long>(random()), counter.fetch_add(1) + 1);
  return text;
}

}  // namespace

std::string EncodeQuotedPrintable(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  std::size_t lineLength = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      out += "\r\n";
      lineLength = 0;
      ++i;
      continue;
    }
    const bool atLineEnd =
        i + 1 == bytes.size() || (bytes[i + 1] == '\r' && i + 2 < bytes.size() && bytes[i + 2] == '\n');
    const bool blank = byte == ' ' || byte == '\t';
    const bool literal = (byte >= 33 && byte <= 126 && byte != '=') || (blank && !atLineEnd);
    const std::string token = literal ? std::string(1, static_cast<char>(byte)) : Escaped(byte);
    // A soft break takes one column: the "=" at the end of the line.
    const std::size_t room = atLineEnd ? kMaxLine : kMaxLine - 1;
    if (lineLength + token.size() > room) {
      out += "=\r\n";
      lineLength = 0;
    }
    out += token;
    lineLength += token.size();
  }
  return out;
}

std::string EncodeBase64Lines(std::string_view bytes) {
  const std::string flat = Base64(bytes);
  std::string out;
  out.reserve(flat.size() + flat.size() / kMaxLine * 2);
  for (std::size_t at = 0; at < flat.size(); at += kMaxLine) {
    if (at > 0) out += "\r\n";
    out.append(flat, at, kMaxLine);
  }
  return out;
}

std::string EncodeHeaderText(std::string_view utf8) {
  if (IsPlainHeaderText(utf8)) return std::string(utf8);

  // 45 bytes give 60 base64 characters: "=?UTF-8?B?" + 60 + "?=" stays below 75. Words end on whole
  // characters because a decoder may decode each word on its own.
  constexpr std::size_t kChunk = 45;
  std::string out;
  std::size_t at = 0;
  while (at < utf8.size()) {
    std::size_t end = at;
    while (end < utf8.size()) {
      const std::size_t next = end + SequenceLength(static_cast<unsigned char>(utf8[end]));
      if (next - at > kChunk) break;
      end = std::min(next, utf8.size());
    }
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(utf8.substr(at, end - at)) + "?=";
    at = end;
  }
  return out;
}

std::string EncodeHeaderWord(std::string_view utf8) {
  if (IsPlainHeaderText(utf8)) return std::string(utf8);
  return "=?UTF-8?B?" + Base64(utf8) + "?=";
}

std::string MailDate(std::time_t moment) {
  static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  localtime_r(&moment, &local);
  const long offsetMinutes = local.tm_gmtoff / 60;
  const long offset = std::labs(offsetMinutes);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %c%02ld%02ld", kDays.at(local.tm_wday), local.tm_mday,
                kMonths.at(local.tm_mon), local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
  return text;
}

std::string NewMessageId(std::string_view senderAddress) {
  const std::size_t at = senderAddress.find('@');
  const std::string_view domain = at == std::string_view::npos ? "localhost" : senderAddress.substr(at + 1);
  return "<" + UniqueToken() + "@" + std::string(domain.empty() ? "localhost" : domain) + ">";
}

std::string NewBoundary() { return "=_quarn_" + UniqueToken(); }

}  // namespace quarn::support
