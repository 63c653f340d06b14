#include "MergedMarkers.h"

#include <algorithm>

namespace quarn::analysis {

std::vector<Marker> MergedMarkers(std::span<const std::vector<Marker>> perFile) {
  std::vector<Marker> all;
  for (const std::vector<Marker>& markers : perFile) all.insert(all.end(), markers.begin(), markers.end());
  std::stable_sort(all.begin(), all.end(), [](const Marker& a, const Marker& b) { return a.time < b.time; });
  std::vector<Marker> merged;
  std::vector<std::string> labels;  // of the group being gathered
  for (const Marker& marker : all) {
    if (!merged.empty() && (marker.time - merged.back().time) * kSecondsPerDay <= kCoincidentMarkerSeconds) {
      if (std::find(labels.begin(), labels.end(), marker.label) == labels.end()) {
        labels.push_back(marker.label);
        merged.back().label += " / " + marker.label;
      }
      continue;
    }
    merged.push_back(marker);
    labels = {marker.label};
  }
  return merged;
}

}  // namespace quarn::analysis
