#pragma once

#include <string>
#include <vector>

#include "base/Files.h"

namespace quarn::console {

// The entries of the command file at path (UTF-8). Throws base::FileError, whose text names the file and the system's
// reason.
std::vector<std::string> ReadCommandFile(const std::string& path);

// Creates or overwrites the file and writes the lines as they are. A failure part-way leaves what was
// written before it. Throws FileError.
void WriteLines(const std::string& path, const std::vector<std::string>& lines);

}  // namespace quarn::console
