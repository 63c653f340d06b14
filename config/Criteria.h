#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/MessageBoxes.h"

namespace quarn::config {

// The settings record loaded from criteria.ini. Texts are UTF-8. GUI thread only.
struct CriteriaSettings {
  int32_t zeroCriterion = 0;   // zero criterion for calibration; kCriterionNotGiven when the file has none
  int32_t scaleCriterion = 0;  // scale criterion for calibration; kCriterionNotGiven when the file has none
  std::string supportMail;     // support mail address
  std::string ftpServer;       // support FTP server
  int32_t ftpPort = 0;         // support FTP port
  std::string ftpPath;         // folder on the support FTP server
};

// The program's one record. The functions below take a CriteriaSettings& so that tests use their own.
extern CriteriaSettings criteriaSettings;

inline constexpr int32_t kCriterionNotGiven = 99999;
inline constexpr const char* kCriteriaFileName = "criteria.ini";

// What the criteria file says about the main window, each the last valid line of its key; empty when the
// file has none or the read skipped them.
struct WindowSettings {
  std::optional<int> intervalPosition;  // "delay": the sampling interval in tenths of a second, as written
  std::optional<bool> advancedMode;     // "mode": anything but 0 is the advanced mode
  std::optional<bool> reconnect;        // "reconnect": the "Reconnect automatically" box, ticked only by 1
};

enum class CriteriaResult {
  Done,
  Missing,  // no criteria file; for a read, the box was shown and the window should close
  Failed,   // the file exists but could not be read or written; the error box was shown
};

struct CriteriaRead {
  CriteriaResult result = CriteriaResult::Done;
  WindowSettings window;  // only when Done
};

// Reads and writes the criteria file for the main window. GUI thread only.
class CriteriaFile {
 public:
  // file: the program folder + kCriteriaFileName.
  CriteriaFile(std::filesystem::path file, base::MessageBoxes& boxes, CriteriaSettings& settings = criteriaSettings);

  // Loads the criteria and support addresses into the record, and returns the interval position and mode
  // when readWindowSettings. Failed means the calling action (show, Start) should end.
  CriteriaRead ReadCriteria(bool readWindowSettings);

  // Writes the window's interval position, mode index (0 basic, 1 advanced) and, when given, its reconnect box
  // back; every other line stays as it was. Nothing is written when the file is missing; on failure the old file is
  // untouched.
  CriteriaResult WriteCriteria(int intervalPosition, int modeIndex, std::optional<bool> reconnect = std::nullopt);

 private:
  std::filesystem::path file_;
  base::MessageBoxes& boxes_;
  CriteriaSettings& settings_;
};

// The reader's work on the file's bytes (Windows-1252 text), after the defaults were set: applies every line
// in order, shows a warning box for each of the first five values that are not an integer and one more box
// with the count of any further ones. The window's lines are returned, only when readWindowSettings.
WindowSettings ApplyCriteriaText(std::string_view content, CriteriaSettings& settings, base::MessageBoxes& boxes,
                                 bool readWindowSettings);

// The writer's work on the file's bytes: every "delay" and "mode" line rewritten, missing ones appended,
// every line ending in CR LF. A given reconnect flag rewrites every "reconnect" line, and is appended only when
// set, so that the file of a user who never ticked the box stays as it was.
std::string RewriteWindowSettings(std::string_view content, int intervalPosition, int modeIndex,
                                  std::optional<bool> reconnect = std::nullopt);

}  // namespace quarn::config
