#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "platform/WnHandle.h"
#include "platform/WnMemory.h"
#include "platform/WnThread.h"
#include "platform/WnTime.h"
#include "platform/WnWait.h"

namespace {

TEST(WnEvent, AutoResetIsConsumedByOneWait) {
  WnEvent e;
  ASSERT_EQ(0u, e.create(false, true));
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(e.get(), 0));
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(e.get(), 0));
  EXPECT_EQ(0u, e.set());
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(e.get(), 0));
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(e.get(), 0));
}

TEST(WnEvent, ManualResetStaysSignalledUntilReset) {
  WnEvent e;
  ASSERT_EQ(0u, e.create(true, false));
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(e.get(), 0));
  EXPECT_EQ(0u, e.set());
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(e.get(), 0));
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(e.get(), 0));
  EXPECT_EQ(0u, e.reset());
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(e.get(), 0));
}

TEST(WnEvent, CreateClosesTheHeldHandleFirst) {
  WnEvent e;
  ASSERT_EQ(0u, e.create(true, true));
  WnRawHandle copy = nullptr;
  ASSERT_EQ(0u, wnDuplicateHandle(e.get(), &copy));
  ASSERT_EQ(0u, e.create(false, false));
  // The duplicate still names the first (signalled, manual-reset) event.
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(copy, 0));
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(e.get(), 0));
  EXPECT_EQ(0u, wnCloseHandle(copy));
}

TEST(WnHandle, CloseClearsAndIsIdempotent) {
  WnEvent e;
  EXPECT_EQ(0u, e.close());
  ASSERT_EQ(0u, e.create(false, false));
  EXPECT_TRUE(e.isValid());
  EXPECT_EQ(0u, e.close());
  EXPECT_FALSE(e.isValid());
  EXPECT_EQ(nullptr, e.get());
  EXPECT_EQ(0u, e.close());
  EXPECT_NE(0u, e.set());  // no handle
}

TEST(WnWait, WaitForAnyReportsTheLowestSignalledIndex) {
  WnEvent a, b, c;
  ASSERT_EQ(0u, a.create(false, false));
  ASSERT_EQ(0u, b.create(false, true));
  ASSERT_EQ(0u, c.create(false, true));
  const WnRawHandle hs[3] = {a.get(), b.get(), c.get()};
  EXPECT_EQ(WN_WAIT_OBJECT_0 + 1, wnWaitForMultiple(3, hs, 0, false));
  // Only the reported event was consumed.
  EXPECT_EQ(WN_WAIT_OBJECT_0 + 2, wnWaitForMultiple(3, hs, 0, false));
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForMultiple(3, hs, 0, false));
  a.set();
  c.set();
  EXPECT_EQ(WN_WAIT_OBJECT_0 + 0, wnWaitForMultiple(3, hs, 0, false));
  EXPECT_EQ(WN_WAIT_OBJECT_0 + 2, wnWaitForMultiple(3, hs, 0, false));
}

TEST(WnWait, AManualResetEventAtALowerIndexKeepsWinning) {
  WnEvent manual, autoEv;
  ASSERT_EQ(0u, manual.create(true, true));
  ASSERT_EQ(0u, autoEv.create(false, true));
  const WnRawHandle hs[2] = {manual.get(), autoEv.get()};
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForMultiple(2, hs, 0, false));
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForMultiple(2, hs, 0, false));
  // The auto-reset event was never consumed.
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(autoEv.get(), 0));
}

TEST(WnWait, TimesOutAfterRoughlyTheGivenTime) {
  WnEvent e;
  ASSERT_EQ(0u, e.create(false, false));
  uint64_t t0 = wnMonotonicNanos();
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(e.get(), 60));
  uint64_t elapsedMs = (wnMonotonicNanos() - t0) / 1000000;
  EXPECT_GE(elapsedMs, 50u);
  EXPECT_LT(elapsedMs, 2000u);
}

