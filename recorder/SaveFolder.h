#pragma once

#include <string>

namespace quarn::recorder {

// The user's documents folder as the desktop names it: XDG_DOCUMENTS_DIR in
// $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config), otherwise $HOME/Documents; empty when HOME is unset,
// relative or the root.
std::string DocumentsFolder();

// The window's save folder: documents folder + /Quarn/Save/, ending in the separator; empty without one.
std::string DefaultSaveFolder();

// folder with exactly one trailing separator.
std::string WithSeparator(std::string folder);

}  // namespace quarn::recorder
