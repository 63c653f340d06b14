#include "TimeText.h"

#include <cctype>
#include <string>
#include <vector>

#include "acquisition/DateTime.h"
#include "base/CodePage.h"

namespace quarn::analysis {

namespace {

// A letter: ASCII, or any byte of a UTF-8 sequence ("März").
bool IsLetter(unsigned char c) { return std::isalpha(c) || c >= 0x80; }

// Runs of digits, runs of letters (dots kept, for "a.m."), and single other characters.
struct Token {
  bool number = false;
  std::string text;
};

std::vector<Token> Tokens(std::string_view text) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (std::isdigit(c) || IsLetter(c)) {
      const bool number = std::isdigit(c);
      size_t end = i;
      while (end < text.size()) {
        const auto e = static_cast<unsigned char>(text[end]);
        if (number ? !std::isdigit(e) : !(IsLetter(e) || e == '.')) break;
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

class Reader {
 public:
  explicit Reader(std::string_view text) : tokens_(Tokens(text)) {}
  bool AtEnd() const { return i_ >= tokens_.size(); }
  void SkipBlanks() {
    while (Is(" ")) ++i_;
  }
  // The next token is one of the single characters in allowed.
  bool Is(std::string_view allowed) const {
    return !AtEnd() && !tokens_[i_].number && tokens_[i_].text.size() == 1 &&
           allowed.find(tokens_[i_].text[0]) != std::string_view::npos;
  }
  bool Take(std::string_view allowed) {
    if (!Is(allowed)) return false;
    ++i_;
    return true;
  }
  bool Number(size_t maxDigits, int& value, size_t* digits = nullptr) {
    if (AtEnd() || !tokens_[i_].number || tokens_[i_].text.size() > maxDigits) return false;
    value = std::stoi(tokens_[i_].text);
    if (digits) *digits = tokens_[i_].text.size();
    ++i_;
    return true;
  }
  bool NumberText(std::string& text) {
    if (AtEnd() || !tokens_[i_].number) return false;
    text = tokens_[i_++].text;
    return true;
  }
  bool Word(std::string& word) {
    if (AtEnd() || !IsLetter(static_cast<unsigned char>(tokens_[i_].text[0]))) return false;
    word = tokens_[i_++].text;
    return true;
  }

 private:
  std::vector<Token> tokens_;
  size_t i_ = 0;
};

}  // namespace

namespace {

// A numeric date: three numbers with one kind of separator between them.
bool NumericDate(Reader& reader, datafile::DateFields& fields) {
  size_t digits = 0;
  if (!reader.Number(4, fields.first, &digits)) return false;
  fields.firstDigits = static_cast<uint8_t>(digits);
  std::string separator;
  for (char c : std::string_view("./-")) {
    if (reader.Is(std::string(1, c))) separator = std::string(1, c);
  }
  if (separator.empty() || !reader.Take(separator)) return false;
  if (!reader.Number(2, fields.second) || !reader.Take(separator)) return false;
  if (!reader.Number(4, fields.third, &digits)) return false;
  fields.thirdDigits = static_cast<uint8_t>(digits);
  reader.Take(".");  // "05.09.2013."
  return true;
}

// A date that names its month: "10 Dec 2026", "10. Dez. 2026", "Dec 10, 2026", a weekday before either.
bool NamedDate(Reader& reader, const datafile::MonthNames& names, datafile::DateFields& fields) {
  // The names are kept in the data file's code page.
  const auto month = [&names](const std::string& word) { return names.Month(base::Utf8ToCp1252(word)); };
  std::string word;
  if (reader.Word(word) && month(word) == 0) {  // a weekday
    reader.Take(",");
    reader.SkipBlanks();
    word.clear();
    reader.Word(word);
  }
  size_t digits = 0;
  int monthNumber = 0;
  int day = 0;
  if (!word.empty()) {  // month first
    monthNumber = month(word);
    reader.SkipBlanks();
    if (monthNumber == 0 || !reader.Number(2, day)) return false;
    reader.Take(",");
  } else {  // day first
    if (!reader.Number(2, day)) return false;
    reader.Take(".");
    reader.SkipBlanks();
    if (!reader.Word(word) || (monthNumber = month(word)) == 0) return false;
  }
  reader.SkipBlanks();
  int year = 0;
  if (!reader.Number(4, year, &digits)) return false;
  fields = {day, monthNumber, year, 2, static_cast<uint8_t>(digits), true, datafile::DateOrder::DayMonthYear};
  return true;
}

}  // namespace

std::optional<double> ParseTimeText(std::string_view text, datafile::DateOrder order, const datafile::MonthNames& names,
                                    int latestYear) {
  datafile::DateFields fields;
  Reader numeric(text);
  numeric.SkipBlanks();
  Reader named(text);
  named.SkipBlanks();
  const bool isNumeric = NumericDate(numeric, fields);
  if (!isNumeric && !NamedDate(named, names, fields)) return std::nullopt;
  Reader& reader = isNumeric ? numeric : named;
  const std::optional<int64_t> day = datafile::DayNumberIn(
      fields, !fields.monthNamed && fields.firstDigits == 4 ? datafile::DateOrder::YearMonthDay : order, latestYear);
  if (!day) return std::nullopt;

  // The time: hours, minutes, optional seconds with an optional fraction, optional AM or PM.
  std::string word;
  if (!reader.Take(" ") && !(reader.Word(word) && word == "T")) {
    if (reader.AtEnd()) return static_cast<double>(*day);
    return std::nullopt;
  }
  reader.SkipBlanks();
  if (reader.AtEnd()) return static_cast<double>(*day);
  int hour = 0;
  int minute = 0;
  int second = 0;
  double fraction = 0;
  if (!reader.Number(2, hour) || !reader.Take(":.") || !reader.Number(2, minute)) return std::nullopt;
  if (reader.Take(":.")) {
    if (!reader.Number(2, second)) return std::nullopt;
    std::string decimals;
    if (reader.Take(".,")) {
      if (!reader.NumberText(decimals)) return std::nullopt;
      fraction = std::stod("0." + decimals);
    }
  }
  reader.SkipBlanks();
  std::string marker;
  if (reader.Word(marker)) {
    std::string letters;
    for (char c : marker) {
      if (c != '.') letters += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (letters != "AM" && letters != "PM") return std::nullopt;
    reader.SkipBlanks();
  }
  if (!reader.AtEnd()) return std::nullopt;
  const std::optional<int64_t> ms = datafile::TimeOfDayMs(hour, minute, second, marker);
  if (!ms) return std::nullopt;
  // As the data file reader places a time within its day.
  const double dayFraction = (static_cast<double>(*ms) + fraction * 1000) / 86400000.0;
  return *day >= 0 ? static_cast<double>(*day) + dayFraction : static_cast<double>(*day) - dayFraction;
}

double MarkerInstants::Of(double localDT) {
  const acquisition::UtcInstants instants = acquisition::UtcFromLocal(localDT);
  double picked = acquisition::PickInstant(instants, previous_);
  if (instants.second && span_) {
    const auto within = [this](double t) { return t >= span_->first && t <= span_->second; };
    if (within(instants.first) != within(*instants.second))
      picked = within(instants.first) ? instants.first : *instants.second;
  }
  previous_ = picked;
  return picked;
}

}  // namespace quarn::analysis
