#include "Calibration.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "base/Timing.h"
#include "link/Protocol.h"

namespace quarn::calibration {

namespace {

constexpr int kFramePollTries = 3;
constexpr int kRetryPauseMs = 100;
// A value ReadPort never stores (it keeps digits only), so an entry that still holds it after a read
// was not carried by the frame.
constexpr int32_t kNotCarried = -1;

constexpr const char* kWriteFailed = "Not successful write to the port";

// The port of one step, closed on every way out of it.
class StepPort {
 public:
  ~StepPort() {
    if (port_) port_->Close();
  }
  // False (after the box, its text in outcome) when the port cannot be opened.
  bool Open(const std::string& com, base::MessageBoxes& boxes, std::string& outcome) {
    try {
      port_ = link::OpenPort("COM" + com, link::kEventRxFlag);
      // A frame still on its way from a run would be read as the reply to this step's request.
      if (!link::QuietLine(port_)) boxes.Post(base::BoxKind::Warning, link::kLineNotQuiet);
      return true;
    } catch (const link::PortError&) {
      outcome = "Not successful open COM port" + com;
      boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, outcome);
      return false;
    }
  }
  const link::PortHandle& Handle() const { return port_; }

 private:
  link::PortHandle port_;
};

// Shows a box that ends a step and keeps its text for the log.
void EndWith(base::MessageBoxes& boxes, base::BoxKind kind, const std::string& text, StepRecord& record) {
  record.outcome = text;
  boxes.Show(kind, base::BoxButtons::Ok, text);
}

bool Write(const link::PortHandle& port, const std::string& command, base::MessageBoxes& boxes, StepRecord& record) {
  try {
    link::WritePort(port, command);
    return true;
  } catch (const link::PortError&) {
    EndWith(boxes, base::BoxKind::Error, kWriteFailed, record);
    return false;
  }
}

// The reply to ZERO2 or CALB: waited for, then dropped whatever it was.
void ReadAndIgnoreReply(const link::PortHandle& port) {
  FrameValues ignored{};
  try {
    link::ReadPort(port, ignored);
  } catch (const link::PortError&) {
  }
}

// The field's value from a fresh frame, or nothing after the box of three failed tries.
std::optional<int32_t> PollField(const link::PortHandle& port, int field, base::MessageBoxes& boxes,
                                 StepRecord& record) {
  FrameValues values{};
  if (!FramePoll(port, field, values)) {
    EndWith(boxes, base::BoxKind::Error, kWriteFailed, record);
    return std::nullopt;
  }
  return values[field - 1];
}

// What StrToInt accepts: an optional sign and decimal digits, nothing else.
std::optional<int> Concentration(const std::string& text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  int value = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (begin == end || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::string SpanFailureText(int32_t reading) {
  // Two zero-width spaces (U+200B) stand between "values " and "and", as in the text the users know.
  return "CALIBRATION FAILED (C2=" + std::to_string(reading) +
         ")\n\rCheck the calibration values \u200B\u200Band repeat the calibration";
}

}  // namespace

int SpanTolerance(int concentration) {
  // nearbyint rounds halves to the even neighbour in the default rounding mode.
  const int tolerance = static_cast<int>(std::nearbyint(concentration / 50.0));
  return tolerance < 10 ? 10 : tolerance;
}

bool FramePoll(const link::PortHandle& port, int field, FrameValues& values) {
  for (int attempt = 0; attempt < kFramePollTries; ++attempt) {
    if (attempt > 0) base::Pause(kRetryPauseMs);
    values.fill(kNotCarried);
    try {
      link::WritePort(port, link::BuildRequest(link::kAddress, "F"));
      link::ReadPort(port, values);
    } catch (const link::PortError&) {
      continue;
    }
    if (values[field - 1] != kNotCarried) return true;
  }
  return false;
}

std::optional<int32_t> ReadConcentration(const std::string& com) {
  link::PortHandle port;
  try {
    port = link::OpenPort("COM" + com, link::kEventRxFlag);
  } catch (const link::PortError&) {
    return std::nullopt;
  }
  FrameValues values;
  values.fill(kNotCarried);
  std::optional<int32_t> reading;
  try {
    link::WritePort(port, link::BuildRequest(link::kAddress, "F"));
    link::ReadPort(port, values);
    if (values[kSpanField - 1] != kNotCarried) reading = values[kSpanField - 1];
  } catch (const link::PortError&) {
  }
  port->Close();
  return reading;
}

StepRecord ZeroStep(const std::string& com, CalibrationView& view, base::MessageBoxes& boxes) {
  StepRecord record;
  record.step = "zero";
  record.tolerance = std::to_string(kZeroLow) + "-" + std::to_string(kZeroHigh);
  StepPort port;
  if (!port.Open(com, boxes, record.outcome)) return record;
  if (!Write(port.Handle(), "#00ZERO2", boxes, record)) return record;
  ReadAndIgnoreReply(port.Handle());

  const std::optional<int32_t> zero = PollField(port.Handle(), kZeroField, boxes, record);
  if (!zero) return record;
  record.readings.push_back(*zero);
  if (*zero >= kZeroLow && *zero <= kZeroHigh) {
    EndWith(boxes, base::BoxKind::Information, "Operation setting to Zero, successfully completed!", record);
    view.EnableNext();
  } else {
    view.SetNextCaption(kFinishCaption);
    EndWith(boxes, base::BoxKind::Error, "ZERO FAILED! Please send log file to manufacture!", record);
  }
  return record;
}

std::optional<StepRecord> SpanStep(const std::string& com, const std::string& concentrationText, CalibrationView& view,
                                   base::MessageBoxes& boxes) {
  if (concentrationText.empty()) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Input the concentration!");
    return std::nullopt;
  }
  StepRecord record;
  record.step = "span";
  record.concentration = concentrationText;
  StepPort port;
  if (!port.Open(com, boxes, record.outcome)) return record;
  const std::optional<int> concentration = Concentration(concentrationText);
  if (!concentration) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Error conversion in the number");
    return std::nullopt;
  }
  const int c = *concentration;
  const std::string command = "#00CALB " + link::SpanArgument(c);
  const int tolerance = SpanTolerance(c);
  record.tolerance =
      "±" + std::to_string(tolerance) + " (readings 2-3), ±" + std::to_string(kFinalSpanTolerance) + " (reading 4)";

