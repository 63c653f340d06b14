#include "ErrorLineBoxes.h"

#include <string_view>

namespace quarn::recorder {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::string OneLine(const std::string& text) {
  std::string line;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '\n' && text[i] != '\r') {
      line += text[i++];
      continue;
    }
    while (i < text.size() && (text[i] == '\n' || text[i] == '\r' || text[i] == ' ')) ++i;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (!line.empty() && i < text.size()) line += ": ";
  }
  return line;
}

std::optional<ExitStatus> FailureOfBox(const std::string& text) {
  // The texts are the acquisition code's own, fixed; each names how a run ends.
  if (StartsWith(text, "COM") && EndsWith(text, " port is busy")) return ExitStatus::PortBusy;
  if (text == "Limit of attempts to send commands on port") return ExitStatus::ConverterGone;
  if (StartsWith(text, "Error to create directory save") || StartsWith(text, "Error to open file"))
    return ExitStatus::FolderNotWritable;
  if (StartsWith(text, "Error writing to file")) return ExitStatus::WriteFailed;
  if (StartsWith(text, "Error to create the Windows event")) return ExitStatus::Failed;
  return std::nullopt;
}

ErrorLineBoxes::ErrorLineBoxes(std::ostream& err, std::string port) : err_(err), port_(std::move(port)) {}

void ErrorLineBoxes::WriteLocked(const std::string& line) {
  // "COM7 port is busy" names its port already.
  const bool named = !port_.empty() && line.rfind(port_ + " ", 0) == 0;
  err_ << "quarn-record: " << (named || port_.empty() ? "" : port_ + ": ") << line << std::endl;
}

base::BoxAnswer ErrorLineBoxes::Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) {
  Post(kind, text);
  return buttons == base::BoxButtons::YesNo ? base::BoxAnswer::No : base::BoxAnswer::Ok;
}

void ErrorLineBoxes::Post(base::BoxKind kind, const std::string& text) {
  if (const std::optional<ExitStatus> status = FailureOfBox(text)) {
    std::string line = OneLine(text);
    if (*status == ExitStatus::ConverterGone) line += " (ten sends in a row failed: was the converter pulled out?)";
    Fail(*status, line);
    return;
  }
  std::lock_guard lock(mutex_);
  if (failure_) return;
  WriteLocked((kind == base::BoxKind::Warning ? "warning: " : "") + OneLine(text));
}

std::optional<ExitStatus> ErrorLineBoxes::Failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

void ErrorLineBoxes::Fail(ExitStatus status, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (failure_) return;
  failure_ = status;
  WriteLocked(text);
}

void ErrorLineBoxes::Print(const std::string& line) {
  std::lock_guard lock(mutex_);
  WriteLocked(line);
}

}  // namespace quarn::recorder
