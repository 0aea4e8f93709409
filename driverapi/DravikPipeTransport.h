// DravikPipeTransport: a driver channel's handle carried over a pipe to a
// simulated driver in another process (the frames are in DravikPipeFrame.h).
// One transport is one pipe connection and one open handle of that driver;
// closing it (destruction) closes the handle, and so does the end of the
// process that held it.
//
// DravikPipeTransportFactory opens such transports for the driver's device
// path ("\\.\{4033B9FA-A338-489F-8F9D-10A89289268B}", without regard to
// case); any other path fails with WN_ERROR_FILE_NOT_FOUND, as a device
// nobody serves would. DravikOptInTransportFactory is the process-wide
// default (DravikTransport.h): the pipe of the administrator's opt-in
// (WnSimulatedDriver.h) for the driver's path when the opt-in is set, the
// real device (DravikDeviceTransportFactory) for everything else.
//
// Errors: a simulator that is not there: WN_ERROR_FILE_NOT_FOUND at open; a
// hello refused: the simulator's status. Requests: the driver's status
// unchanged; inputs or outputs above DRAVIK_PIPE_MAX_DATA, or a null buffer
// with a size: WN_ERROR_INVALID_PARAMETER without sending; a connection that
// broke (or sent a malformed reply, which ends it): WN_ERROR_BROKEN_PIPE for
// this and every later request.
//
// Lifetime: the transport belongs to its channel. Threading: used under the
// channel's lock, one request at a time; the factories may open from any
// thread.
//
//   DravikPipeTransportFactory factory(u"\\\\.\\pipe\\tovix8sim");
//   dravikSetTransportFactory(&factory);
//   DravikDriver driver;
//   driver.connect(DRAVIK_DEVICE_NAME);   // one pipe connection
#pragma once

#include <memory>

#include "driverapi/DravikDeviceTransport.h"
#include "driverapi/DravikTransport.h"
#include "platform/WnPipe.h"

// How long an open waits while every pipe instance is busy.
constexpr uint32_t DRAVIK_PIPE_CONNECT_TIMEOUT_MS = 10000;

// True for "\\.\" + the driver's device name, ignoring case.
bool dravikIsDriverDevicePath(const char16_t* path);

class DravikPipeTransport : public DravikTransport {
public:
  DravikPipeTransport() = default;
  // Connects and exchanges the hello; 0 or the failure (closed then).
  DravikStatus open(const char16_t* pipeName, uint32_t timeoutMs = DRAVIK_PIPE_CONNECT_TIMEOUT_MS);
  DravikStatus ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                         uint32_t* bytesReturned) override;
  bool isBroken() const { return broken_; }

private:
  DravikStatus fail();

  WnPipe pipe_;
  bool broken_ = true;  // until open succeeds
};

class DravikPipeTransportFactory : public DravikTransportFactory {
public:
  // pipeName: a pipe path or bare name (kept; cut to WN_PIPE_NAME_CHARS).
  explicit DravikPipeTransportFactory(const char16_t* pipeName);
  DravikStatus open(const char16_t* path, WnRawHandle ioEvent, std::unique_ptr<DravikTransport>& out) override;

private:
  char16_t pipe_[WN_PIPE_NAME_CHARS] = {};
};

class DravikOptInTransportFactory : public DravikTransportFactory {
public:
  // Reads the opt-in at every open, so a change applies to the next channel.
  DravikStatus open(const char16_t* path, WnRawHandle ioEvent, std::unique_ptr<DravikTransport>& out) override;

private:
  DravikDeviceTransportFactory device_;
};