TEST(WnWait, BadArgumentsFail) {
  WnEvent e;
  ASSERT_EQ(0u, e.create(false, false));
  WnRawHandle hs[65];
  for (auto& h : hs) h = e.get();
  EXPECT_EQ(WN_WAIT_FAILED, wnWaitForMultiple(0, hs, 0, false));
  EXPECT_EQ(WN_WAIT_FAILED, wnWaitForMultiple(65, hs, 0, false));
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForMultiple(64, hs, 0, false));
  WnRawHandle copy = nullptr;
  ASSERT_EQ(0u, wnDuplicateHandle(e.get(), &copy));
  ASSERT_EQ(0u, wnCloseHandle(copy));
  EXPECT_EQ(WN_WAIT_FAILED, wnWaitForSingle(copy, 0));
  EXPECT_EQ(6u, wnLastError());
  EXPECT_EQ(6u, wnSetEvent(copy));
}

// One thread sets an event that another waits for.
class Setter : public WnThreadCallbackInterface {
public:
  uint32_t run() override {
    wnSleep(30);
    return wnSetEvent(target);
  }
  WnRawHandle target = nullptr;
};

TEST(WnWait, AWaitEndsWhenAnotherThreadSetsTheEvent) {
  WnEvent e, never;
  ASSERT_EQ(0u, e.create(false, false));
  ASSERT_EQ(0u, never.create(true, false));
  Setter s;
  s.target = e.get();
  WnThread t;
  ASSERT_EQ(0u, t.start(&s, 0, 0));
  const WnRawHandle hs[2] = {never.get(), e.get()};
  EXPECT_EQ(WN_WAIT_OBJECT_0 + 1, wnWaitForMultiple(2, hs, 10000, false));
  EXPECT_EQ(0u, t.wait(WN_INFINITE));
}

// Several threads wait for one auto-reset event: each set releases one.
class Consumer : public WnThreadCallbackInterface {
public:
  uint32_t run() override {
    const WnRawHandle hs[2] = {stop, event};
    for (;;) {
      uint32_t r = wnWaitForMultiple(2, hs, WN_INFINITE, false);
      if (r == WN_WAIT_OBJECT_0) return 0;
      if (r != WN_WAIT_OBJECT_0 + 1) return 1;
      consumed->fetch_add(1);
      wnSetEvent(ack);
    }
  }
  WnRawHandle stop = nullptr, event = nullptr, ack = nullptr;
  std::atomic<int>* consumed = nullptr;
};

TEST(WnWait, AnAutoResetEventReleasesOneWaiterPerSet) {
  WnEvent stop, event, ack;
  ASSERT_EQ(0u, stop.create(true, false));
  ASSERT_EQ(0u, event.create(false, false));
  ASSERT_EQ(0u, ack.create(false, false));
  std::atomic<int> consumed{0};
  Consumer c[3];
  WnThread t[3];
  for (int i = 0; i < 3; ++i) {
    c[i].stop = stop.get();
    c[i].event = event.get();
    c[i].ack = ack.get();
    c[i].consumed = &consumed;
    ASSERT_EQ(0u, t[i].start(&c[i], 0, 0));
  }
  for (int n = 1; n <= 20; ++n) {
    event.set();
    ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(ack.get(), 10000));
    EXPECT_EQ(n, consumed.load());
  }
  wnSleep(20);
  EXPECT_EQ(20, consumed.load());
  stop.set();
  for (auto& th : t) EXPECT_EQ(0u, th.wait(WN_INFINITE));
  for (auto& th : t) (void)th;
}

TEST(WnWait, AThreadHandleIsSignalledWhenTheThreadEnds) {
  Setter s;
  WnEvent e;
  ASSERT_EQ(0u, e.create(true, false));
  s.target = e.get();
  WnThread t;
  ASSERT_EQ(0u, t.start(&s, 0, 0));
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(t.get(), 10000));
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(e.get(), 0));
  EXPECT_EQ(0u, t.exitCode());
}

TEST(WnWait, DuplicateHandleKeepsTheObjectAliveAfterItsOwnerClosedIt) {
  WnRawHandle copy = nullptr;
  {
    WnEvent e;
    ASSERT_EQ(0u, e.create(false, false));
    ASSERT_EQ(0u, wnDuplicateHandle(e.get(), &copy));
    EXPECT_NE(copy, e.get());
  }
  EXPECT_EQ(0u, wnSetEvent(copy));
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(copy, 0));
  EXPECT_EQ(0u, wnResetEvent(copy));
  EXPECT_EQ(0u, wnCloseHandle(copy));
  EXPECT_NE(0u, wnCloseHandle(copy));
}

