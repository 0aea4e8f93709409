// SimInProcessTransport and SimInProcessTransportFactory: the driver-channel
// seam (DravikTransport) served by a SimDriver in this process. A program's
// channels reach the simulator exactly as they would reach the kernel
// driver: installed with dravikSetTransportFactory, the factory opens
// "\\.\{4033B9FA-A338-489F-8F9D-10A89289268B}" (compared without regard to
// case, as Windows does) as a new handle of the simulator with an in-process
// peer; any other path fails with WN_ERROR_FILE_NOT_FOUND. Destroying a
// transport closes its handle.
//
// Lifetime: the driver outlives the factory and every transport; the factory
// outlives the channels it opened. Threading: open may be called from any
// thread; a transport is used by its channel's owner, one request at a time.
//
//   SimDriver driver;
//   SimInProcessTransportFactory factory(driver);
//   dravikSetTransportFactory(&factory);
//   ... DravikDriver / DravikClient objects now talk to the simulator ...
//   dravikSetTransportFactory(nullptr);
#pragma once

#include <atomic>

#include "driverapi/DravikTransport.h"
#include "simdriver/SimDriver.h"

class SimInProcessTransport : public DravikTransport {
public:
  SimInProcessTransport(SimDriver& driver, SimHandleId handle) : driver_(driver), handle_(handle) {}
  ~SimInProcessTransport() override;
  SimInProcessTransport(const SimInProcessTransport&) = delete;
  SimInProcessTransport& operator=(const SimInProcessTransport&) = delete;

  DravikStatus ioControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                         uint32_t* bytesReturned) override;
  SimHandleId handle() const { return handle_; }

private:
  SimDriver& driver_;
  SimHandleId handle_;
};

class SimInProcessTransportFactory : public DravikTransportFactory {
public:
  explicit SimInProcessTransportFactory(SimDriver& driver) : driver_(driver) {}

  DravikStatus open(const char16_t* path, WnRawHandle ioEvent, std::unique_ptr<DravikTransport>& out) override;
  // The handle of the last successful open (SIM_NO_HANDLE before).
  SimHandleId lastHandle() const { return lastHandle_.load(); }
  // How many opens succeeded.
  uint32_t openCount() const { return opens_.load(); }

private:
  SimDriver& driver_;
  std::atomic<SimHandleId> lastHandle_{SIM_NO_HANDLE};
  std::atomic<uint32_t> opens_{0};
};
