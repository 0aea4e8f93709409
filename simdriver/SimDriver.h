// SimDriver: the simulated kernel driver, in process. It answers every
// request of the driver's I/O control protocol with the contract's sizes,
// records and statuses, relays messages between the handles opened on it,
// raises the driver's own notifications, streams ASIO buffer switches into
// buffers that clients lend it, and lets tests steer all of it through
// SimScenario.
//
// Lifetime: the driver outlives every handle and transport opened on it; its
// destructor stops the clock and delivery threads, then closes what is still
// open. Threading: every entry point may be called from any thread; one lock
// guards the whole driver and no request blocks inside it. Events of clients
// are signalled under that lock (that never blocks); threads that end are
// joined, and platform device-interface events raised, after it is released.
// No input, however malformed, makes it crash or write outside the caller's
// buffers.
//
//   SimDriver driver;                              // one device "Tovix8"
//   SimHandleId h = driver.openHandle(std::make_unique<SimInProcessPeer>());
//   DravikDriverInfo info{};
//   uint32_t bytes = 0;
//   driver.ioControl(h, IOCTL_DRAVIK_GET_DRIVER_INFO, nullptr, 0, &info, sizeof info, &bytes);
//   driver.scenario().unplugDevice(u"T8-0001");
//   driver.closeHandle(h);
#pragma once

#include <memory>

#include "simdriver/SimPeer.h"
#include "simdriver/SimTypes.h"

class SimCore;
class SimScenario;

class SimDriver {
public:
  explicit SimDriver(const SimDriverConfig& config = SimDriverConfig());
  ~SimDriver();
  SimDriver(const SimDriver&) = delete;
  SimDriver& operator=(const SimDriver&) = delete;

  // Opens a handle whose client is reached through peer. SIM_NO_HANDLE when
  // it cannot be created (no memory).
  SimHandleId openHandle(std::unique_ptr<SimPeer> peer);
  // Closes a handle: its registration, queues, events, ASIO channels and
  // switch control go, and so does the activity it stood for. Unknown
  // handles are ignored.
  void closeHandle(SimHandleId handle);

  // One request. Returns 0 or the driver's status (an unknown handle:
  // WN_ERROR_INVALID_HANDLE; a null buffer with a non-zero size:
  // WN_ERROR_INVALID_PARAMETER). The answer is copied to out only on
  // success; *bytesReturned (when given) is its length, 0 on failure. in and
  // out may be the same buffer.
  DravikStatus ioControl(SimHandleId handle, uint32_t code, const void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* bytesReturned);

  // The test's controls and readback.
  SimScenario& scenario() { return *scenario_; }

private:
  std::unique_ptr<SimCore> core_;
  std::unique_ptr<SimScenario> scenario_;
};
