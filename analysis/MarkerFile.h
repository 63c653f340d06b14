#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::analysis {

// The markers of a data file live beside it, in the data file's name plus this ending.
inline constexpr std::string_view kMarkerFileSuffix = ".marks.tsv";

std::string MarkerFilePath(const std::string& dataFilePath);

// One marker line in the file's code page: the time text (as in the data file's first column), a TAB, the
// label, CR LF. A TAB, CR or LF inside the label or the time becomes a blank, so the line stays one line.
std::string MarkerLine(std::string_view timeText, std::string_view label);

// Appends one marker line to the file at path (created when missing) and hands it to the system at once, as
// the data file's lines are. False with reason on failure.
bool AppendMarker(const std::string& path, std::string_view timeText, std::string_view label, std::string& reason);

struct MarkerEntry {
  std::string timeText;  // UTF-8
  std::string label;     // UTF-8
  size_t line = 0;       // 1-based
};

struct MarkerFileContents {
  std::vector<MarkerEntry> entries;
  // One text per line that is not a marker ("line 3: no TAB between time and label").
  std::vector<std::string> badLines;
};

// The markers of a file's bytes. A last line without its CR LF (the writer was cut off) is taken when it holds
// a time and a TAB, and otherwise dropped without a complaint; empty lines are skipped.
MarkerFileContents ParseMarkers(std::string_view bytes);

// The markers of the file at path; an empty result when there is no such file. Throws base::FileError when it
// exists but cannot be read.
MarkerFileContents ReadMarkerFile(const std::string& path);

}  // namespace quarn::analysis
