#include "simdriver/SimDriver.h"

#include <cstring>
#include <new>
#include <vector>

#include "platform/WnTypes.h"
#include "simdriver/SimCore.h"
#include "simdriver/SimScenario.h"

SimDriver::SimDriver(const SimDriverConfig& config)
    : core_(std::make_unique<SimCore>(config)), scenario_(std::make_unique<SimScenario>(*core_)) {}

SimDriver::~SimDriver() {
  SimDeferred deferred;
  {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->asio.shutdown();
    core_->relay.shutdown();
    deferred = core_->takeDeferred();
  }
  deferred.run();
  std::lock_guard<std::mutex> lock(core_->mutex);
  while (!core_->handles.empty()) core_->closeHandle(core_->handles.begin()->first);
  core_->deferred.interfaceEventCount = 0;
}

SimHandleId SimDriver::openHandle(std::unique_ptr<SimPeer> peer) {
  if (!peer) return SIM_NO_HANDLE;
  try {
    std::lock_guard<std::mutex> lock(core_->mutex);
    const SimHandleId id = core_->nextHandle++;
    const uint32_t cookie = 0x5EED0000u ^ (id * 0x9E3779B1u);
    core_->handles[id] = std::make_unique<SimHandle>(id, cookie, std::move(peer), core_->config.queueCapacity);
    return id;
  } catch (...) {
    return SIM_NO_HANDLE;
  }
}

void SimDriver::closeHandle(SimHandleId handle) {
  SimDeferred deferred;
  {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->closeHandle(handle);
    deferred = core_->takeDeferred();
  }
  deferred.run();
}

DravikStatus SimDriver::ioControl(SimHandleId handle, uint32_t code, const void* in, uint32_t inSize, void* out,
                                  uint32_t outSize, uint32_t* bytesReturned) {
  if (bytesReturned) *bytesReturned = 0;
  if ((!in && inSize) || (!out && outSize)) return WN_ERROR_INVALID_PARAMETER;

  alignas(8) uint8_t answer[kSimMaxAnswer];
  std::memset(answer, 0, sizeof answer);
  uint32_t bytes = 0;
  DravikStatus status = DRAVIK_STATUS_INTERNAL_ERROR;
  SimDeferred deferred;
  try {
    // A private, aligned copy of the input: handlers may read it as records,
    // and the caller's output may be the same buffer.
    std::vector<uint64_t> input;
    const uint8_t* copy = nullptr;
    if (inSize && inSize <= kSimMaxInput) {
      input.resize((inSize + 7) / 8);
      std::memcpy(input.data(), in, inSize);
      copy = reinterpret_cast<const uint8_t*>(input.data());
    }
    std::lock_guard<std::mutex> lock(core_->mutex);
    status = core_->dispatch(handle, code, copy, inSize, answer, outSize, bytes);
    deferred = core_->takeDeferred();
  } catch (const std::bad_alloc&) {
    status = DRAVIK_STATUS_NO_MEMORY;
    bytes = 0;
  } catch (...) {
    status = DRAVIK_STATUS_INTERNAL_ERROR;
    bytes = 0;
  }
  deferred.run();
  if (status != DRAVIK_STATUS_SUCCESS) return status;
  if (bytes > outSize) bytes = outSize;  // cannot happen: the sizes were checked
  if (bytes) std::memcpy(out, answer, bytes);
  if (bytesReturned) *bytesReturned = bytes;
  return status;
}
