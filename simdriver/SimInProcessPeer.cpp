#include "simdriver/SimInProcessPeer.h"

#include <atomic>
#include <cstring>
#include <new>

#include "platform/WnWait.h"

namespace {

// The duplicate of a client's event, owned by the driver.
class InProcessSignal : public SimSignal {
public:
  explicit InProcessSignal(WnRawHandle handle) : handle_(handle) {}
  ~InProcessSignal() override { wnCloseHandle(handle_); }
  InProcessSignal(const InProcessSignal&) = delete;
  InProcessSignal& operator=(const InProcessSignal&) = delete;
  void signal() override { wnSetEvent(handle_); }

private:
  WnRawHandle handle_;
};

bool toPointer(uint64_t address, size_t size, void*& out) {
  if (address == 0 || address > UINTPTR_MAX) return false;
  const uintptr_t p = static_cast<uintptr_t>(address);
  if (size > UINTPTR_MAX - p) return false;
  out = reinterpret_cast<void*>(p);
  return true;
}

bool toWord(uint64_t address, uint32_t*& out) {
  void* p = nullptr;
  if (!toPointer(address, sizeof(uint32_t), p)) return false;
  if (reinterpret_cast<uintptr_t>(p) % alignof(uint32_t) != 0) return false;
  out = static_cast<uint32_t*>(p);
  return true;
}

}  // namespace

DravikStatus SimInProcessPeer::adoptEvent(uint64_t handleValue, std::unique_ptr<SimSignal>& out) {
  out.reset();
  if (handleValue == 0 || handleValue > UINTPTR_MAX) return WN_ERROR_INVALID_HANDLE;
  WnRawHandle source = reinterpret_cast<WnRawHandle>(static_cast<uintptr_t>(handleValue));
  WnRawHandle copy = nullptr;
  if (uint32_t err = wnDuplicateHandle(source, &copy)) return err;
  out.reset(new (std::nothrow) InProcessSignal(copy));
  if (!out) {
    wnCloseHandle(copy);
    return WN_ERROR_NOT_ENOUGH_MEMORY;
  }
  return 0;
}

bool SimInProcessPeer::readMemory(uint64_t address, void* buffer, size_t size) {
  void* p = nullptr;
  if (!toPointer(address, size, p)) return false;
  std::memcpy(buffer, p, size);
  return true;
}

bool SimInProcessPeer::writeMemory(uint64_t address, const void* data, size_t size) {
  void* p = nullptr;
  if (!toPointer(address, size, p)) return false;
  std::memcpy(p, data, size);
  return true;
}

bool SimInProcessPeer::readWord(uint64_t address, uint32_t& value) {
  uint32_t* p = nullptr;
  if (!toWord(address, p)) return false;
  value = std::atomic_ref<uint32_t>(*p).load(std::memory_order_acquire);
  return true;
}

bool SimInProcessPeer::writeWord(uint64_t address, uint32_t value) {
  uint32_t* p = nullptr;
  if (!toWord(address, p)) return false;
  std::atomic_ref<uint32_t>(*p).store(value, std::memory_order_release);
  return true;
}
