#include "simdriver/SimInProcessTransport.h"

#include <new>

#include "driverapi/DravikIoctl.h"
#include "simdriver/SimInProcessPeer.h"

namespace {

char16_t fold(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool isDriverPath(const char16_t* path) {
  static constexpr char16_t prefix[] = u"\\\\.\\";
  if (!path) return false;
  size_t i = 0;
  for (size_t k = 0; prefix[k]; ++k, ++i)
    if (path[i] != prefix[k]) return false;
  for (size_t k = 0; DRAVIK_DEVICE_NAME[k]; ++k, ++i)
    if (fold(path[i]) != fold(DRAVIK_DEVICE_NAME[k])) return false;
  return path[i] == 0;
}

}  // namespace

SimInProcessTransport::~SimInProcessTransport() { driver_.closeHandle(handle_); }

DravikStatus SimInProcessTransport::ioControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                                              uint32_t outSize, uint32_t* bytesReturned) {
  return driver_.ioControl(handle_, code, in, inSize, out, outSize, bytesReturned);
}

DravikStatus SimInProcessTransportFactory::open(const char16_t* path, WnRawHandle, std::unique_ptr<DravikTransport>& out) {
  out.reset();
  if (!isDriverPath(path)) return WN_ERROR_FILE_NOT_FOUND;
  std::unique_ptr<SimPeer> peer(new (std::nothrow) SimInProcessPeer());
  if (!peer) return WN_ERROR_NOT_ENOUGH_MEMORY;
  const SimHandleId handle = driver_.openHandle(std::move(peer));
  if (handle == SIM_NO_HANDLE) return WN_ERROR_NOT_ENOUGH_MEMORY;
  out.reset(new (std::nothrow) SimInProcessTransport(driver_, handle));
  if (!out) {
    driver_.closeHandle(handle);
    return WN_ERROR_NOT_ENOUGH_MEMORY;
  }
  lastHandle_.store(handle);
  opens_.fetch_add(1);
  return 0;
}
