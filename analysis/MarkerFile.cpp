#include "MarkerFile.h"

#include "acquisition/DataFile.h"
#include "base/CodePage.h"
#include "base/Files.h"

namespace quarn::analysis {

namespace {

std::string OneLine(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return result;
}

}  // namespace

std::string MarkerFilePath(const std::string& dataFilePath) { return dataFilePath + std::string(kMarkerFileSuffix); }

std::string MarkerLine(std::string_view timeText, std::string_view label) {
  return base::Utf8ToCp1252(OneLine(timeText) + "\t" + OneLine(label) + "\r\n");
}

bool AppendMarker(const std::string& path, std::string_view timeText, std::string_view label, std::string& reason) {
  acquisition::DataFile file;
  if (!file.Open(path, reason)) return false;
  const bool written = file.Write(MarkerLine(timeText, label), reason);
  file.Close();
  return written;
}

MarkerFileContents ParseMarkers(std::string_view bytes) {
  MarkerFileContents contents;
  size_t lineNumber = 0;
  size_t begin = 0;
  while (begin < bytes.size()) {
    ++lineNumber;
    const size_t lineFeed = bytes.find('\n', begin);
    const bool complete = lineFeed != std::string_view::npos;
    std::string_view line = bytes.substr(begin, complete ? lineFeed - begin : std::string_view::npos);
    begin = complete ? lineFeed + 1 : bytes.size();
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const size_t tab = line.find('\t');
    std::string problem;
    if (tab == std::string_view::npos) {
      problem = "no TAB between time and label";
    } else if (tab == 0) {
      problem = "no time before the TAB";
    }
    if (!problem.empty()) {
      if (complete) contents.badLines.push_back("line " + std::to_string(lineNumber) + ": " + problem);
      continue;
    }
    contents.entries.push_back(
        {base::Cp1252ToUtf8(line.substr(0, tab)), base::Cp1252ToUtf8(line.substr(tab + 1)), lineNumber});
  }
  return contents;
}

MarkerFileContents ReadMarkerFile(const std::string& path) {
  if (!base::ExistsOrUnreadable(path)) return {};
  return ParseMarkers(base::ReadWholeFile(path));
}

}  // namespace quarn::analysis
