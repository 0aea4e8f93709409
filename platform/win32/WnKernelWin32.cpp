// Win32 backend of the kernel objects, waits and thread operations: the
// system calls one to one.
#include <windows.h>
#include <process.h>

#include "platform/WnThread.h"
#include "platform/WnWait.h"
#include "platform/WnWaitableTimer.h"
#include "platform/detail/WnBackend.h"

namespace {

const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

uint32_t lastErrorOr(uint32_t fallback) {
  DWORD e = GetLastError();
  return e ? e : fallback;
}

// The thread procedure: a trampoline to the callback interface.
unsigned __stdcall threadProc(void* arg) { return static_cast<WnThreadCallbackInterface*>(arg)->run(); }

// The timer's completion routine: a trampoline likewise.
VOID CALLBACK timerApc(LPVOID arg, DWORD timerLow, DWORD timerHigh) {
  static_cast<WnWaitableTimerCallbackInterface*>(arg)->onTimer(timerLow, timerHigh);
}

}  // namespace

namespace wn::detail {

uint32_t createEvent(bool manualReset, bool initialState, WnRawHandle* out) {
  HANDLE h = CreateEventW(nullptr, manualReset, initialState, nullptr);
  *out = h;
  return h ? 0 : lastErrorOr(ERROR_INVALID_HANDLE);
}

uint32_t createMutex(bool initialOwner, const char16_t* name, WnRawHandle* out) {
  SetLastError(0);
  HANDLE h = CreateMutexW(nullptr, initialOwner, wide(name));
  uint32_t err = GetLastError();  // 183 with a valid handle when the name existed
  *out = h;
  if (!h && !err) err = ERROR_INVALID_HANDLE;
  return err;
}

uint32_t createThread(WnThreadCallbackInterface* callback, uint32_t stackSize, uint32_t creationFlags,
                      WnRawHandle* out, uint32_t* threadId) {
  unsigned id = 0;
  SetLastError(0);
  // Through the runtime, so that it is initialised for the thread.
  uintptr_t h = _beginthreadex(nullptr, stackSize, threadProc, callback, creationFlags, &id);
  if (!h) {
    *out = nullptr;
    *threadId = 0;
    return lastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
  }
  *out = reinterpret_cast<HANDLE>(h);
  *threadId = id;
  return 0;
}

uint32_t threadExitCode(WnRawHandle thread) {
  DWORD code = STILL_ACTIVE;
  if (!GetExitCodeThread(thread, &code)) return STILL_ACTIVE;
  return code;
}

uint32_t createWaitableTimer(bool manualReset, void* securityAttributes, const char16_t* name, WnRawHandle* out) {
  HANDLE h = CreateWaitableTimerW(static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes), manualReset, wide(name));
  *out = h;
  return h ? 0 : lastErrorOr(ERROR_INVALID_HANDLE);
}

uint32_t setWaitableTimer(WnRawHandle timer, int64_t dueTime100ns, int32_t periodMs,
                          WnWaitableTimerCallbackInterface* callback, bool resume) {
  LARGE_INTEGER due;
  due.QuadPart = dueTime100ns;
  if (!SetWaitableTimer(timer, &due, periodMs, callback ? timerApc : nullptr, callback, resume))
    return lastErrorOr(ERROR_INVALID_PARAMETER);
  return 0;
}

uint32_t cancelWaitableTimer(WnRawHandle timer) {
  return CancelWaitableTimer(timer) ? 0 : lastErrorOr(ERROR_INVALID_HANDLE);
}

WnInstance moduleInstance() { return GetModuleHandleW(nullptr); }

}  // namespace wn::detail

uint32_t wnWaitForMultiple(uint32_t count, const WnRawHandle* handles, uint32_t timeoutMs, bool alertable) {
  return WaitForMultipleObjectsEx(count, handles, FALSE, timeoutMs, alertable);
}

uint32_t wnWaitForSingle(WnRawHandle handle, uint32_t timeoutMs, bool alertable) {
  return WaitForSingleObjectEx(handle, timeoutMs, alertable);
}

void wnSleep(uint32_t ms) { Sleep(ms); }

uint32_t wnSleepEx(uint32_t ms, bool alertable) { return SleepEx(ms, alertable); }

uint32_t wnSetEvent(WnRawHandle event) { return SetEvent(event) ? 0 : lastErrorOr(ERROR_INVALID_HANDLE); }

uint32_t wnResetEvent(WnRawHandle event) { return ResetEvent(event) ? 0 : lastErrorOr(ERROR_INVALID_HANDLE); }

uint32_t wnDuplicateHandle(WnRawHandle source, WnRawHandle* copy) {
  if (!copy) return ERROR_INVALID_PARAMETER;
  HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, source, self, copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return lastErrorOr(ERROR_INVALID_HANDLE);
  return 0;
}

uint32_t wnCloseHandle(WnRawHandle handle) {
  if (!handle) return ERROR_INVALID_HANDLE;
  return CloseHandle(handle) ? 0 : lastErrorOr(ERROR_INVALID_HANDLE);
}

uint32_t wnSetCurrentThreadPriority(WnThreadPriority priority) {
  return SetThreadPriority(GetCurrentThread(), static_cast<int>(priority)) ? 0 : lastErrorOr(ERROR_INVALID_PARAMETER);
}

uint32_t wnCurrentThreadId() { return GetCurrentThreadId(); }
uint32_t wnCurrentProcessId() { return GetCurrentProcessId(); }
uint32_t wnLastError() { return GetLastError(); }
