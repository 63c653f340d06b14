#pragma once

#include <span>
#include <vector>

#include "analysis/ResponseTimes.h"

namespace quarn::analysis {

// Markers of several files closer together than this are one gas change marked at each recorder.
inline constexpr double kCoincidentMarkerSeconds = 2;

// The markers of several files as one list in time order, each change once: a marker within
// kCoincidentMarkerSeconds of the first marker of a group joins that group, which keeps the first one's time
// and lists each different label once ("N2 / CO2 500").
std::vector<Marker> MergedMarkers(std::span<const std::vector<Marker>> perFile);

}  // namespace quarn::analysis
