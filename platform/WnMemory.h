// Page-granular committed read-write memory (VirtualAlloc on Win32, mmap on
// POSIX), zero-filled. Used for buffers shared with the driver.
#pragma once

#include <cstddef>

void* wnVirtualAlloc(size_t size);
void wnVirtualFree(void* p);
