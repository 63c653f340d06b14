#pragma once

namespace quarn::base {

// Hands the pages of freed memory back to the system. The C library keeps what a large structure freed, most of
// all what a worker thread allocated in its own arena, for the next allocation; a closed window's records
// would stay resident otherwise.
void ReturnFreedMemory();

}  // namespace quarn::base
