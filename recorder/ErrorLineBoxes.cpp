#include "ErrorLineBoxes.h"

namespace quarn::recorder {

ExitStatus ExitStatusOf(acquisition::RunFailure failure) {
  switch (failure) {
    case acquisition::RunFailure::PortBusy: return ExitStatus::PortBusy;
    case acquisition::RunFailure::ConverterGone: return ExitStatus::ConverterGone;
    case acquisition::RunFailure::FolderNotWritable: return ExitStatus::FolderNotWritable;
    case acquisition::RunFailure::WriteFailed: return ExitStatus::WriteFailed;
    case acquisition::RunFailure::NoWakeEvent: break;
  }
  return ExitStatus::Failed;
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

void ErrorLineBoxes::Failed(acquisition::RunFailure failure, const std::string& boxText) {
  std::string line = OneLine(boxText);
  if (failure == acquisition::RunFailure::ConverterGone)
    line += " (ten sends in a row failed: was the converter pulled out?)";
  Fail(ExitStatusOf(failure), line);
}

void ErrorLineBoxes::Post(base::BoxKind kind, const std::string& text) {
  // The box of a failure follows its Failed call, and so is dropped here.
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
