#include "ZoomLogic.h"

#include <algorithm>
#include <cmath>

namespace quarn::ui {

long long RoundHalfEven(double value) { return std::llrint(value); }  // the default rounding mode is to-even

std::optional<std::pair<int, int>> ZoomTimeIn(int f, int l) {
  const int s = static_cast<int>(RoundHalfEven((l - f) * 0.1));
  if (l - s < f + s) return std::nullopt;
  return std::make_pair(f + s, l - s);
}

std::optional<std::pair<int, int>> ZoomTimeOut(int f, int l, int c) {
  const int s = std::max(1, static_cast<int>(RoundHalfEven((l - f) * 0.1)));
  int lo = f - s;
  int hi = l + s;
  if (hi <= lo) return std::nullopt;
  lo = std::max(lo, 0);
  hi = std::min(hi, c - 1);
  return std::make_pair(lo, hi);
}

namespace {
struct Steps {
  long long mn, mx, s;
};
Steps ValueSteps(double min, double max) {
  const long long mx = RoundHalfEven(max);
  const long long mn = RoundHalfEven(min);
  const long long s = std::max(1LL, RoundHalfEven((mx - mn) * 0.1));
  return {mn, mx, s};
}
}  // namespace

std::optional<std::pair<double, double>> ZoomValueIn(double min, double max) {
  const Steps v = ValueSteps(min, max);
  if (v.mx - v.s < v.mn + v.s) return std::nullopt;
  return std::make_pair(double(v.mn + v.s), double(v.mx - v.s));
}

std::pair<double, double> ZoomValueOut(double min, double max) {
  const Steps v = ValueSteps(min, max);
  return {double(v.mn - v.s), double(v.mx + v.s)};
}

}  // namespace quarn::ui
