#pragma once

#include <array>
#include <filesystem>
#include <functional>

#include "base/Files.h"

namespace quarn::base {

// The folder of the running program, where criteria.ini, the settings files and commands.ini live.
// Windows: from GetModuleFileNameW; POSIX: from /proc/self/exe. Empty when the system cannot tell.
std::filesystem::path ProgramFolder();

// The user's documents folder, which need not exist yet. Windows: the shell's Documents folder
// (SHGetKnownFolderPath). POSIX: XDG_DOCUMENTS_DIR from user-dirs.dirs in $XDG_CONFIG_HOME (default
// ~/.config), else $HOME/Documents. Empty when the system cannot tell.
std::filesystem::path DocumentsFolder();

// The files the program reads and writes beside itself.
inline constexpr std::array<const char*, 4> kOwnFileNames = {"criteria.ini", "commands.ini", "setting2.bin",
                                                             "setting3.bin"};

// What an installation shares read-only beside its programs: <prefix>/share/quarn-eval for a program in
// <prefix>/bin (the default files and the manual). The build tree has the same shape.
std::filesystem::path SharedDataFolder(const std::filesystem::path& programFolder);

// The user's own folder for the program's files: $XDG_DATA_HOME/quarn-eval, else
// $HOME/.local/share/quarn-eval; on Windows %LOCALAPPDATA%\quarn-eval. Empty when the system cannot tell.
std::filesystem::path UserDataFolder();

// Where the program keeps the files of kOwnFileNames. A program folder that holds criteria.ini and takes new
// files keeps them itself (the build tree, an unpacked folder). Otherwise (an installation under /usr) they
// live in userFolder, which is created and given each default file it lacks, from the program folder when
// that holds criteria.ini, else from SharedDataFolder. A file the user already has is never replaced, so an
// upgrade with other defaults keeps the user's settings. When userFolder cannot be made, the defaults are
// used where they lie (read-only); with no defaults at all, the program folder as it is. takesNewFiles tells
// whether a folder is writable (tests, which run as root, stand in a refusal there).
std::filesystem::path OwnFilesFolder(
    const std::filesystem::path& programFolder, const std::filesystem::path& userFolder,
    const std::function<bool(const std::filesystem::path&)>& takesNewFiles = FolderTakesNewFiles);

}  // namespace quarn::base