  std::string progress = "Processing.. ";
  view.ShowProgress(progress);
  if (!Write(port.Handle(), command, boxes, record)) return record;
  ReadAndIgnoreReply(port.Handle());

  for (int r = 1; r <= 3; ++r) {
    const std::optional<int32_t> reading = PollField(port.Handle(), kSpanField, boxes, record);
    if (!reading) return record;
    record.readings.push_back(*reading);
    progress += std::to_string(r);
    view.ShowProgress(progress);
    base::Pause(kSpanPauseMs);
  }

  for (int r = 2; r <= 3; ++r) {
    if (std::abs(record.readings[r - 1] - c) > tolerance) {
      EndWith(boxes, base::BoxKind::Error, SpanFailureText(record.readings[r - 1]), record);
      return record;
    }
  }

  if (!Write(port.Handle(), command, boxes, record)) return record;
  const std::optional<int32_t> final = PollField(port.Handle(), kSpanField, boxes, record);
  if (!final) return record;
  record.readings.push_back(*final);
  progress += "4";
  view.ShowProgress(progress);
  if (std::abs(*final - c) > kFinalSpanTolerance) {
    EndWith(boxes, base::BoxKind::Error, "CALIBRATION FAILED! Please try again or send log file to manufacture.",
            record);
    return record;
  }
  EndWith(boxes, base::BoxKind::Information, "CALIBRATION OK", record);
  view.SetNextCaption(kFinishCaption);
  return record;
}

}  // namespace quarn::calibration
