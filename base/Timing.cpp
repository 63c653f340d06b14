#include "Timing.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace quarn::base {

namespace {
std::atomic<double> g_scale{1.0};
}

void SetTimeScale(double scale) { g_scale.store(scale > 0 ? scale : 1.0); }

double TimeScale() { return g_scale.load(); }

int Scaled(int ms) {
  if (ms <= 0) return ms;
  const double scale = g_scale.load();
  if (scale == 1.0) return ms;
  return std::max(1, static_cast<int>(std::lround(ms * scale)));
}

void Pause(int ms) {
  const int scaled = Scaled(ms);
  if (scaled > 0) std::this_thread::sleep_for(std::chrono::milliseconds(scaled));
}

}  // namespace quarn::base
