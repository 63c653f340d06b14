#pragma once

#include <optional>
#include <utility>

namespace quarn::chart {

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
long long RoundHalfEven(double value);

// The time axis range [lower, upper] after "X+": a tenth of the span off each side, around the same centre.
// Nothing when the span would fall below minSpan.
std::optional<std::pair<double, double>> ZoomTimeIn(double lower, double upper, double minSpan);

// The same for "X-": the span a quarter wider around the same centre (so that "X-" undoes "X+"), kept within
// the records' times first .. last. Nothing when that leaves no span.
std::optional<std::pair<double, double>> ZoomTimeOut(double lower, double upper, double first, double last);

// Value axis range after "Y+" / "Y-": whole numbers, 10 % of the span on each side, at least 1.
std::optional<std::pair<double, double>> ZoomValueIn(double min, double max);
std::pair<double, double> ZoomValueOut(double min, double max);

}  // namespace quarn::chart
