#include "MarkerList.h"

#include <algorithm>

#include "analysis/MarkerFile.h"
#include "base/Files.h"

namespace quarn::analysis {

namespace {

// Undo reaches back this many changes; a day at the bench makes far fewer.
constexpr size_t kUndoDepth = 200;

void SortByTime(std::vector<Marker>& markers) {
  std::stable_sort(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) { return a.time < b.time; });
}

}  // namespace

std::string MarkerFileBytes(const std::vector<Marker>& markers) {
  std::string bytes;
  for (const Marker& marker : markers) bytes += MarkerLine(marker.timeText, marker.label);
  return bytes;
}

void MarkerList::Reset(std::string markerFilePath) {
  path_ = std::move(markerFilePath);
  markers_.clear();
  undo_.clear();
}

void MarkerList::Remember() {
  undo_.push_back(markers_);
  if (undo_.size() > kUndoDepth) undo_.erase(undo_.begin());
}

std::optional<std::string> MarkerList::Write() const {
  if (path_.empty()) return std::nullopt;
  try {
    base::ReplaceFile(path_, MarkerFileBytes(markers_));
  } catch (const base::FileError& error) {
    return std::string(error.what());
  }
  return std::nullopt;
}

std::optional<std::string> MarkerList::Add(Marker marker) {
  Remember();
  markers_.push_back(std::move(marker));
  SortByTime(markers_);
  return Write();
}

std::optional<std::string> MarkerList::Rename(size_t index, const std::string& label) {
  if (index >= markers_.size()) return std::nullopt;
  Remember();
  markers_[index].label = label;
  return Write();
}

std::optional<std::string> MarkerList::Move(size_t index, double time, const std::string& timeText) {
  if (index >= markers_.size()) return std::nullopt;
  Remember();
  markers_[index].time = time;
  markers_[index].timeText = timeText;
  SortByTime(markers_);
  return Write();
}

std::optional<std::string> MarkerList::Remove(size_t index) {
  if (index >= markers_.size()) return std::nullopt;
  Remember();
  markers_.erase(markers_.begin() + static_cast<std::ptrdiff_t>(index));
  return Write();
}

std::optional<std::string> MarkerList::Undo() {
  if (undo_.empty()) return std::nullopt;
  markers_ = std::move(undo_.back());
  undo_.pop_back();
  return Write();
}

}  // namespace quarn::analysis
