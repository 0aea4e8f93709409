// The seam between a driver channel (DravikApiContext) and whatever carries
// its requests: the Win32 device path (DeviceIoControl), the simulated driver
// in this process, or a simulated driver in another process (DravikPipeTransport.h).
//
// A DravikTransport is one open handle to the driver. It is used under the
// owning channel's lock, so implementations need not serialise requests of
// one handle themselves; requests of different handles may run in parallel.
// Destroying it closes the handle (the driver then drops what the handle
// registered).
//
// A DravikTransportFactory opens handles. The process-wide factory is the
// Win32 device path by default (on POSIX, where there is no device, the
// default factory fails every open with WN_ERROR_FILE_NOT_FOUND), or the
// simulated driver's pipe when an administrator opted in to it
// (DravikOptInTransportFactory); tests and tools install another one with
// dravikSetTransportFactory.
//
//   std::unique_ptr<DravikTransport> t;
//   if (DravikStatus s = dravikTransportFactory().open(u"\\\\.\\{...}", ioEvent, t)) return s;
//   t->ioControl(IOCTL_DRAVIK_GET_DRIVER_INFO, nullptr, 0, &info, sizeof info, &bytes);
#pragma once

#include <cstdint>
#include <memory>

#include "driverapi/DravikStatus.h"
#include "platform/WnTypes.h"

class DravikTransport {
public:
  virtual ~DravikTransport() = default;
  // Sends one request and blocks until it completes. Returns the driver's
  // completion code unchanged (0 on success) and stores the byte count in
  // *bytesReturned when given (also on failure). in/out may be null with size 0.
  virtual DravikStatus ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                                 uint32_t* bytesReturned) = 0;
};

class DravikTransportFactory {
public:
  virtual ~DravikTransportFactory() = default;
  // Opens the device at path ("\\.\" + name). ioEvent is the channel's
  // manual-reset event for overlapped completion (used by the device path).
  // On failure returns the operating-system error code and leaves out empty.
  virtual DravikStatus open(const char16_t* path, WnRawHandle ioEvent, std::unique_ptr<DravikTransport>& out) = 0;
};

// The factory used by every channel that opens from now on. Null restores
// the default. The factory must outlive the channels it opened.
void dravikSetTransportFactory(DravikTransportFactory* factory);
DravikTransportFactory& dravikTransportFactory();
