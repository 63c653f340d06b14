#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/Report.h"
#include "analysis/ResponseTimes.h"

namespace quarn::analysis {

// The labels the recorder writes around a lost connection: "connection lost" at the last frame before it,
// "reconnected after N s" at the first frame after it.
inline constexpr const char* kConnectionLostLabel = "connection lost";
std::string ReconnectedLabel(long long seconds);
bool IsGapLabel(const std::string& label);

// A stretch without records because the sensor was away.
struct Gap {
  Marker start;        // the "connection lost" marker
  double seconds = 0;  // to the "reconnected" marker
};

// The gaps among markers in time order: each "connection lost" paired with the next "reconnected after" marker.
// A loss the run never recovered from (it ended while waiting) is no gap in the records and is left out.
std::vector<Gap> GapsOf(std::span<const Marker> markers);

// The markers that are no gap markers: gas markers, whose steps the response times measure.
std::vector<Marker> WithoutGapMarkers(std::span<const Marker> markers);

// gap_start,gap_s
const Row& GapHeader();
// The start as the marker file holds it; seconds with one decimal.
Row GapRow(const Gap& gap);

}  // namespace quarn::analysis
