#include <gtest/gtest.h>

#include <atomic>

#include "platform/WnHandle.h"
#include "platform/WnThread.h"
#include "platform/WnTime.h"
#include "platform/WnWait.h"
#include "platform/WnWaitableTimer.h"

namespace {

class CountingCallback : public WnWaitableTimerCallbackInterface {
public:
  void onTimer(uint32_t low, uint32_t high) override {
    ++calls;  // plain counter: only the arming thread may touch it
    lastThread = wnCurrentThreadId();
    lastLow = low;
    lastHigh = high;
    if (inOwnCode && *inOwnCode) concurrent = true;
  }
  int calls = 0;
  uint32_t lastThread = 0;
  uint32_t lastLow = 0, lastHigh = 0;
  bool* inOwnCode = nullptr;
  bool concurrent = false;
};

TEST(WnWaitableTimer, ANonPositivePeriodGives87) {
  WnWaitableTimer t;
  ASSERT_EQ(0u, t.create(false, nullptr, nullptr));
  CountingCallback cb;
  EXPECT_EQ(87u, t.set(0, &cb, false));
  EXPECT_EQ(87u, t.set(-5, &cb, false));
  EXPECT_EQ(87u, t.set(0, nullptr, false));
  EXPECT_EQ(0u, wnSleepEx(20, true));
  EXPECT_EQ(0, cb.calls);
}

TEST(WnWaitableTimer, CancelWithoutATimerIsZero) {
  WnWaitableTimer t;
  EXPECT_EQ(0u, t.cancel());
  ASSERT_EQ(0u, t.create(false, nullptr, nullptr));
  EXPECT_EQ(0u, t.cancel());
}

TEST(WnWaitableTimer, TheFirstExpiryComesAtOnceNotAfterThePeriod) {
  WnWaitableTimer t;
  ASSERT_EQ(0u, t.create(false, nullptr, nullptr));
  CountingCallback cb;
  uint64_t t0 = wnMonotonicNanos();
  ASSERT_EQ(0u, t.set(3000, &cb, false));
  EXPECT_EQ(WN_WAIT_IO_COMPLETION, wnSleepEx(2500, true));
  uint64_t elapsedMs = (wnMonotonicNanos() - t0) / 1000000;
  EXPECT_LT(elapsedMs, 1000u);
  EXPECT_EQ(1, cb.calls);
  EXPECT_EQ(wnCurrentThreadId(), cb.lastThread);
  EXPECT_NE(0u, cb.lastHigh);  // a FILETIME of this century
  EXPECT_EQ(0u, t.cancel());
}

TEST(WnWaitableTimer, CallbacksRunOnlyInAlertableWaitsOfTheArmingThread) {
  WnWaitableTimer t;
  ASSERT_EQ(0u, t.create(false, nullptr, nullptr));
  WnEvent never;
  ASSERT_EQ(0u, never.create(true, false));
  CountingCallback cb;
  ASSERT_EQ(0u, t.set(10, &cb, false));
  // Neither a non-alertable wait nor a plain sleep runs them.
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(never.get(), 100, false));
  wnSleep(50);
  EXPECT_EQ(0, cb.calls);
  // An alertable wait runs the queued call and ends with IO_COMPLETION.
  const WnRawHandle hs[1] = {never.get()};
  EXPECT_EQ(WN_WAIT_IO_COMPLETION, wnWaitForMultiple(1, hs, 2000, true));
  EXPECT_GE(cb.calls, 1);
  EXPECT_EQ(wnCurrentThreadId(), cb.lastThread);
  EXPECT_EQ(0u, t.cancel());
}

// A thread of its own arms a periodic timer and alternates between its own
// code and alertable sleeps; the callbacks must come on it, between them.
class ArmingThread : public WnThreadCallbackInterface {
public:
  uint32_t run() override {
    cb.inOwnCode = &inOwnCode;
    WnWaitableTimer t;
    if (t.create(false, nullptr, nullptr) || t.set(5, &cb, false)) return 1;
    myId = wnCurrentThreadId();
    uint64_t end = wnMonotonicNanos() + 300000000ull;
    while (wnMonotonicNanos() < end) {
      inOwnCode = true;
      wnSleep(3);  // not alertable: no callback now
      inOwnCode = false;
      wnSleepEx(4, true);
    }
    return 0;
  }
  CountingCallback cb;
  bool inOwnCode = false;
  uint32_t myId = 0;
};

