#pragma once

#include <locale.h>

#include "acquisition/RegionalFormat.h"

namespace quarn::record {

// The regional date and time of the C library's locale from the environment (LC_ALL, LC_TIME, LANG):
// short date "%x" and time "%X". A locale that is not installed falls back to the plain C one.
class SystemRegionalFormat : public acquisition::RegionalFormat {
 public:
  SystemRegionalFormat();
  ~SystemRegionalFormat() override;
  SystemRegionalFormat(const SystemRegionalFormat&) = delete;
  SystemRegionalFormat& operator=(const SystemRegionalFormat&) = delete;

  std::string ShortDate(const acquisition::LocalDateTime& when) const override;
  std::string LongTime(const acquisition::LocalDateTime& when) const override;

 private:
  std::string Format(const char* format, const acquisition::LocalDateTime& when) const;

  locale_t locale_;  // read-only after construction; strftime_l uses it from any thread
};

}  // namespace quarn::record