TEST(WnSleep, NonAlertableSleepReturnsZero) {
  uint64_t t0 = wnMonotonicNanos();
  EXPECT_EQ(0u, wnSleepEx(20, false));
  EXPECT_EQ(0u, wnSleepEx(20, true));  // no APC queued
  EXPECT_GE((wnMonotonicNanos() - t0) / 1000000, 30u);
}

// ---- WnMutex within one process ----

TEST(WnMutex, ASecondCreateOfTheSameNameGives183WithAValidHandle) {
  const char16_t* name = u"Tovix8Test_InProcessMutex";
  WnMutex first, second;
  ASSERT_EQ(0u, first.create(true, name));
  EXPECT_TRUE(first.isValid());
  EXPECT_EQ(183u, second.create(true, name));
  EXPECT_TRUE(second.isValid());
  EXPECT_EQ(0u, second.close());
  EXPECT_EQ(0u, first.close());
  // Gone with its last handle.
  EXPECT_EQ(0u, first.create(false, name));
}

TEST(WnMutex, TheOwnerMayWaitForItAgain) {
  WnMutex m;
  ASSERT_EQ(0u, m.create(true, nullptr));
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(m.get(), 0));
}

class MutexProbe : public WnThreadCallbackInterface {
public:
  uint32_t run() override { return wnWaitForSingle(mutex, 0); }
  WnRawHandle mutex = nullptr;
};

TEST(WnMutex, AnotherThreadCannotTakeAnOwnedMutex) {
  WnMutex m;
  ASSERT_EQ(0u, m.create(true, nullptr));
  MutexProbe p;
  p.mutex = m.get();
  WnThread t;
  ASSERT_EQ(0u, t.start(&p, 0, 0));
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(t.get(), 10000));
  EXPECT_EQ(WN_WAIT_TIMEOUT, t.exitCode());
  EXPECT_EQ(0u, t.wait(0));
}

TEST(WnMutex, AMutexWithoutInitialOwnerCanBeTakenByAnyThread) {
  WnMutex m;
  ASSERT_EQ(0u, m.create(false, u"Tovix8Test_UnownedMutex"));
  MutexProbe p;
  p.mutex = m.get();
  WnThread t;
  ASSERT_EQ(0u, t.start(&p, 0, 0));
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(t.get(), 10000));
  EXPECT_EQ(WN_WAIT_OBJECT_0, t.exitCode());
  EXPECT_EQ(0u, t.wait(0));
  // The prober ended holding it: the next owner learns it was abandoned.
  EXPECT_EQ(WN_WAIT_ABANDONED_0, wnWaitForSingle(m.get(), 0));
}

// ---- time and memory ----

TEST(WnTime, ClocksAdvance) {
  uint32_t ms0 = wnTimeGetTime();
  uint64_t ns0 = wnMonotonicNanos();
  wnSleep(30);
  EXPECT_GE(wnTimeGetTime() - ms0, 20u);
  EXPECT_GE(wnMonotonicNanos() - ns0, 20000000u);
  EXPECT_EQ(0u, wnTimeBeginPeriod(1));
  EXPECT_EQ(0u, wnTimeEndPeriod(1));
}

TEST(WnMemory, VirtualAllocGivesZeroedPageAlignedMemory) {
  const size_t size = 3 * 4096 + 100;
  auto* p = static_cast<unsigned char*>(wnVirtualAlloc(size));
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % 4096);
  for (size_t i = 0; i < size; ++i) ASSERT_EQ(0, p[i]);
  std::memset(p, 0x5A, size);
  wnVirtualFree(p);
  wnVirtualFree(nullptr);
}

TEST(WnProcess, IdsAreNonZero) {
  EXPECT_NE(0u, wnCurrentProcessId());
  EXPECT_NE(0u, wnCurrentThreadId());
}

}  // namespace