TEST(WnWaitableTimer, CallbacksNeverRunConcurrentlyWithTheArmingThread) {
  ArmingThread a;
  WnThread th;
  ASSERT_EQ(0u, th.start(&a, 0, 0));
  ASSERT_EQ(0u, th.wait(WN_INFINITE));
  EXPECT_FALSE(a.cb.concurrent);
  EXPECT_GE(a.cb.calls, 10);
  EXPECT_EQ(a.myId, a.cb.lastThread);
}

TEST(WnWaitableTimer, ExpiriesFollowThePeriod) {
  WnWaitableTimer t;
  ASSERT_EQ(0u, t.create(false, nullptr, nullptr));
  CountingCallback cb;
  ASSERT_EQ(0u, t.set(50, &cb, false));
  uint64_t end = wnMonotonicNanos() + 520000000ull;
  while (wnMonotonicNanos() < end) wnSleepEx(5, true);
  // The first at once, then one every 50 ms: about 11 in 520 ms.
  EXPECT_GE(cb.calls, 7);
  EXPECT_LE(cb.calls, 13);
  EXPECT_EQ(0u, t.cancel());
}

TEST(WnWaitableTimer, CancelStopsTheCallbacks) {
  WnWaitableTimer t;
  ASSERT_EQ(0u, t.create(false, nullptr, nullptr));
  CountingCallback cb;
  ASSERT_EQ(0u, t.set(100, &cb, false));
  EXPECT_EQ(WN_WAIT_IO_COMPLETION, wnSleepEx(2000, true));
  ASSERT_EQ(1, cb.calls);
  EXPECT_EQ(0u, t.cancel());
  EXPECT_EQ(0u, wnSleepEx(350, true));
  EXPECT_EQ(1, cb.calls);
}

TEST(WnWaitableTimer, TheTimerItselfIsSignalledAtEachExpiry) {
  WnWaitableTimer t;
  ASSERT_EQ(0u, t.create(false, nullptr, nullptr));  // auto-reset (synchronisation) timer
  const uint64_t t0 = wnMonotonicNanos();
  ASSERT_EQ(0u, t.set(30, nullptr, false));
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(t.get(), 2000));  // at once
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(t.get(), 2000));  // one period after the set
  EXPECT_GE((wnMonotonicNanos() - t0) / 1000000, 20u);
  EXPECT_EQ(0u, t.cancel());

  WnWaitableTimer manual;
  ASSERT_EQ(0u, manual.create(true, nullptr, nullptr));
  ASSERT_EQ(0u, manual.set(1000, nullptr, false));
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(manual.get(), 2000));
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(manual.get(), 0));  // stays signalled
}

struct Controller {
  void onTick(uint32_t, uint32_t) { ++ticks; }
  int ticks = 0;
};

TEST(WnWaitableTimer, ForwarderCallsTheMemberFunction) {
  Controller c;
  WnWaitableTimerCallbackForwarderT<Controller> fwd(&c, &Controller::onTick);
  WnWaitableTimer t;
  ASSERT_EQ(0u, t.create(false, nullptr, nullptr));
  ASSERT_EQ(0u, t.set(3000, &fwd, false));
  EXPECT_EQ(WN_WAIT_IO_COMPLETION, wnSleepEx(2000, true));
  EXPECT_EQ(1, c.ticks);
}

TEST(WnWaitableTimer, ADestroyedTimerCallsNoMore) {
  CountingCallback cb;
  {
    WnWaitableTimer t;
    ASSERT_EQ(0u, t.create(false, nullptr, nullptr));
    ASSERT_EQ(0u, t.set(5, &cb, false));
    wnSleep(30);  // expiries pending, not delivered
  }
  EXPECT_EQ(0u, wnSleepEx(100, true));
  EXPECT_EQ(0, cb.calls);
}

TEST(WnWaitableTimer, CreateAgainCancelsTheHeldTimer) {
  WnWaitableTimer t;
  ASSERT_EQ(0u, t.create(false, nullptr, nullptr));
  CountingCallback cb;
  ASSERT_EQ(0u, t.set(5, &cb, false));
  wnSleep(20);
  ASSERT_EQ(0u, t.create(false, nullptr, nullptr));
  EXPECT_EQ(0u, wnSleepEx(100, true));
  EXPECT_EQ(0, cb.calls);
}

}  // namespace
