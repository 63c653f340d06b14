#include "Received.h"

#include <cctype>
#include <charconv>

#include "acquisition/DateTime.h"

namespace quarn::publish {

namespace {

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xc0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3f));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xe0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (code & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (code & 0x3f));
  }
}

class FlatJsonReader {
 public:
  explicit FlatJsonReader(std::string_view text) : text_(text) {}

  std::optional<std::map<std::string, JsonMember>> Object() {
    std::map<std::string, JsonMember> members;
    if (!Take('{')) return std::nullopt;
    if (Take('}')) return End(members);
    do {
      std::string name;
      if (!String(name) || !Take(':')) return std::nullopt;
      JsonMember value;
      SkipSpace();
      if (Peek() == '"') {
        value.isString = true;
        if (!String(value.text)) return std::nullopt;
      } else if (!Scalar(value.text)) {
        return std::nullopt;
      }
      members[name] = std::move(value);
    } while (Take(','));
    if (!Take('}')) return std::nullopt;
    return End(members);
  }

 private:
  std::optional<std::map<std::string, JsonMember>> End(std::map<std::string, JsonMember>& members) {
    SkipSpace();
    if (at_ != text_.size()) return std::nullopt;
    return std::move(members);
  }
  char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  void SkipSpace() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  bool Take(char c) {
    SkipSpace();
    if (Peek() != c) return false;
    ++at_;
    return true;
  }
  bool Hex4(uint32_t& code) {
    if (at_ + 4 > text_.size()) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      code <<= 4;
      if (c >= '0' && c <= '9')
        code |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        code |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        code |= static_cast<uint32_t>(c - 'A' + 10);
      else
        return false;
    }
    return true;
  }
  bool String(std::string& out) {
    if (!Take('"')) return false;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char e = text_[at_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t code = 0;
          if (!Hex4(code)) return false;
          // A surrogate pair names one character beyond the first 65536.
          if (code >= 0xd800 && code < 0xdc00) {
            uint32_t low = 0;
            if (!Take('\\') || Peek() != 'u') return false;
            ++at_;
            if (!Hex4(low) || low < 0xdc00 || low >= 0xe000) return false;
            code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
          } else if (code >= 0xdc00 && code < 0xe000) {
            return false;
          }
          AppendUtf8(out, code);
          break;
        }
        default: return false;
      }
    }
    return false;
  }
  bool Scalar(std::string& out) {
    const size_t start = at_;
    while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '-' ||
                                  text_[at_] == '+' || text_[at_] == '.'))
      ++at_;
    out = std::string(text_.substr(start, at_ - start));
    return !out.empty();
  }

  std::string_view text_;
  size_t at_ = 0;
};

template <typename Number>
bool ReadNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool Digits(std::string_view text, size_t at, size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::optional<std::map<std::string, JsonMember>> ParseFlatJson(std::string_view text) {
  return FlatJsonReader(text).Object();
}

std::optional<double> DayNumberFromUtcText(std::string_view text) {
  // 2026-12-10T14:03:07.412Z or 2026-12-10T14:03:07Z
  acquisition::LocalDateTime t;
  if (text.size() != 20 && text.size() != 24) return std::nullopt;
  if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' || text.back() != 'Z')
    return std::nullopt;
  if (!Digits(text, 0, 4, t.year) || !Digits(text, 5, 2, t.month) || !Digits(text, 8, 2, t.day) ||
      !Digits(text, 11, 2, t.hour) || !Digits(text, 14, 2, t.minute) || !Digits(text, 17, 2, t.second))
    return std::nullopt;
  if (text.size() == 24 && (text[19] != '.' || !Digits(text, 20, 3, t.millisecond))) return std::nullopt;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 || t.second > 60)
    return std::nullopt;
  return acquisition::EncodeDayNumber(t);
}

std::optional<ReceivedRecord> DecodeRecord(std::string_view payload) {
  const auto members = ParseFlatJson(payload);
  if (!members) return std::nullopt;
  auto text = [&](const char* name, bool isString) -> const std::string* {
    const auto found = members->find(name);
    if (found == members->end() || found->second.isString != isString) return nullptr;
    return &found->second.text;
  };
  ReceivedRecord r;
  const std::string* serial = text("serial", true);
  const std::string* run = text("run", true);
  const std::string* time = text("time", true);
  const std::string* seq = text("seq", false);
  if (!serial || serial->empty() || !run || !time || !seq || !ReadNumber(*seq, r.seq) || r.seq == 0)
    return std::nullopt;
  const std::optional<double> DT = DayNumberFromUtcText(*time);
  if (!DT) return std::nullopt;
  r.serial = *serial;
  r.run = *run;
  r.record.DT = *DT;
  const std::pair<const char*, uint16_t*> values[] = {{"conc", &r.record.C2}, {"st", &r.record.S},
                                                      {"temp", &r.record.T},  {"um", &r.record.Uo},
                                                      {"ur", &r.record.Ur},   {"status", &r.record.K}};
  for (const auto& [name, value] : values) {
    const std::string* number = text(name, false);
    if (!number || !ReadNumber(*number, *value)) return std::nullopt;
  }
  return r;
}

std::optional<ReceivedIdentity> DecodeIdentity(std::string_view payload) {
  const auto members = ParseFlatJson(payload);
  if (!members) return std::nullopt;
  ReceivedIdentity identity;
  const std::pair<const char*, std::string*> fields[] = {
      {"serial", &identity.serial}, {"firmware", &identity.firmware}, {"type", &identity.type},
      {"range", &identity.range},   {"port", &identity.port},         {"host", &identity.host},
      {"file", &identity.dataFile}, {"interval", &identity.interval}};
  for (const auto& [name, field] : fields) {
    if (const auto found = members->find(name); found != members->end()) *field = found->second.text;
  }
  if (identity.serial.empty()) return std::nullopt;
  return identity;
}

}  // namespace quarn::publish
