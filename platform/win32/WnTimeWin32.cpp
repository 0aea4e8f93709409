// Clocks on Win32: timeGetTime and the performance counter; the WinMM timer
// resolution calls.
#include <windows.h>
#include <mmsystem.h>

#include "platform/WnTime.h"

uint32_t wnTimeGetTime() { return timeGetTime(); }

uint64_t wnMonotonicNanos() {
  static const uint64_t freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<uint64_t>(f.QuadPart);
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  const uint64_t ticks = static_cast<uint64_t>(c.QuadPart);
  return ticks / freq * 1000000000ull + ticks % freq * 1000000000ull / freq;
}

uint32_t wnTimeBeginPeriod(uint32_t ms) { return timeBeginPeriod(ms); }
uint32_t wnTimeEndPeriod(uint32_t ms) { return timeEndPeriod(ms); }
