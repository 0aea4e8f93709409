#include "driverapi/DravikDeviceTransport.h"

#include <new>

DravikStatus DravikDeviceTransport::ioControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                                              uint32_t outSize, uint32_t* bytesReturned) {
  return file_.ioControl(code, in, inSize, out, outSize, bytesReturned, ioEvent_);
}

DravikStatus DravikDeviceTransportFactory::open(const char16_t* path, WnRawHandle ioEvent,
                                                std::unique_ptr<DravikTransport>& out) {
  out.reset();
  std::unique_ptr<DravikDeviceTransport> transport(new (std::nothrow) DravikDeviceTransport(ioEvent));
  if (!transport) return WN_ERROR_NOT_ENOUGH_MEMORY;
  if (uint32_t err = transport->open(path)) return err;
  out = std::move(transport);
  return DRAVIK_STATUS_SUCCESS;
}
