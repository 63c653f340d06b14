#pragma once

#include <fstream>
#include <string>

namespace quarn::base {

// The benchmarks' memory figures, from Linux's /proc: a size in MB of this process, -1 where there is none.

// The value of a "/proc/self/status" line such as "VmRSS:", in MB.
inline double StatusMegabytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::string(key).size())) / 1024.0;
  }
  return -1;
}
inline double ResidentMegabytes() { return StatusMegabytes("VmRSS:"); }
inline double PeakMegabytes() { return StatusMegabytes("VmHWM:"); }
// The peak starts again from the present size.
inline void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

}  // namespace quarn::base
