#include "FuzzPeer.h"

#include <cstring>
#include <new>

#include "platform/WnTypes.h"

namespace {

class CountingSignal : public SimSignal {
public:
  explicit CountingSignal(std::shared_ptr<std::atomic<uint64_t>> count) : count_(std::move(count)) {}
  void signal() override { count_->fetch_add(1); }

private:
  std::shared_ptr<std::atomic<uint64_t>> count_;
};

}  // namespace

DravikStatus FuzzPeer::adoptEvent(uint64_t handleValue, std::unique_ptr<SimSignal>& out) {
  out.reset();
  if (handleValue == 0 || handleValue > kEvents) return WN_ERROR_INVALID_HANDLE;
  out.reset(new (std::nothrow) CountingSignal(signals_));
  return out ? 0 : WN_ERROR_NOT_ENOUGH_MEMORY;
}

uint8_t* FuzzPeer::at(uint64_t address, size_t size) {
  if (address < kArenaBase) return nullptr;
  const uint64_t offset = address - kArenaBase;
  if (offset > kArenaSize || size > kArenaSize - offset) return nullptr;
  return arena_.data() + offset;
}

bool FuzzPeer::readMemory(uint64_t address, void* buffer, size_t size) {
  uint8_t* p = at(address, size);
  if (!p) return false;
  if (size) std::memcpy(buffer, p, size);
  return true;
}

bool FuzzPeer::writeMemory(uint64_t address, const void* data, size_t size) {
  uint8_t* p = at(address, size);
  if (!p) return false;
  if (size) std::memcpy(p, data, size);
  return true;
}

bool FuzzPeer::readWord(uint64_t address, uint32_t& value) {
  if (address % 4) return false;
  return readMemory(address, &value, 4);
}

bool FuzzPeer::writeWord(uint64_t address, uint32_t value) {
  if (address % 4) return false;
  return writeMemory(address, &value, 4);
}
