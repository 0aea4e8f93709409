// The handle wrappers' logic shared by both backends; the backends supply
// the object creation (platform/detail/WnBackend.h).
#include "platform/WnHandle.h"

#include "platform/WnThread.h"
#include "platform/WnWait.h"
#include "platform/WnWaitableTimer.h"
#include "platform/detail/WnBackend.h"

namespace detail = wn::detail;

// ---- WnHandle ----

WnHandle::~WnHandle() { close(); }

uint32_t WnHandle::close() {
  if (!handle_) return 0;
  WnRawHandle h = handle_;
  handle_ = nullptr;
  return wnCloseHandle(h);
}

void WnHandle::attach(WnRawHandle h) {
  close();
  handle_ = h;
}

// ---- WnEvent ----

WnEvent::~WnEvent() = default;

uint32_t WnEvent::create(bool manualReset, bool initialState) {
  close();
  WnRawHandle h = nullptr;
  uint32_t err = detail::createEvent(manualReset, initialState, &h);
  if (err) return err;
  handle_ = h;
  return 0;
}

uint32_t WnEvent::set() { return wnSetEvent(handle_); }
uint32_t WnEvent::reset() { return wnResetEvent(handle_); }

// ---- WnMutex ----

WnMutex::~WnMutex() = default;

uint32_t WnMutex::create(bool initialOwner, const char16_t* name) {
  close();
  WnRawHandle h = nullptr;
  uint32_t err = detail::createMutex(initialOwner, name, &h);
  handle_ = h;  // also valid when err is 183
  return err;
}

// ---- WnThread ----

WnThread::~WnThread() = default;

uint32_t WnThread::start(WnThreadCallbackInterface* callback, uint32_t stackSize, uint32_t creationFlags) {
  if (handle_) return WN_ERROR_ALREADY_EXISTS;
  if (!callback) return WN_ERROR_INVALID_PARAMETER;
  WnRawHandle h = nullptr;
  uint32_t id = 0;
  uint32_t err = detail::createThread(callback, stackSize, creationFlags, &h, &id);
  if (err) {
    threadId_ = 0;
    return err;
  }
  handle_ = h;
  threadId_ = id;
  return 0;
}

uint32_t WnThread::wait(uint32_t timeoutMs) {
  if (!handle_) return 0;
  uint32_t result = wnWaitForSingle(handle_, timeoutMs, false);
  if (result != WN_WAIT_OBJECT_0) return result;
  close();
  return 0;
}

uint32_t WnThread::exitCode() const { return handle_ ? detail::threadExitCode(handle_) : WN_STILL_ACTIVE; }

// ---- WnWaitableTimer ----

WnWaitableTimer::~WnWaitableTimer() {
  cancel();
  close();
}

uint32_t WnWaitableTimer::create(bool manualReset, void* securityAttributes, const char16_t* name) {
  cancel();
  close();
  WnRawHandle h = nullptr;
  uint32_t err = detail::createWaitableTimer(manualReset, securityAttributes, name, &h);
  if (err) return err;
  handle_ = h;
  return 0;
}

uint32_t WnWaitableTimer::set(int32_t periodMs, WnWaitableTimerCallbackInterface* callback, bool resumeFromSuspend) {
  if (periodMs <= 0) return WN_ERROR_INVALID_PARAMETER;
  if (!handle_) return WN_ERROR_INVALID_HANDLE;
  // Relative due time (negative) of periodMs x 100 ns: the first expiry
  // follows at once, the later ones every periodMs milliseconds.
  return detail::setWaitableTimer(handle_, -static_cast<int64_t>(periodMs), periodMs, callback, resumeFromSuspend);
}

uint32_t WnWaitableTimer::cancel() { return handle_ ? detail::cancelWaitableTimer(handle_) : 0; }
