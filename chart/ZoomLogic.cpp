#include "ZoomLogic.h"

#include <algorithm>
#include <cmath>

namespace quarn::chart {

long long RoundHalfEven(double value) { return std::llrint(value); }  // the default rounding mode is to-even

std::optional<std::pair<double, double>> ZoomTimeIn(double lower, double upper, double minSpan) {
  const double centre = (lower + upper) / 2;
  const double half = (upper - lower) * 0.4;
  if (!(2 * half >= minSpan)) return std::nullopt;
  return std::make_pair(centre - half, centre + half);
}

std::optional<std::pair<double, double>> ZoomTimeOut(double lower, double upper, double first, double last) {
  const double centre = (lower + upper) / 2;
  const double half = (upper - lower) * 0.625;
  const double lo = std::max(centre - half, first);
  const double hi = std::min(centre + half, last);
  if (!(hi > lo)) return std::nullopt;
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

}  // namespace quarn::chart
