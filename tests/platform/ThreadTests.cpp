#include <gtest/gtest.h>

#include <atomic>

#include "platform/WnHandle.h"
#include "platform/WnSync.h"
#include "platform/WnThread.h"
#include "platform/WnWait.h"

namespace {

// A body that runs until its release event is set, then returns a code.
class GatedBody : public WnThreadCallbackInterface {
public:
  GatedBody() {
    release.create(true, false);
    entered.create(true, false);
  }
  uint32_t run() override {
    runs.fetch_add(1);
    seenThreadId.store(wnCurrentThreadId());
    entered.set();
    wnWaitForSingle(release.get(), WN_INFINITE);
    return exitCode;
  }
  WnEvent release;
  WnEvent entered;
  std::atomic<int> runs{0};
  std::atomic<uint32_t> seenThreadId{0};
  uint32_t exitCode = 42;
};

TEST(WnThread, StartRunsTheBodyAndWaitJoins) {
  GatedBody body;
  WnThread t;
  ASSERT_EQ(0u, t.start(&body, 0, 0));
  EXPECT_NE(0u, t.threadId());
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(body.entered.get(), 10000));
  EXPECT_EQ(t.threadId(), body.seenThreadId.load());
  EXPECT_NE(wnCurrentThreadId(), t.threadId());
  body.release.set();
  EXPECT_EQ(0u, t.wait(WN_INFINITE));
  EXPECT_FALSE(t.isValid());
  EXPECT_EQ(1, body.runs.load());
}

TEST(WnThread, SecondStartWithoutWaitGives183AndLeavesTheFirstThreadAlone) {
  GatedBody body;
  GatedBody other;
  WnThread t;
  ASSERT_EQ(0u, t.start(&body, 0, 0));
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(body.entered.get(), 10000));
  const WnRawHandle first = t.get();
  const uint32_t firstId = t.threadId();
  EXPECT_EQ(183u, t.start(&other, 0, 0));
  EXPECT_EQ(first, t.get());
  EXPECT_EQ(firstId, t.threadId());
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(other.entered.get(), 50));
  EXPECT_EQ(0, other.runs.load());
  // The first thread still runs and still answers to its handle.
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(t.get(), 0));
  body.release.set();
  EXPECT_EQ(0u, t.wait(WN_INFINITE));
  EXPECT_EQ(1, body.runs.load());
}

TEST(WnThread, WaitZeroOnARunningThreadGives258ThenJoinThenRestart) {
  GatedBody body;
  WnThread t;
  ASSERT_EQ(0u, t.start(&body, 0, 0));
  EXPECT_EQ(258u, t.wait(0));
  EXPECT_TRUE(t.isValid());
  EXPECT_EQ(259u, t.exitCode());  // still active
  body.release.set();
  EXPECT_EQ(0u, t.wait(WN_INFINITE));
  EXPECT_FALSE(t.isValid());
  EXPECT_EQ(0u, t.wait(0));  // no handle: 0

  // Started again after the join.
  body.release.reset();
  body.entered.reset();
  ASSERT_EQ(0u, t.start(&body, 0, 0));
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(body.entered.get(), 10000));
  body.release.set();
  EXPECT_EQ(0u, t.wait(WN_INFINITE));
  EXPECT_EQ(2, body.runs.load());
}

TEST(WnThread, AnEndedThreadThatWasNotWaitedForStillCountsAsStarted) {
  GatedBody body;
  body.release.set();
  body.exitCode = 7;
  WnThread t;
  ASSERT_EQ(0u, t.start(&body, 0, 0));
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(t.get(), 10000));
  EXPECT_EQ(7u, t.exitCode());
  GatedBody other;
  EXPECT_EQ(183u, t.start(&other, 0, 0));
  EXPECT_EQ(0u, t.wait(0));
  EXPECT_EQ(0u, t.start(&other, 0, 0));
  other.release.set();
  EXPECT_EQ(0u, t.wait(WN_INFINITE));
}

struct Owner {
  uint32_t threadMain() { return 1234; }
};

TEST(WnThread, ForwarderCallsTheMemberFunctionAndItsResultIsTheExitCode) {
  Owner owner;
  WnThreadCallbackForwarderT<Owner> fwd;
  fwd.bind(&owner, &Owner::threadMain);
  WnThread t;
  ASSERT_EQ(0u, t.start(&fwd, 0, 0));
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(t.get(), 10000));
  EXPECT_EQ(1234u, t.exitCode());
  EXPECT_EQ(0u, t.wait(WN_INFINITE));
}

TEST(WnThread, PriorityCanBeRaisedAndLoweredOnTheCallingThread) {
  struct Body : WnThreadCallbackInterface {
    uint32_t run() override {
      uint32_t a = wnSetCurrentThreadPriority(WnThreadPriority::TimeCritical);
      uint32_t b = wnSetCurrentThreadPriority(WnThreadPriority::Normal);
      return a == 0 && b == 0 ? 0 : 1;
    }
  } body;
  WnThread t;
  ASSERT_EQ(0u, t.start(&body, 0, 0));
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(t.get(), 10000));
  EXPECT_EQ(0u, t.exitCode());
}

// ---- WnRecursiveLock ----

class LockProbe : public WnThreadCallbackInterface {
public:
  explicit LockProbe(WnRecursiveLock& l) : lock(l) { done.create(true, false); }
  uint32_t run() override {
    gotItAtFirst = lock.tryLock();
    if (gotItAtFirst) lock.unlock();
    lock.lock();  // blocks until the owner released it fully
    acquired.store(true);
    lock.unlock();
    done.set();
    return 0;
  }
  WnRecursiveLock& lock;
  bool gotItAtFirst = true;
  std::atomic<bool> acquired{false};
  WnEvent done;
};

TEST(WnRecursiveLock, TheOwnerMayReEnterAndAnotherThreadIsExcluded) {
  WnRecursiveLock lock;
  lock.lock();
  lock.lock();
  EXPECT_TRUE(lock.tryLock());
  LockProbe probe(lock);
  WnThread t;
  ASSERT_EQ(0u, t.start(&probe, 0, 0));
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(probe.done.get(), 100));
  EXPECT_FALSE(probe.acquired.load());
  lock.unlock();
  lock.unlock();
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(probe.done.get(), 50));
  EXPECT_FALSE(probe.acquired.load());
  lock.unlock();
  EXPECT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(probe.done.get(), 10000));
  EXPECT_EQ(0u, t.wait(WN_INFINITE));
  EXPECT_FALSE(probe.gotItAtFirst);
  EXPECT_TRUE(probe.acquired.load());
}

TEST(WnLockGuard, HoldsTheLockForItsScope) {
  WnRecursiveLock lock;
  {
    WnLockGuard guard(lock);
    LockProbe probe(lock);
    WnThread t;
    ASSERT_EQ(0u, t.start(&probe, 0, 0));
    EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(probe.done.get(), 50));
    lock.unlock();  // hand it over early, then take it back for the guard
    EXPECT_EQ(0u, t.wait(WN_INFINITE));
    lock.lock();
  }
  EXPECT_TRUE(lock.tryLock());
  lock.unlock();
}

}  // namespace
