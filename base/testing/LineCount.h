#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace quarn::base {

// The floor a benchmark that reads a file is held against: the median time, in ms, that `wc -l` takes to count
// the file's lines (from the page cache once the first count has read it), over repeats runs.
inline double LineCountMs(const std::string& path, int repeats = 5) {
  const std::string command = "wc -l < '" + path + "'";
  std::vector<double> times;
  for (int i = 0; i <= repeats; ++i) {
    const auto start = std::chrono::steady_clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return 0;
    char text[64];
    while (std::fgets(text, sizeof text, pipe) != nullptr) {
    }
    pclose(pipe);
    // The first count brings the file into the page cache.
    if (i > 0)
      times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace quarn::base
