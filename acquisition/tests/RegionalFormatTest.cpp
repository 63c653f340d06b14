#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/SystemRegionalFormat.h"

namespace quarn::acquisition {
namespace {

// Sets (or, with nullopt, removes) an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct LocaleCase {
  std::optional<std::string> lang;  // nullopt: unset
  std::optional<std::string> lcTime;
  const char* date;  // of 10 December 2026
  const char* time;  // of 20:37:58.002
};

const LocaleCase kCases[] = {
    {"en_GB.UTF-8", std::nullopt, "10/12/2026", "20:37:58"}, {"en_US.UTF-8", std::nullopt, "12/10/26", "8:37:58 PM"},
    {"de_DE.UTF-8", std::nullopt, "10.12.26", "20:37:58"},   {"fr_FR.UTF-8", std::nullopt, "10/12/2026", "20:37:58"},
    {"ja_JP.UTF-8", std::nullopt, "2026/12/10", "20:37:58"}, {"C", std::nullopt, "2026-12-10", "20:37:58"},
    {"POSIX", std::nullopt, "2026-12-10", "20:37:58"},       {std::nullopt, std::nullopt, "2026-12-10", "20:37:58"},
    {"C.UTF-8", "en_GB.UTF-8", "10/12/2026", "20:37:58"},    {"en_GB.UTF-8", "C", "2026-12-10", "20:37:58"},
};

// Every writer gets its text here; whether the C library has the locale generated must not matter, so each
// case runs with the system's locales and with none to be found.
TEST(SystemRegionalFormat, SameTextWithAndWithoutTheLocaleGenerated) {
  const LocalDateTime when{2026, 12, 10, 20, 37, 58, 2};
  const std::string noLocales = (std::filesystem::temp_directory_path() / "quarn-no-locales").string();
  std::filesystem::create_directories(noLocales);
  for (const bool generated : {true, false}) {
    const ScopedEnv locpath("LOCPATH", generated ? std::nullopt : std::optional<std::string>(noLocales));
    for (const LocaleCase& c : kCases) {
      const ScopedEnv all("LC_ALL", std::nullopt);
      const ScopedEnv lang("LANG", c.lang);
      const ScopedEnv lcTime("LC_TIME", c.lcTime);
      const SystemRegionalFormat format;
      const std::string where = "LANG=" + c.lang.value_or("(unset)") + " LC_TIME=" + c.lcTime.value_or("(unset)") +
                                (generated ? "" : " without locales");
      EXPECT_EQ(format.ShortDate(when), c.date) << where;
      EXPECT_EQ(format.LongTime(when), c.time) << where;
      EXPECT_EQ(RecordTimeText(EncodeDayNumber(when), format), std::string(c.date) + " " + c.time) << where;
    }
  }
}

TEST(RecordTimeTextMs, ThreeDigitsAfterTheSecondsMidnightIncluded) {
  struct Case {
    const char* locale;
    LocalDateTime when;
    const char* text;
  };
  const Case cases[] = {
      {"en_GB", {2026, 12, 10, 20, 37, 45, 2}, "10/12/2026 20:37:45.002"},
      {"en_GB", {2026, 12, 10, 20, 37, 58, 412}, "10/12/2026 20:37:58.412"},
      {"en_US", {2026, 12, 10, 20, 37, 58, 40}, "12/10/26 8:37:58.040 PM"},
      {"C", {2026, 12, 3, 0, 0, 0, 0}, "2026-12-03 00:00:00.000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RecordTimeTextMs(EncodeDayNumber(c.when), SystemRegionalFormat(c.locale)), c.text) << c.locale;
  }
}

}  // namespace
}  // namespace quarn::acquisition
