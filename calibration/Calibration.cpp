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
  // False (after the box) when the port cannot be opened.
  bool Open(const std::string& com, base::MessageBoxes& boxes) {
    try {
      port_ = link::OpenPort("COM" + com, link::kEventRxFlag);
      // A frame still on its way from a run would be read as the reply to this step's request.
      if (!link::QuietLine(port_)) boxes.Post(base::BoxKind::Warning, link::kLineNotQuiet);
      return true;
    } catch (const link::PortError&) {
      boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Not successful open COM port" + com);
      return false;
    }
  }
  const link::PortHandle& Handle() const { return port_; }

 private:
  link::PortHandle port_;
};

bool Write(const link::PortHandle& port, const std::string& command, base::MessageBoxes& boxes) {
  try {
    link::WritePort(port, command);
    return true;
  } catch (const link::PortError&) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, kWriteFailed);
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
std::optional<int32_t> PollField(const link::PortHandle& port, int field, base::MessageBoxes& boxes) {
  FrameValues values{};
  if (!FramePoll(port, field, values)) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, kWriteFailed);
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

void ZeroStep(const std::string& com, CalibrationHost& host, base::MessageBoxes& boxes) {
  StepPort port;
  if (!port.Open(com, boxes)) return;
  if (!Write(port.Handle(), "#00ZERO2", boxes)) return;
  ReadAndIgnoreReply(port.Handle());

  const std::optional<int32_t> zero = PollField(port.Handle(), kZeroField, boxes);
  if (!zero) return;
  if (*zero >= kZeroLow && *zero <= kZeroHigh) {
    boxes.Show(base::BoxKind::Information, base::BoxButtons::Ok, "Operation setting to Zero, successfully completed!");
    host.EnableNext();
  } else {
    host.SetNextCaption(kFinishCaption);
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "ZERO FAILED! Please send log file to manufacture!");
  }
}

void SpanStep(const std::string& com, const std::string& concentrationText, CalibrationHost& host,
              base::MessageBoxes& boxes) {
  if (concentrationText.empty()) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Input the concentration!");
    return;
  }
  StepPort port;
  if (!port.Open(com, boxes)) return;
  const std::optional<int> concentration = Concentration(concentrationText);
  if (!concentration) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "Error conversion in the number");
    return;
  }
  const int c = *concentration;
  const std::string command = "#00CALB " + link::SpanArgument(c);

  std::string progress = "Processing.. ";
  host.ShowProgress(progress);
  if (!Write(port.Handle(), command, boxes)) return;
  ReadAndIgnoreReply(port.Handle());

  int32_t readings[3] = {};
  for (int r = 1; r <= 3; ++r) {
    const std::optional<int32_t> reading = PollField(port.Handle(), kSpanField, boxes);
    if (!reading) return;
    readings[r - 1] = *reading;
    progress += std::to_string(r);
    host.ShowProgress(progress);
    base::Pause(kSpanPauseMs);
  }

  const int tolerance = SpanTolerance(c);
  for (int r = 2; r <= 3; ++r) {
    if (std::abs(readings[r - 1] - c) > tolerance) {
      boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, SpanFailureText(readings[r - 1]));
      return;
    }
  }

  if (!Write(port.Handle(), command, boxes)) return;
  const std::optional<int32_t> final = PollField(port.Handle(), kSpanField, boxes);
  if (!final) return;
  progress += "4";
  host.ShowProgress(progress);
  if (std::abs(*final - c) > kFinalSpanTolerance) {
    boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok,
               "CALIBRATION FAILED! Please try again or send log file to manufacture.");
    return;
  }
  boxes.Show(base::BoxKind::Information, base::BoxButtons::Ok, "CALIBRATION OK");
  host.SetNextCaption(kFinishCaption);
}

}  // namespace quarn::calibration
