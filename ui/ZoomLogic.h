#pragma once

#include <optional>
#include <utility>

namespace quarn::ui {

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
long long RoundHalfEven(double value);

// Point indices [first, last] of series 0 for the time axis after "X+", from the visible points f..l.
// Nothing when the range would cross.
std::optional<std::pair<int, int>> ZoomTimeIn(int f, int l);

// The same for "X-", with c points in the series: at least one point more on each side, within 0..c-1.
std::optional<std::pair<int, int>> ZoomTimeOut(int f, int l, int c);

// Value axis range after "Y+" / "Y-": whole numbers, 10 % of the span on each side, at least 1.
std::optional<std::pair<double, double>> ZoomValueIn(double min, double max);
std::pair<double, double> ZoomValueOut(double min, double max);

}  // namespace quarn::ui
