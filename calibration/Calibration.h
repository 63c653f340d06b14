#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/MessageBoxes.h"
#include "link/Protocol.h"
#include "link/SerialLink.h"

namespace quarn::calibration {

// Field 7 (par7) of a frame after a good zero lies in this range, both ends included.
inline constexpr int kZeroLow = 9990;
inline constexpr int kZeroHigh = 10010;
// Reading 4 may differ from the span gas concentration by at most this much.
inline constexpr int kFinalSpanTolerance = 5;
inline constexpr int kSpanPauseMs = 5000;

// Frame field numbers (1-based) that the steps judge.
inline constexpr int kZeroField = 7;  // par7
inline constexpr int kSpanField = 9;  // C2

inline constexpr const char* kFinishCaption = "< Finish >";

using FrameValues = std::array<int32_t, link::kFrameFields>;

// What the steps need of the wizard window.
class CalibrationView {
 public:
  virtual ~CalibrationView() = default;
  // A zero step succeeded.
  virtual void EnableNext() = 0;
  virtual void SetNextCaption(const std::string& caption) = 0;
  // Shows the progress text and paints it at once: the step blocks the window right after.
  virtual void ShowProgress(const std::string& text) = 0;
};

// What one zero or span step did, as the calibration log keeps it.
struct StepRecord {
  std::string step;               // "zero" or "span"
  std::string concentration;      // the span concentration as entered; empty for zero
  std::vector<int32_t> readings;  // par7 for zero; readings 1 to 4 for span, as far as the step came
  std::string tolerance;          // the tolerance applied, as text
  std::string outcome;            // the text of the box that ended the step
};

// Tolerance for readings 2 and 3: the concentration / 50, halves to the even neighbour, at least 10.
int SpanTolerance(int concentration);

// Up to three tries of "#00F" and its frame, 100 ms apart. A try fails when the write or the read
// raises or when the frame is too short to carry the field. True with the frame's values on success.
bool FramePoll(const link::PortHandle& port, int field, FrameValues& values);

// One concentration reading between steps: opens port "COM" + com, sends "#00F", reads one frame and closes
// the port. Nothing when the port cannot be opened or no frame with the concentration came.
std::optional<int32_t> ReadConcentration(const std::string& com);

// The zero step on port "COM" + com: ZERO2, its reply read and ignored, then field 7 of a fresh frame.
// Shows its own boxes; the port is closed on every way out. Returns what it did.
StepRecord ZeroStep(const std::string& com, CalibrationView& view, base::MessageBoxes& boxes);

// The span step for the typed concentration: CALB, three readings 5 s apart, CALB again, reading 4.
// Shows its own boxes; the port is closed on every way out. Returns what it did; nothing when the
// concentration was missing or no number, so that no step was taken.
std::optional<StepRecord> SpanStep(const std::string& com, const std::string& concentrationText, CalibrationView& view,
                                   base::MessageBoxes& boxes);

}  // namespace quarn::calibration
