#pragma once

#include <cstdint>

namespace quarn::link {

// The port's device control block (DCB) as GetCommState filled it, kept whole so that SetCommState writes
// back every setting the program does not own. Plain bytes: the shared headers stay free of <windows.h>.
struct PlatformLineSettings {
  alignas(4) uint8_t dcb[28];
};

}  // namespace quarn::link
