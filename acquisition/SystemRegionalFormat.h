#pragma once

#include <memory>
#include <string>

#include "acquisition/RegionalFormat.h"

namespace quarn::acquisition {

// The one regional date and time format every writer uses (window, recorder, marker files, logs), so that
// two programs under the same environment write the same text. The locale is the one LC_ALL, LC_TIME or
// LANG names; its patterns come from ICU, which carries them whether or not the system has that locale
// generated. C, POSIX or nothing set gives ISO 8601 (2026-12-10 20:37:58). On Windows the system's own
// short date and time formats are used.
class SystemRegionalFormat : public RegionalFormat {
 public:
  SystemRegionalFormat();
  // A locale named as in LANG ("de_DE.UTF-8", "C"), for tests and callers that know it.
  explicit SystemRegionalFormat(const std::string& localeName);
  ~SystemRegionalFormat() override;
  SystemRegionalFormat(const SystemRegionalFormat&) = delete;
  SystemRegionalFormat& operator=(const SystemRegionalFormat&) = delete;

  std::string ShortDate(const LocalDateTime& when) const override;
  std::string LongTime(const LocalDateTime& when) const override;

 private:
  struct Patterns;
  std::unique_ptr<Patterns> patterns_;
};

// The locale name the environment gives for dates and times: LC_ALL, then LC_TIME, then LANG; "" when none.
std::string EnvironmentTimeLocale();

}  // namespace quarn::acquisition
