// SimFaultInjector: the table of requests the scenario wants to fail. A
// fault names a request code, optionally one handle, the status to answer
// and how often (once, N times or SIM_FAULT_ALWAYS). A request that meets a
// fault is answered with its status and has no other effect.
//
// Faults apply only to well-formed requests (after the size and binding
// checks), so a fault meant for the next real request is not used up by a
// malformed one. Lifetime: owned by the driver. Threading: guarded by the
// driver's lock.
//
//   faults.add(IOCTL_DRAVIK_GET_STREAM_STATE, DRAVIK_STATUS_FAILED, 1, SIM_NO_HANDLE);
#pragma once

#include <vector>

#include "simdriver/SimTypes.h"

class SimFaultInjector {
public:
  // times: 1 or more, or SIM_FAULT_ALWAYS; 0 adds nothing. handle
  // SIM_NO_HANDLE: requests of every handle.
  void add(uint32_t code, DravikStatus status, int times, SimHandleId handle);
  // Removes the faults of a code (all faults when code is 0).
  void clear(uint32_t code = 0);
  // The first fault that matches: true with its status, counting it down.
  bool take(uint32_t code, SimHandleId handle, DravikStatus& status);

private:
  struct Fault {
    uint32_t code;
    SimHandleId handle;
    DravikStatus status;
    int remaining;  // < 0: always
  };
  std::vector<Fault> faults_;
};
