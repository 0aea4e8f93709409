// WnThread: a thread whose body is an interface (WnThreadCallbackInterface).
//
// Lifetime: NotStarted -> start -> Running -> the body returns and wait()
// succeeds -> NotStarted. A thread that ended but was not waited for still
// counts as started: start() answers 183 until wait() closed the handle.
// Threading: start/wait are called by the owner's thread only.
//
//   WnThreadCallbackForwarderT<Engine> body(this, &Engine::threadMain);
//   thread.start(&body, 0, 0);
//   ...
//   thread.wait(WN_INFINITE);
#pragma once

#include "platform/WnHandle.h"

class WnThreadCallbackInterface {
public:
  virtual ~WnThreadCallbackInterface() = default;
  // The thread body; its result becomes the thread's exit code.
  virtual uint32_t run() = 0;
};

template <class T>
class WnThreadCallbackForwarderT : public WnThreadCallbackInterface {
public:
  using Function = uint32_t (T::*)();
  WnThreadCallbackForwarderT() = default;  // empty: bind before use
  WnThreadCallbackForwarderT(T* object, Function function) : object_(object), function_(function) {}
  void bind(T* object, Function function) {
    object_ = object;
    function_ = function;
  }
  uint32_t run() override { return (object_->*function_)(); }

private:
  T* object_ = nullptr;
  Function function_ = nullptr;
};

class WnThread : public WnHandle {
public:
  ~WnThread() override;
  // 183 if a handle is held (nothing is done); 87 for a null callback. Else
  // starts a thread (through the C runtime on Win32) that calls
  // callback->run(); on failure threadId becomes 0 and the error code is
  // returned. On POSIX creationFlags are ignored, a non-zero stackSize is
  // raised to at least 256 KiB, and the thread id is the kernel's tid.
  uint32_t start(WnThreadCallbackInterface* callback, uint32_t stackSize = 0, uint32_t creationFlags = 0);
  // 0 if no handle is held. Waits up to timeoutMs (WN_INFINITE: no limit);
  // if the thread did not end, returns the wait's result (258 on time-out)
  // and keeps the handle; else closes the handle and returns 0.
  uint32_t wait(uint32_t timeoutMs);
  uint32_t threadId() const { return threadId_; }
  // The exit code of an ended thread that was not yet waited for, else
  // WN_STILL_ACTIVE (259).
  uint32_t exitCode() const;

private:
  uint32_t threadId_ = 0;
};
