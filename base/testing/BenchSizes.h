#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace quarn::base {

// The record or line counts a benchmark is asked for on its command line, or fallback when none are given.
// Anything but a positive whole number prints the usage and ends the program with status 2.
inline std::vector<size_t> BenchSizes(int argc, char** argv, std::vector<size_t> fallback) {
  std::vector<size_t> sizes;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    char* end = nullptr;
    const unsigned long long value = std::strtoull(arg.c_str(), &end, 10);
    if (arg.empty() || arg[0] == '-' || *end != '\0' || value == 0) {
      std::fprintf(stderr, "usage: %s [COUNT...]  (positive whole numbers of records)\n", argv[0]);
      std::exit(2);
    }
    sizes.push_back(static_cast<size_t>(value));
  }
  return sizes.empty() ? fallback : sizes;
}

// The p-quantile (0 .. 1) of timed samples: 0.5 the median, 0.99 the 99th percentile.
inline double Percentile(std::vector<double> samples, double p) {
  std::sort(samples.begin(), samples.end());
  return samples[std::min(samples.size() - 1, static_cast<size_t>(p * static_cast<double>(samples.size())))];
}

// A steady-clock duration in milliseconds.
inline double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace quarn::base
