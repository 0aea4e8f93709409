// wnVirtualAlloc on POSIX: anonymous private mappings (zero-filled, page
// aligned). The sizes are remembered for munmap.
#include <sys/mman.h>

#include <map>
#include <mutex>

#include "platform/WnMemory.h"

namespace {
std::mutex& mapsLock() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::map<void*, size_t>& maps() {
  static auto* m = new std::map<void*, size_t>;
  return *m;
}
}  // namespace

void* wnVirtualAlloc(size_t size) {
  if (size == 0) return nullptr;
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  std::lock_guard<std::mutex> lk(mapsLock());
  maps()[p] = size;
  return p;
}

void wnVirtualFree(void* p) {
  if (!p) return;
  size_t size = 0;
  {
    std::lock_guard<std::mutex> lk(mapsLock());
    auto it = maps().find(p);
    if (it == maps().end()) return;
    size = it->second;
    maps().erase(it);
  }
  munmap(p, size);
}
