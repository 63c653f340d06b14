#include "TimeText.h"

#include <cctype>
#include <string>
#include <vector>

#include "acquisition/DateTime.h"

namespace quarn::analysis {

namespace {

struct Token {
  bool number = false;
  std::string text;
};

std::vector<Token> Tokens(std::string_view text) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (std::isdigit(c) || std::isalpha(c)) {
      const bool number = std::isdigit(c);
      size_t end = i;
      while (end < text.size() && (number ? std::isdigit(static_cast<unsigned char>(text[end]))
                                          : std::isalpha(static_cast<unsigned char>(text[end])) || text[end] == '.')) {
        ++end;
      }
      tokens.push_back({number, std::string(text.substr(i, end - i))});
      i = end;
    } else {
      tokens.push_back({false, std::string(1, static_cast<char>(c))});
      ++i;
    }
  }
  return tokens;
}

bool IsSeparator(const Token& token, std::string_view allowed) {
  return !token.number && token.text.size() == 1 && allowed.find(token.text[0]) != std::string_view::npos;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<double> ParseTimeText(std::string_view text, DateOrder order) {
  std::vector<Token> tokens = Tokens(text);
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < tokens.size() && IsSeparator(tokens[i], " ")) ++i;
  };
  auto number = [&](size_t maxDigits, int& value) {
    if (i >= tokens.size() || !tokens[i].number || tokens[i].text.size() > maxDigits) return false;
    value = std::stoi(tokens[i].text);
    ++i;
    return true;
  };
  skipBlanks();
  // The date: three numbers with one kind of separator between them.
  int parts[3] = {};
  size_t firstDigits = i < tokens.size() ? tokens[i].text.size() : 0;
  if (!number(4, parts[0])) return std::nullopt;
  if (i >= tokens.size() || !IsSeparator(tokens[i], "./-")) return std::nullopt;
  const char separator = tokens[i++].text[0];
  if (!number(2, parts[1])) return std::nullopt;
  if (i >= tokens.size() || !IsSeparator(tokens[i], std::string(1, separator))) return std::nullopt;
  ++i;
  if (!number(4, parts[2])) return std::nullopt;
  if (i < tokens.size() && IsSeparator(tokens[i], ".")) ++i;  // "05.09.2013."

  acquisition::LocalDateTime when;
  if (firstDigits == 4) {
    when.year = parts[0];
    when.month = parts[1];
    when.day = parts[2];
  } else {
    when.year = parts[2] < 100 ? 2000 + parts[2] : parts[2];
    when.day = order == DateOrder::kDayMonthYear ? parts[0] : parts[1];
    when.month = order == DateOrder::kDayMonthYear ? parts[1] : parts[0];
  }
  if (when.month < 1 || when.month > 12 || when.day < 1 || when.day > DaysInMonth(when.year, when.month)) {
    return std::nullopt;
  }

  // The time: hours, minutes, optional seconds with an optional fraction, optional AM or PM.
  if (i < tokens.size() && (IsSeparator(tokens[i], " ") || (!tokens[i].number && tokens[i].text == "T"))) ++i;
  skipBlanks();
  if (i < tokens.size()) {
    if (!number(2, when.hour)) return std::nullopt;
    if (i >= tokens.size() || !IsSeparator(tokens[i], ":.")) return std::nullopt;
    ++i;
    if (!number(2, when.minute)) return std::nullopt;
    if (i < tokens.size() && IsSeparator(tokens[i], ":.")) {
      ++i;
      if (!number(2, when.second)) return std::nullopt;
      if (i + 1 < tokens.size() && IsSeparator(tokens[i], ".,") && tokens[i + 1].number) {
        const std::string digits = (tokens[i + 1].text + "000").substr(0, 3);
        when.millisecond = std::stoi(digits);
        i += 2;
      }
    }
    skipBlanks();
    if (i < tokens.size() && !tokens[i].number) {
      std::string word;
      for (char c : tokens[i].text) {
        if (c != '.') word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      }
      if (word != "AM" && word != "PM") return std::nullopt;
      if (when.hour < 1 || when.hour > 12) return std::nullopt;
      when.hour = when.hour % 12 + (word == "PM" ? 12 : 0);
      ++i;
      skipBlanks();
    }
    if (i != tokens.size()) return std::nullopt;
    if (when.hour > 23 || when.minute > 59 || when.second > 59) return std::nullopt;
  }
  return acquisition::EncodeDayNumber(when);
}

}  // namespace quarn::analysis
