// Clocks and the system timer resolution.
#pragma once

#include "platform/WnTypes.h"

// Milliseconds since an arbitrary start (timeGetTime on Win32).
uint32_t wnTimeGetTime();
// A monotonic clock in nanoseconds, for deadlines and measurements.
uint64_t wnMonotonicNanos();
// timeBeginPeriod / timeEndPeriod; 0 on success. No-ops returning 0 on POSIX.
uint32_t wnTimeBeginPeriod(uint32_t ms);
uint32_t wnTimeEndPeriod(uint32_t ms);
