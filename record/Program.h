#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "record/Recorder.h"

namespace quarn::record {

// The whole program after its arguments: parse, identify (or find the serial number), then print the
// identity or record until the run ends. Returns the exit status.
int RunProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, StopRequest& stop);

}  // namespace quarn::record
