// Clocks on POSIX: CLOCK_MONOTONIC for both; the timer resolution calls are
// no-ops (the kernel's timers are fine-grained already).
#include <time.h>

#include "platform/WnTime.h"

uint64_t wnMonotonicNanos() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

uint32_t wnTimeGetTime() { return static_cast<uint32_t>(wnMonotonicNanos() / 1000000ull); }
uint32_t wnTimeBeginPeriod(uint32_t) { return 0; }
uint32_t wnTimeEndPeriod(uint32_t) { return 0; }
