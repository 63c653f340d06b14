#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarn::console {

// A list entry that only separates groups of commands; clicking it copies nothing.
inline constexpr std::string_view kSeparator = "--------";

// The command list offered when there is no commands.ini, in its order.
const std::vector<std::string>& BuiltInCommands();

// The entries of a commands.ini file, one per line and verbatim (UTF-8). A byte-order mark selects
// UTF-8 or UTF-16 (either byte order); without one the bytes are Windows-1252. Lines end in CR LF, LF
// or CR; an empty line is an empty entry, while a line break at the very end starts no new entry.
std::vector<std::string> DecodeCommandFile(std::string_view bytes);

}  // namespace quarn::console
