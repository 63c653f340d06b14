#pragma once

namespace quarn::ui {

// What the program sets on the application before its first window. No display name: on Linux desktops
// Qt would append it to every window's title.
void SetUpApplication();

}  // namespace quarn::ui
