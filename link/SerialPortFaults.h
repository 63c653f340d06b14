#pragma once

#include <string>
#include <system_error>

// For tests only: makes reads or writes of the serial layer fail on demand, so that what the callers do
// with a refused read or write can be shown against a real port. Nothing in the program arms a fault;
// without one, a port works as it always does.
namespace quarn::link::testing {

// The next `count` reads (writes) on the port at devicePath fail with `error` and move no byte. Counts for
// the port that is open there now or is opened there later; arming again replaces what is left.
void FailNextReads(const std::string& devicePath, int count, std::error_code error);
void FailNextWrites(const std::string& devicePath, int count, std::error_code error);

// How many of the armed failures have not happened yet.
int PendingReadFailures(const std::string& devicePath);
int PendingWriteFailures(const std::string& devicePath);

// Forgets every armed failure.
void ClearFaults();

}  // namespace quarn::link::testing

namespace quarn::link::detail {

enum class FaultedOperation { Read, Write };

// The armed failure the next operation on the port at devicePath takes, if any; cheap when none is armed.
std::error_code TakeFault(const std::string& devicePath, FaultedOperation operation);

}  // namespace quarn::link::detail
