#pragma once

#ifndef _WIN32
#include <locale.h>
#endif

#include "acquisition/RegionalFormat.h"

namespace quarn::acquisition {

// The regional date and time of the C library's locale from the environment (LC_ALL, LC_TIME, LANG):
// short date "%x" and time "%X". A locale that is not installed falls back to the plain C one. On Windows
// the C library's current locale is used as it stands.
class SystemRegionalFormat : public RegionalFormat {
 public:
  SystemRegionalFormat();
  ~SystemRegionalFormat() override;
  SystemRegionalFormat(const SystemRegionalFormat&) = delete;
  SystemRegionalFormat& operator=(const SystemRegionalFormat&) = delete;

  std::string ShortDate(const LocalDateTime& when) const override;
  std::string LongTime(const LocalDateTime& when) const override;

 private:
  std::string Format(const char* format, const LocalDateTime& when) const;

#ifndef _WIN32
  locale_t locale_;  // read-only after construction; strftime_l uses it from any thread
#endif
};

}  // namespace quarn::acquisition
