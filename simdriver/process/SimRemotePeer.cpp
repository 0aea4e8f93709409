#include "simdriver/process/SimRemotePeer.h"

#include <new>

#include "platform/WnWait.h"

namespace {

// The driver's duplicate of a client's event.
class RemoteSignal : public SimSignal {
public:
  explicit RemoteSignal(WnRawHandle handle) : handle_(handle) {}
  ~RemoteSignal() override { wnCloseHandle(handle_); }
  RemoteSignal(const RemoteSignal&) = delete;
  RemoteSignal& operator=(const RemoteSignal&) = delete;
  void signal() override { wnSetEvent(handle_); }

private:
  WnRawHandle handle_;
};

}  // namespace

DravikStatus SimRemotePeer::adoptEvent(uint64_t handleValue, std::unique_ptr<SimSignal>& out) {
  out.reset();
  WnRawHandle copy = nullptr;
  if (uint32_t err = process_.duplicateEvent(handleValue, &copy)) return err;
  out.reset(new (std::nothrow) RemoteSignal(copy));
  if (!out) {
    wnCloseHandle(copy);
    return WN_ERROR_NOT_ENOUGH_MEMORY;
  }
  return 0;
}

bool SimRemotePeer::readMemory(uint64_t address, void* buffer, size_t size) {
  return process_.readMemory(address, buffer, size) == 0;
}

bool SimRemotePeer::writeMemory(uint64_t address, const void* data, size_t size) {
  return process_.writeMemory(address, data, size) == 0;
}

bool SimRemotePeer::readWord(uint64_t address, uint32_t& value) {
  if (address % 4 != 0) return false;
  uint32_t v = 0;
  if (process_.readMemory(address, &v, sizeof v) != 0) return false;
  value = v;
  return true;
}

bool SimRemotePeer::writeWord(uint64_t address, uint32_t value) {
  if (address % 4 != 0) return false;
  return process_.writeMemory(address, &value, sizeof value) == 0;
}
