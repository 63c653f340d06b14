#pragma once

#include <array>

namespace quarn::ui {

// The nine toolbar buttons of the main window, in toolbar order.
enum class Button { Search, CheckSensor, Clear, Start, Stop, Calibrate, Console, Save, Send };
inline constexpr int kButtonCount = 9;

// The moments that set the toolbar; each one is a column of the button table.
enum class ToolbarColumn { ProgramStart, CheckSuccess, CheckFailure, SearchOk, SearchCancelled, Start, Stop, Clear };

enum class ButtonState { Off, On, Same };

// The state each button takes at the given moment, indexed by Button.
std::array<ButtonState, kButtonCount> ToolbarStates(ToolbarColumn column);

}  // namespace quarn::ui
