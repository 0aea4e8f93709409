// AsioErrorCounterReader: the harness's own look at the kernel driver's
// error counters (IOCTL_DRAVIK_GET_ERROR_COUNTERS), of which the ASIO one
// counts the buffer switches that no host served in time. It opens a plain
// channel to the driver through the process's transport factory (the real
// device, the simulator's pipe by the administrator's opt-in, or the
// in-process simulator a program installed), with no events and no
// registration, so nothing else sees it.
//
// Lifetime: open() once; the destructor closes the channel. Threading: one
// thread at a time.
//
//   AsioErrorCounterReader counters;
//   uint32_t before = 0, after = 0;
//   if (counters.open() == 0 && counters.readAsioErrors(before) == 0) ...
#pragma once

#include <cstdint>

#include "driverapi/DravikDriver.h"

class AsioErrorCounterReader {
public:
  DravikStatus open();
  bool isOpen() const { return open_; }
  DravikStatus readAsioErrors(uint32_t& out);

private:
  DravikDriver driver_;
  bool open_ = false;
};
