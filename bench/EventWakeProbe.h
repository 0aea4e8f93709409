// EventWakeProbe: the bare wake latency of a platform event between two
// threads, measured the way the ASIO dispatch latency is: a signalling
// thread paced at a buffer period takes the monotonic time and sets an
// auto-reset event; a waiting thread, blocked in a wait on three handles as
// the driver's streaming thread is, takes the time as soon as its wait
// returns. Both threads run at time-critical priority, like the simulated
// driver's clock and the streaming thread.
//
// Lifetime: one measure() per object. Threading: measure() blocks the
// calling thread (the signaller) until all samples are taken.
//
//   EventWakeProbe probe;
//   AsioLatencySamples s = probe.measure(5000, 1333333);
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/WnHandle.h"
#include "platform/WnThread.h"
#include "tools/asiohost/AsioLatencySamples.h"

class EventWakeProbe {
public:
  EventWakeProbe();
  // count wakes, one per periodNanos.
  AsioLatencySamples measure(size_t count, uint64_t periodNanos);

private:
  uint32_t waiterMain();

  WnEvent wake_;     // auto-reset
  WnEvent idle_;     // auto-reset, never set: the second handle of the wait
  WnEvent stop_;     // manual reset
  WnEvent waiting_;  // auto-reset: the waiter took its sample and waits again
  std::atomic<uint64_t> stamp_{0};
  AsioLatencySamples samples_;
  WnThreadCallbackForwarderT<EventWakeProbe> body_;
  WnThread waiter_;
};
