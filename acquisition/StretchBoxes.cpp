#include "StretchBoxes.h"

namespace quarn::acquisition {

base::BoxAnswer StretchBoxes::Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) {
  Post(kind, text);
  return buttons == base::BoxButtons::YesNo ? base::BoxAnswer::No : base::BoxAnswer::Ok;
}

void StretchBoxes::Post(base::BoxKind kind, const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    if (portLost_ && text == keptText_) return;
  }
  boxes_.Post(kind, text);
}

void StretchBoxes::Failed(RunFailure failure, const std::string& boxText) {
  if ((keepPortLoss_ && failure == RunFailure::ConverterGone) || (keepBusy_ && failure == RunFailure::PortBusy)) {
    std::lock_guard lock(mutex_);
    portLost_ = true;
    keptText_ = boxText;
    return;
  }
  if (failures_) failures_->Failed(failure, boxText);
}

bool StretchBoxes::PortLost() const {
  std::lock_guard lock(mutex_);
  return portLost_;
}

std::string StretchBoxes::KeptText() const {
  std::lock_guard lock(mutex_);
  return keptText_;
}

}  // namespace quarn::acquisition
