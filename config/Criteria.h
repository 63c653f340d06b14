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

// What the criteria file needs from the main window; the window implements it, tests use a fake.
class CriteriaHost {
 public:
  virtual ~CriteriaHost() = default;
  // The sampling-interval position in tenths of a second; the window clamps it to 5..990.
  virtual void SetIntervalPosition(int position) = 0;
  virtual int IntervalPosition() const = 0;
  // The advanced-mode flag.
  virtual bool AdvancedMode() const = 0;
  virtual void SetAdvancedModeFlag(bool advanced) = 0;
  // Selects "Advance" in the mode selection and runs its click action, as the user's choice would.
  virtual void SelectAdvancedMode() = 0;
  // Index of the mode selection: 0 basic, 1 advanced.
  virtual int ModeIndex() const = 0;
  // Asks the window to close once the current action has finished (through its normal close sequence).
  virtual void RequestClose() = 0;
  // The "Reconnect automatically" box ("reconnect" in the file, off unless it says 1). A host without the box
  // leaves the file's line as it is.
  virtual void SetReconnectFlag(bool /*reconnect*/) {}
  virtual std::optional<bool> ReconnectFlag() const { return std::nullopt; }
};

enum class CriteriaResult {
  Done,
  Missing,  // no criteria file; for a read, the box was shown and the window asked to close
  Failed,   // the file exists but could not be read or written; the error box was shown
};

// Reads and writes the criteria file for the main window. GUI thread only.
class CriteriaFile {
 public:
  // file: the program folder + kCriteriaFileName.
  CriteriaFile(std::filesystem::path file, CriteriaHost& host, base::MessageBoxes& boxes,
               CriteriaSettings& settings = criteriaSettings);

  // Loads the criteria and support addresses into the record, and the interval position and mode into the
  // window when applyWindowSettings. Failed means the calling action (show, Start) should end.
  CriteriaResult ReadCriteria(bool applyWindowSettings);

  // Writes the window's interval position and mode index back; every other line stays as it was.
  // Nothing is written when the file is missing; on failure the old file is untouched.
  CriteriaResult WriteCriteria();

 private:
  std::filesystem::path file_;
  CriteriaHost& host_;
  base::MessageBoxes& boxes_;
  CriteriaSettings& nsi_;
};

// The reader's work on the file's bytes (Windows-1252 text), after the defaults were set: applies every line
// in order, shows a warning box for each of the first five values that are not an integer and one more box
// with the count of any further ones, then selects the advanced mode when the flag is set.
void ApplyCriteriaText(std::string_view content, CriteriaSettings& settings, CriteriaHost& host,
                       base::MessageBoxes& boxes, bool applyWindowSettings);

// The writer's work on the file's bytes: every "delay" and "mode" line rewritten, missing ones appended,
// every line ending in CR LF. A given reconnect flag rewrites every "reconnect" line, and is appended only when
// set, so that the file of a user who never ticked the box stays as it was.
std::string RewriteWindowSettings(std::string_view content, int intervalPosition, int modeIndex,
                                  std::optional<bool> reconnect = std::nullopt);

}  // namespace quarn::config
