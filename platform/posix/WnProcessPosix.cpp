// WnProcess on POSIX: the emulated kernel objects exist only inside their
// own process. This process's handles duplicate with wnDuplicateHandle and
// its memory is reached directly (as a pointer: the caller vouches for lent
// memory, as the driver contract says it may). Another process can be
// opened (it must exist), but its handles and memory cannot be reached.
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/WnProcess.h"
#include "platform/WnWait.h"

namespace {

// Tokens that mark "this process is open" / "another process is open".
char selfToken;
char otherToken;

bool toLocal(uint64_t address, size_t size, void*& out) {
  if (address == 0 || address > UINTPTR_MAX) return false;
  const uintptr_t p = static_cast<uintptr_t>(address);
  if (size > UINTPTR_MAX - p) return false;
  out = reinterpret_cast<void*>(p);
  return true;
}

}  // namespace

WnProcess::~WnProcess() { close(); }

void WnProcess::close() {
  handle_ = nullptr;
  processId_ = 0;
}

uint32_t WnProcess::open(uint32_t processId) {
  close();
  if (processId == 0) return WN_ERROR_INVALID_PARAMETER;
  if (processId != static_cast<uint32_t>(::getpid())) {
    if (::kill(static_cast<pid_t>(processId), 0) != 0 && errno != EPERM) return WN_ERROR_INVALID_PARAMETER;
    handle_ = &otherToken;
    processId_ = processId;
    return 0;
  }
  handle_ = &selfToken;
  processId_ = processId;
  return 0;
}

uint32_t WnProcess::start(const char16_t*) {
  close();
  return WN_ERROR_NOT_SUPPORTED;
}

uint32_t WnProcess::duplicateEvent(uint64_t handleValue, WnRawHandle* copy) const {
  if (!copy) return WN_ERROR_INVALID_PARAMETER;
  *copy = nullptr;
  if (!handle_) return WN_ERROR_INVALID_HANDLE;
  if (handle_ != &selfToken) return WN_ERROR_NOT_SUPPORTED;
  if (handleValue == 0 || handleValue > UINTPTR_MAX) return WN_ERROR_INVALID_HANDLE;
  return wnDuplicateHandle(reinterpret_cast<WnRawHandle>(static_cast<uintptr_t>(handleValue)), copy);
}

uint32_t WnProcess::readMemory(uint64_t address, void* buffer, size_t size) const {
  if (!handle_) return WN_ERROR_INVALID_HANDLE;
  if (handle_ != &selfToken) return WN_ERROR_NOT_SUPPORTED;
  if (size == 0) return 0;
  void* p = nullptr;
  if (!buffer || !toLocal(address, size, p)) return WN_ERROR_NOACCESS;
  if (size == 4 && address % 4 == 0) {  // a word the owner may change with interlocked operations
    const uint32_t v = std::atomic_ref<uint32_t>(*static_cast<uint32_t*>(p)).load(std::memory_order_acquire);
    std::memcpy(buffer, &v, 4);
    return 0;
  }
  std::memmove(buffer, p, size);
  return 0;
}

uint32_t WnProcess::writeMemory(uint64_t address, const void* data, size_t size) const {
  if (!handle_) return WN_ERROR_INVALID_HANDLE;
  if (handle_ != &selfToken) return WN_ERROR_NOT_SUPPORTED;
  if (size == 0) return 0;
  void* p = nullptr;
  if (!data || !toLocal(address, size, p)) return WN_ERROR_NOACCESS;
  if (size == 4 && address % 4 == 0) {
    uint32_t v = 0;
    std::memcpy(&v, data, 4);
    std::atomic_ref<uint32_t>(*static_cast<uint32_t*>(p)).store(v, std::memory_order_release);
    return 0;
  }
  std::memmove(p, data, size);
  return 0;
}

uint32_t WnProcess::wait(uint32_t) const { return handle_ ? uint32_t{WN_WAIT_TIMEOUT} : uint32_t{WN_ERROR_INVALID_HANDLE}; }

uint32_t WnProcess::exitCode(uint32_t& code) const {
  code = WN_ERROR_NO_MORE_ITEMS;  // 259, still active
  return handle_ ? 0u : uint32_t{WN_ERROR_INVALID_HANDLE};
}

uint32_t WnProcess::terminate(uint32_t) { return WN_ERROR_NOT_SUPPORTED; }
