#include "bench/EventWakeProbe.h"

#include <chrono>
#include <thread>

#include "platform/WnTime.h"
#include "platform/WnWait.h"

EventWakeProbe::EventWakeProbe() : body_(this, &EventWakeProbe::waiterMain) {
  wake_.create(false, false);
  idle_.create(false, false);
  stop_.create(true, false);
  waiting_.create(false, false);
}

uint32_t EventWakeProbe::waiterMain() {
  wnSetCurrentThreadPriority(WnThreadPriority::TimeCritical);
  const WnRawHandle handles[3] = {wake_.get(), idle_.get(), stop_.get()};
  waiting_.set();
  for (;;) {
    const uint32_t r = wnWaitForMultiple(3, handles, WN_INFINITE, false);
    const uint64_t entry = wnMonotonicNanos();
    if (r != WN_WAIT_OBJECT_0) break;
    samples_.add(entry - stamp_.load(std::memory_order_acquire));
    waiting_.set();
  }
  return 0;
}

AsioLatencySamples EventWakeProbe::measure(size_t count, uint64_t periodNanos) {
  samples_.reserve(count);
  wnSetCurrentThreadPriority(WnThreadPriority::TimeCritical);
  if (waiter_.start(&body_) != 0) return samples_;
  auto next = std::chrono::steady_clock::now();
  for (size_t i = 0; i < count; ++i) {
    // The waiter is back in its wait before the next signal, as the
    // streaming thread is when the next switch comes on time.
    wnWaitForSingle(waiting_.get(), 10000);
    next += std::chrono::nanoseconds(periodNanos);
    std::this_thread::sleep_until(next);
    stamp_.store(wnMonotonicNanos(), std::memory_order_release);
    wake_.set();
  }
  wnWaitForSingle(waiting_.get(), 10000);
  stop_.set();
  waiter_.wait(WN_INFINITE);
  wnSetCurrentThreadPriority(WnThreadPriority::Normal);
  return samples_;
}
