#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/WnHandle.h"
#include "platform/WnPostWindowMessageThread.h"
#include "platform/WnWait.h"

namespace {

constexpr uint32_t kNotifyMessage = WN_WM_APP + 10;  // 0x800A

TEST(WnPostWindowMessageThread, PostsOncePerSignalAndStops) {
  wntest::RecordingWindow w;
  ASSERT_NE(nullptr, w.window());
  WnEvent watched;
  ASSERT_EQ(0u, watched.create(false, false));
  WnPostWindowMessageThread poster;
  ASSERT_EQ(0u, poster.start(w.window(), watched.get(), kNotifyMessage));
  for (size_t n = 1; n <= 3; ++n) {
    ASSERT_EQ(0u, watched.set());
    ASSERT_TRUE(w.waitFor(kNotifyMessage, n, 10000)) << n;
  }
  w.pump(100);
  EXPECT_EQ(3u, w.count(kNotifyMessage));
  for (const auto& m : w.messages()) {
    EXPECT_EQ(0u, m.wParam);
    EXPECT_EQ(0, m.lParam);
  }
  EXPECT_EQ(0u, poster.stop());
  EXPECT_FALSE(poster.thread.isValid());
  // Stopped: a further signal posts nothing.
  ASSERT_EQ(0u, watched.set());
  w.pump(100);
  EXPECT_EQ(3u, w.count(kNotifyMessage));
  EXPECT_EQ(0u, poster.stop());
}

TEST(WnPostWindowMessageThread, StopWinsWhenBothAreSignalled) {
  wntest::RecordingWindow w;
  WnEvent watched;
  ASSERT_EQ(0u, watched.create(true, false));
  WnPostWindowMessageThread poster;
  ASSERT_EQ(0u, poster.stopEvent.set());
  ASSERT_EQ(0u, watched.set());
  ASSERT_EQ(0u, poster.start(w.window(), watched.get(), kNotifyMessage));
  EXPECT_EQ(0u, poster.thread.wait(10000));
  w.pump(50);
  EXPECT_EQ(0u, w.count(kNotifyMessage));
}

TEST(WnPostWindowMessageThread, TheDestructorStopsTheThread) {
  wntest::RecordingWindow w;
  WnEvent watched;
  ASSERT_EQ(0u, watched.create(false, false));
  {
    WnPostWindowMessageThread poster;
    ASSERT_EQ(0u, poster.start(w.window(), watched.get(), kNotifyMessage));
    ASSERT_EQ(0u, watched.set());
    ASSERT_TRUE(w.waitFor(kNotifyMessage, 1, 10000));
  }
  SUCCEED();
}

TEST(WnMessageTarget, PostingToANullWindowGivesInvalidHandle) {
  EXPECT_EQ(uint32_t{WN_ERROR_INVALID_HANDLE}, wnPostMessage(nullptr, kNotifyMessage, 0, 0));
}

}  // namespace
