#include "Memory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quarn::base {

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace quarn::base
