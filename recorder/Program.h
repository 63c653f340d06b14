#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "recorder/Recorder.h"

namespace quarn::recorder {

// The whole program after its arguments: parse, identify (or find the serial number), then print the
// identity or record until the run ends. Returns the exit status.
int RunProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, StopRequest& stop);

}  // namespace quarn::recorder
