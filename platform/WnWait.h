// Free operations on raw handles and the calling thread: waits, sleeps,
// raw event operations (used by the simulated driver, which holds events that
// programs handed to it), handle duplication, thread priority and ids.
// All return Win32 codes; see WnTypes.h.
#pragma once

#include "platform/WnTypes.h"

// Waits until any of the handles is signalled (events, threads, timers,
// mutexes) or the time-out passes. Returns WN_WAIT_OBJECT_0 + i for the
// lowest signalled index (only that object is consumed: an auto-reset event
// or timer is reset, a mutex is taken), WN_WAIT_ABANDONED_0 + i for a mutex
// whose owner ended, WN_WAIT_TIMEOUT, WN_WAIT_FAILED (bad handle or count 0 /
// above 64; wnLastError tells which), or, when alertable and no object is
// signalled, WN_WAIT_IO_COMPLETION after running the APCs queued to the
// calling thread (timer callbacks).
uint32_t wnWaitForMultiple(uint32_t count, const WnRawHandle* handles, uint32_t timeoutMs, bool alertable);
uint32_t wnWaitForSingle(WnRawHandle handle, uint32_t timeoutMs, bool alertable = false);

void wnSleep(uint32_t ms);
// Returns 0, or WN_WAIT_IO_COMPLETION when an APC ended an alertable sleep.
uint32_t wnSleepEx(uint32_t ms, bool alertable);

// Raw event operations on a handle the caller does not own.
uint32_t wnSetEvent(WnRawHandle event);
uint32_t wnResetEvent(WnRawHandle event);
// Duplicates a handle within this process; the copy must be closed with
// wnCloseHandle. Used to keep an event alive after its owner closed it.
uint32_t wnDuplicateHandle(WnRawHandle source, WnRawHandle* copy);
uint32_t wnCloseHandle(WnRawHandle handle);

enum class WnThreadPriority : int {
  Normal = 0,
  AboveNormal = 1,
  Highest = 2,
  TimeCritical = 15,
};
// Sets the calling thread's priority. On POSIX TimeCritical maps to a
// real-time scheduling class when the process may use one, else it quietly
// stays at normal priority (the result is still 0).
uint32_t wnSetCurrentThreadPriority(WnThreadPriority priority);

uint32_t wnCurrentThreadId();
uint32_t wnCurrentProcessId();
// The calling thread's last operating-system error (GetLastError; on POSIX
// the code of the calling thread's last failed operation of this layer).
uint32_t wnLastError();
