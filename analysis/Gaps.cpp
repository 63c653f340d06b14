#include "Gaps.h"

#include <cstdio>

namespace quarn::analysis {

namespace {

constexpr std::string_view kReconnectedPrefix = "reconnected after ";

bool IsReconnected(const std::string& label) { return label.rfind(kReconnectedPrefix, 0) == 0; }

}  // namespace

std::string ReconnectedLabel(long long seconds) {
  return std::string(kReconnectedPrefix) + std::to_string(seconds) + " s";
}

bool IsGapLabel(const std::string& label) { return label == kConnectionLostLabel || IsReconnected(label); }

std::vector<Gap> GapsOf(std::span<const Marker> markers) {
  std::vector<Gap> gaps;
  const Marker* lost = nullptr;
  for (const Marker& marker : markers) {
    if (marker.label == kConnectionLostLabel) {
      lost = &marker;
    } else if (IsReconnected(marker.label) && lost) {
      gaps.push_back({*lost, (marker.time - lost->time) * 86400.0});
      lost = nullptr;
    }
  }
  return gaps;
}

std::vector<Marker> WithoutGapMarkers(std::span<const Marker> markers) {
  std::vector<Marker> kept;
  for (const Marker& marker : markers) {
    if (!IsGapLabel(marker.label)) kept.push_back(marker);
  }
  return kept;
}

const Row& GapHeader() {
  static const Row header = {"gap_start", "gap_s"};
  return header;
}

Row GapRow(const Gap& gap) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", gap.seconds);
  return {gap.start.timeText, seconds};
}

}  // namespace quarn::analysis
