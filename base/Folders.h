#pragma once

#include <filesystem>

namespace quarn::base {

// The folder of the running program, where criteria.ini, the settings files and commands.ini live.
// Windows: from GetModuleFileNameW; POSIX: from /proc/self/exe. Empty when the system cannot tell.
std::filesystem::path ProgramFolder();

// The user's documents folder, which need not exist yet. Windows: the shell's Documents folder
// (SHGetKnownFolderPath). POSIX: XDG_DOCUMENTS_DIR from user-dirs.dirs in $XDG_CONFIG_HOME (default
// ~/.config), else $HOME/Documents. Empty when the system cannot tell.
std::filesystem::path DocumentsFolder();

}  // namespace quarn::base
