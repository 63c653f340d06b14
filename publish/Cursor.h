#pragma once

#include <cstdint>
#include <string>

namespace quarn::publish {

// "<datafile>.published": how many of the data file's records (counted from its first, over all its runs)
// the broker has acknowledged without a gap.
std::string CursorPath(const std::string& dataFile);

// The number the cursor file holds; 0 when it is missing or damaged (anything but digits and a line end), so
// that a lost cursor means records published again, never skipped.
uint64_t ReadCursor(const std::string& cursorFile);

// Replaces the cursor file with value: a temporary file written and synced, then renamed over it, so that a
// crash leaves the old number or the new one. False, with why, when that failed.
bool WriteCursor(const std::string& cursorFile, uint64_t value, std::string& why);

}  // namespace quarn::publish
