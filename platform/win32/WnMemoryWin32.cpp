// wnVirtualAlloc on Win32: committed read-write pages.
#include <windows.h>

#include "platform/WnMemory.h"

void* wnVirtualAlloc(size_t size) {
  if (size == 0) return nullptr;
  return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void wnVirtualFree(void* p) {
  if (p) VirtualFree(p, 0, MEM_RELEASE);
}
