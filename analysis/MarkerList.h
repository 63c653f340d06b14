#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/ResponseTimes.h"

namespace quarn::analysis {

// The gas markers of one data file as the user sets and edits them, oldest first. Every change rewrites the
// marker file beside the data file whole (the old file stays as it was when the rewrite fails) and can be
// undone, the last change first. A change the file refused is kept all the same: the next rewrite that
// succeeds carries it.
class MarkerList {
 public:
  // No markers and nothing to undo; changes go to markerFilePath (none with an empty path).
  void Reset(std::string markerFilePath);

  const std::vector<Marker>& Markers() const { return markers_; }
  const std::string& FilePath() const { return path_; }

  // Each returns why the marker file could not be rewritten, or nothing when it was. An index out of range
  // changes nothing.
  std::optional<std::string> Add(Marker marker);
  std::optional<std::string> Rename(size_t index, const std::string& label);
  std::optional<std::string> Move(size_t index, double time, const std::string& timeText);
  std::optional<std::string> Remove(size_t index);
  // Puts the markers back as they were before the last change that is not undone yet.
  std::optional<std::string> Undo();
  bool CanUndo() const { return !undo_.empty(); }

 private:
  // Remembers the markers for Undo, then applies the change.
  void Remember();
  std::optional<std::string> Write() const;

  std::string path_;
  std::vector<Marker> markers_;
  std::vector<std::vector<Marker>> undo_;  // the markers before each change, the latest last
};

// The marker file's bytes for markers, one line each in the data file's code page.
std::string MarkerFileBytes(const std::vector<Marker>& markers);

}  // namespace quarn::analysis
