#include "Toolbar.h"

namespace quarn::ui {

std::array<ButtonState, kButtonCount> ToolbarStates(ToolbarColumn column) {
  constexpr ButtonState o = ButtonState::On, x = ButtonState::Off, s = ButtonState::Same;
  // Buttons in order: Search, CheckSensor, Clear, Start, Stop, Calibrate, Console, Save, Send.
  switch (column) {
    case ToolbarColumn::ProgramStart: return {o, o, x, x, x, x, x, x, x};
    case ToolbarColumn::CheckSuccess: return {x, x, o, o, x, o, o, x, x};
    case ToolbarColumn::CheckFailure: return {o, o, o, x, x, x, s, x, x};
    case ToolbarColumn::SearchOk: return {x, x, o, o, x, x, o, x, x};
    case ToolbarColumn::SearchCancelled: return {o, o, o, x, x, x, x, x, x};
    case ToolbarColumn::Start: return {x, x, x, x, o, x, x, x, x};
    case ToolbarColumn::Stop: return {x, x, o, o, x, o, o, o, o};
    case ToolbarColumn::Clear: return {o, o, o, x, x, s, s, x, x};
  }
  return {s, s, s, s, s, s, s, s, s};
}

}  // namespace quarn::ui
