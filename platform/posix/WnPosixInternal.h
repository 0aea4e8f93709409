// Helpers shared by the POSIX backend's files. Not for use outside platform/.
#pragma once

#include <cstdint>

namespace wn::posix {
// The calling thread's id as wnCurrentThreadId reports it (the kernel tid).
uint32_t currentThreadId();
// Sets the value wnLastError returns on the calling thread.
void setLastError(uint32_t err);
}  // namespace wn::posix
