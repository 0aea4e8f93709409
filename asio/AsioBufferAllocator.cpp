#include "asio/AsioBufferAllocator.h"

#include "platform/WnMemory.h"

namespace {

class VirtualMemoryAllocator : public AsioBufferAllocator {
public:
  void* allocate(size_t bytes) override { return wnVirtualAlloc(bytes); }
  void release(void* block, size_t) override { wnVirtualFree(block); }
};

VirtualMemoryAllocator g_default;
AsioBufferAllocator* g_allocator = nullptr;

}  // namespace

AsioBufferAllocator& asioBufferAllocator() { return g_allocator ? *g_allocator : g_default; }

void asioSetBufferAllocator(AsioBufferAllocator* allocator) { g_allocator = allocator; }
