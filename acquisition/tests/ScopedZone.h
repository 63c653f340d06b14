#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace quarn::acquisition::testing {

// Runs a test in the time zone TZ names ("Europe/Berlin"), the one before restored afterwards.
class ScopedZone {
 public:
  explicit ScopedZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedZone() {
    if (old_)
      setenv("TZ", old_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  ScopedZone(const ScopedZone&) = delete;
  ScopedZone& operator=(const ScopedZone&) = delete;

 private:
  std::optional<std::string> old_;
};

}  // namespace quarn::acquisition::testing
