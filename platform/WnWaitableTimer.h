// WnWaitableTimer: a waitable timer whose expiries are delivered as
// asynchronous procedure calls to the thread that armed it.
//
// Threading: onTimer runs only on the arming thread, inside its alertable
// waits (wnWaitForMultiple(..., alertable = true), wnSleepEx(..., true)),
// never concurrently with that thread's own code. Expiries while the thread
// does not wait alertably are not accumulated without bound: the POSIX
// backend keeps at most one pending call per timer (as the kernel's single
// timer APC). cancel, a new set and destruction withdraw a pending call, so
// a callback object may be destroyed right after its timer.
//
//   WnWaitableTimerCallbackForwarderT<Ctrl> fwd(this, &Ctrl::onTick);
//   timer.create(false, nullptr, nullptr);
//   timer.set(3000, &fwd, false);   // first expiry after 0.3 ms, then every 3 s
#pragma once

#include "platform/WnHandle.h"

class WnWaitableTimerCallbackInterface {
public:
  virtual ~WnWaitableTimerCallbackInterface() = default;
  virtual void onTimer(uint32_t timerLow, uint32_t timerHigh) = 0;
};

template <class T>
class WnWaitableTimerCallbackForwarderT : public WnWaitableTimerCallbackInterface {
public:
  using Function = void (T::*)(uint32_t, uint32_t);
  WnWaitableTimerCallbackForwarderT() = default;
  WnWaitableTimerCallbackForwarderT(T* object, Function function) : object_(object), function_(function) {}
  void bind(T* object, Function function) {
    object_ = object;
    function_ = function;
  }
  void onTimer(uint32_t timerLow, uint32_t timerHigh) override { (object_->*function_)(timerLow, timerHigh); }

private:
  T* object_ = nullptr;
  Function function_ = nullptr;
};

class WnWaitableTimer : public WnHandle {
public:
  ~WnWaitableTimer() override;  // cancel, then close
  // Cancels and closes a held timer (failures ignored), then creates one.
  uint32_t create(bool manualReset, void* securityAttributes, const char16_t* name);
  // periodMs <= 0: 87. Arms the timer with a relative due time of
  // periodMs x 100 ns (the first expiry follows at once) and a period of
  // periodMs ms. With a callback, every expiry queues an APC to the calling
  // thread that calls callback->onTimer.
  uint32_t set(int32_t periodMs, WnWaitableTimerCallbackInterface* callback, bool resumeFromSuspend);
  // Stops the expiries and withdraws a pending call; the signalled state
  // stays as it is. 0 when no timer is held.
  uint32_t cancel();
};
