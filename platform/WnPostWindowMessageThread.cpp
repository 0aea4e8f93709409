#include "platform/WnPostWindowMessageThread.h"

#include "platform/WnWait.h"

WnPostWindowMessageThread::WnPostWindowMessageThread() { stopEvent.create(false, false); }

WnPostWindowMessageThread::~WnPostWindowMessageThread() { stop(); }

uint32_t WnPostWindowMessageThread::start(WnWindow window, WnRawHandle event, uint32_t msg) {
  if (thread.isValid()) return WN_ERROR_ALREADY_EXISTS;
  if (!stopEvent.isValid()) {
    if (uint32_t err = stopEvent.create(false, false)) return err;
  }
  targetWindow = window;
  watchedEvent = event;
  message = msg;
  return thread.start(this, 0, 0);
}

uint32_t WnPostWindowMessageThread::stop() {
  if (!thread.isValid()) return 0;
  stopEvent.set();
  return thread.wait(WN_INFINITE);
}

uint32_t WnPostWindowMessageThread::run() {
  // The stop event comes first: when both are signalled, stopping wins.
  const WnRawHandle handles[2] = {stopEvent.get(), watchedEvent};
  for (;;) {
    uint32_t r = wnWaitForMultiple(2, handles, WN_INFINITE, false);
    if (r == WN_WAIT_OBJECT_0) return 0;
    if (r == WN_WAIT_OBJECT_0 + 1) {
      wnPostMessage(targetWindow, message, 0, 0);
      continue;
    }
    // The wait itself failed (for example the watched event was closed).
    uint32_t err = wnLastError();
    return err ? err : WN_WAIT_FAILED;
  }
}
