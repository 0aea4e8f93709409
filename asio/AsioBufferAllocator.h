// AsioBufferAllocator: where the driver object takes the memory it lends to
// the kernel driver (channel buffers and the switch block): page-granular
// committed memory, zero-filled. The default is wnVirtualAlloc /
// wnVirtualFree; tests install one that records or refuses allocations.
//
// Lifetime: an installed allocator must outlive every block it handed out.
// Threading: called from the host's threads (createBuffers, disposeBuffers,
// rate changes), never from the streaming thread.
//
//   void* block = asioBufferAllocator().allocate(2048);
//   asioBufferAllocator().release(block, 2048);
#pragma once

#include <cstddef>

class AsioBufferAllocator {
public:
  virtual ~AsioBufferAllocator() = default;
  // Null on failure.
  virtual void* allocate(size_t bytes) = 0;
  virtual void release(void* block, size_t bytes) = 0;
};

AsioBufferAllocator& asioBufferAllocator();
// Null restores the default.
void asioSetBufferAllocator(AsioBufferAllocator* allocator);
