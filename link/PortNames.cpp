#include "PortNames.h"

#include <cstdlib>

namespace quarn::link {

std::optional<int> ComNumber(const std::string& name) {
  if (name.size() < 4 || name.compare(0, 3, "COM") != 0 || name.size() > 12) return std::nullopt;
  long value = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    value = value * 10 + (name[i] - '0');
  }
  if (name[3] == '0' || value < 1 || value > 0x7FFFFFFF) return std::nullopt;
  return static_cast<int>(value);
}

std::string WindowsDeviceName(const std::string& name) { return name.size() > 4 ? "\\\\.\\" + name : name; }

std::string DevicePathForPort(const std::string& name) {
  const std::optional<int> n = ComNumber(name);
  if (!n) return {};
#ifdef _WIN32
  return WindowsDeviceName(name);
#else
  if (const char* dir = std::getenv("QUARN_PORT_DIR"); dir && *dir) {
    std::string path = dir;
    if (path.back() != '/') path += '/';
    return path + name;
  }
  struct Range {
    int first;
    const char* prefix;
  };
  static constexpr Range kRanges[] = {{1, "/dev/ttyUSB"}, {33, "/dev/ttyACM"}, {65, "/dev/ttyS"}};
  for (const Range& r : kRanges) {
    if (*n >= r.first && *n < r.first + 32) return r.prefix + std::to_string(*n - r.first);
  }
  return {};
#endif
}

}  // namespace quarn::link
