// WnPostWindowMessageThread: a thread that turns an event into a posted
// window message. The owner sets targetWindow, watchedEvent (not owned) and
// message, then starts it; each time watchedEvent is signalled the message is
// posted with both parameters 0. stop() sets stopEvent and joins.
#pragma once

#include "platform/WnMessageTarget.h"
#include "platform/WnThread.h"

class WnPostWindowMessageThread : public WnThreadCallbackInterface {
public:
  WnPostWindowMessageThread();  // creates stopEvent (auto-reset)
  ~WnPostWindowMessageThread() override;  // stop

  // Sets the three fields and starts the thread; 183 while it runs.
  uint32_t start(WnWindow targetWindow, WnRawHandle watchedEvent, uint32_t message);
  // Sets stopEvent and waits for the thread without limit; 0 when none runs.
  uint32_t stop();
  // Waits for stopEvent (first, so that it wins) or watchedEvent; posts
  // message with both parameters 0 for each wake by watchedEvent; returns 0
  // when stopped, or the error code when the wait itself fails.
  uint32_t run() override;

  WnThread thread;
  WnWindow targetWindow = nullptr;
  WnRawHandle watchedEvent = nullptr;
  WnEvent stopEvent;
  uint32_t message = 0;
};
