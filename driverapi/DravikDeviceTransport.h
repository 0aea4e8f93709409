// DravikDeviceTransport: the transport of the real driver. It wraps a
// WnDeviceFile (the device object opened for overlapped I/O) and the
// channel's completion event; DravikDeviceTransportFactory opens it and is
// the process-wide default factory (DravikTransport.h).
//
// Lifetime: owned by the channel that opened it; closes the handle when
// destroyed. The completion event belongs to the channel and outlives it.
// Threading: used under the owning channel's lock, one request at a time.
//
//   DravikDeviceTransportFactory factory;
//   std::unique_ptr<DravikTransport> t;
//   factory.open(u"\\\\.\\{4033B9FA-A338-489F-8F9D-10A89289268B}", ioEvent, t);
#pragma once

#include <memory>

#include "driverapi/DravikTransport.h"
#include "platform/WnDeviceFile.h"

class DravikDeviceTransport : public DravikTransport {
public:
  explicit DravikDeviceTransport(WnRawHandle ioEvent) : ioEvent_(ioEvent) {}
  // 0 or the operating-system error code of the open.
  uint32_t open(const char16_t* path) { return file_.open(path); }
  DravikStatus ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                         uint32_t* bytesReturned) override;

private:
  WnDeviceFile file_;
  WnRawHandle ioEvent_;
};

class DravikDeviceTransportFactory : public DravikTransportFactory {
public:
  DravikStatus open(const char16_t* path, WnRawHandle ioEvent, std::unique_ptr<DravikTransport>& out) override;
};
