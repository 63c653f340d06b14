#pragma once

#include <cstdlib>

namespace quarn::base {

// A fuzz target's assertion: a broken promise ends the run, so that libFuzzer keeps the input.
inline void FuzzCheck(bool condition) {
  if (!condition) std::abort();
}

}  // namespace quarn::base
