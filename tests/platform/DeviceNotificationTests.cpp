#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/WnDeviceNotification.h"
#include "platform/WnHandle.h"
#include "platform/WnWait.h"

namespace {

// {4033B9FA-A338-489F-8F9D-10A89289268B}, the driver's interface class.
constexpr WnGuid kDriverClass = {0x4033B9FA, 0xA338, 0x489F, {0x8F, 0x9D, 0x10, 0xA8, 0x92, 0x89, 0x26, 0x8B}};
constexpr WnGuid kOtherClass = {0x11111111, 0x2222, 0x3333, {4, 4, 5, 5, 6, 6, 7, 7}};

class RecordingCallback : public WnPnPNotificatorCallbackInterface {
public:
  RecordingCallback() { called.create(false, false); }
  void onDeviceChange(uint32_t eventType, const WnDeviceInterfaceBroadcast* header) override {
    {
      std::lock_guard<std::mutex> lk(m);
      events.push_back(eventType);
      guids.push_back(header->classGuid);
      threads.push_back(wnCurrentThreadId());
    }
    called.set();
  }
  std::vector<uint32_t> snapshot() {
    std::lock_guard<std::mutex> lk(m);
    return events;
  }
  std::mutex m;
  std::vector<uint32_t> events;
  std::vector<WnGuid> guids;
  std::vector<uint32_t> threads;
  WnEvent called;
};

WnDeviceInterfaceBroadcast interfaceHeader(const WnGuid& g) {
  WnDeviceInterfaceBroadcast h{};
  h.size = sizeof h;
  h.deviceType = WN_DBT_DEVTYP_DEVICEINTERFACE;
  h.classGuid = g;
  return h;
}

// DEV_BROADCAST_VOLUME: size, type 2, reserved, unit mask, flags.
struct VolumeHeader {
  uint32_t size, deviceType, reserved, unitMask;
  uint16_t flags;
};

std::u16string str(const char16_t* s) { return s ? std::u16string(s) : std::u16string(); }

std::u16string expectedPrefix(const char* base) {
  std::string s = std::string(base) + std::to_string(wnCurrentProcessId()) + "_";
  return std::u16string(s.begin(), s.end());
}

TEST(WnPnPNotificator, StartWithoutCallbackGives87) {
  WnPnPNotificator n;
  EXPECT_EQ(87u, n.start(nullptr, nullptr));
  EXPECT_FALSE(n.isRunning());
}

TEST(WnPnPNotificator, RegisterInterfaceBeforeStartGives13) {
  WnPnPNotificator n;
  EXPECT_EQ(13u, n.registerInterface(kDriverClass));
}

TEST(WnPnPNotificator, StartStopAndStartWhileRunning) {
  RecordingCallback cb;
  WnPnPNotificator n;
  ASSERT_EQ(0u, n.start(&cb, nullptr));
  EXPECT_TRUE(n.isRunning());
  EXPECT_NE(nullptr, n.window());
  EXPECT_EQ(1247u, n.start(&cb, nullptr));
  EXPECT_EQ(0u, n.registerInterface(kDriverClass));
  EXPECT_EQ(0u, n.stop(10000));
  EXPECT_FALSE(n.isRunning());
  EXPECT_EQ(nullptr, n.window());
  EXPECT_EQ(13u, n.registerInterface(kDriverClass));
  // Started again after a stop.
  ASSERT_EQ(0u, n.start(&cb, nullptr));
  EXPECT_EQ(0u, n.stop(10000));
}

TEST(WnPnPNotificator, StopOnAStoppedNotificatorReturnsZero) {
  WnPnPNotificator n;
  EXPECT_EQ(0u, n.stop(0));
  RecordingCallback cb;
  ASSERT_EQ(0u, n.start(&cb, nullptr));
  ASSERT_EQ(0u, n.registerInterface(kDriverClass));
  EXPECT_EQ(0u, n.stop(10000));
  EXPECT_EQ(0u, n.stop(10000));
  EXPECT_EQ(0u, n.stop(0));
}

TEST(WnPnPNotificator, NamesCarryTheProcessAndThreadIds) {
  RecordingCallback cb;
  WnPnPNotificator a, b;
  ASSERT_EQ(0u, a.start(&cb, nullptr));
  ASSERT_EQ(0u, b.start(&cb, nullptr));
  const std::u16string ca = str(a.className()), cb2 = str(b.className());
  EXPECT_EQ(0u, ca.find(expectedPrefix("PnPNotificatorWndCls_")));
  EXPECT_EQ(0u, cb2.find(expectedPrefix("PnPNotificatorWndCls_")));
  EXPECT_EQ(0u, str(a.windowName()).find(expectedPrefix("PnPNotificator_HiddenWindow_")));
  EXPECT_NE(ca, cb2);  // distinct threads, distinct class names
  // The suffix is a thread id other than the caller's.
  std::string mine = "_" + std::to_string(wnCurrentThreadId());
  std::u16string mine16(mine.begin(), mine.end());
  EXPECT_NE(ca.size() - mine16.size(), ca.rfind(mine16));
  EXPECT_EQ(0u, a.stop(10000));
  EXPECT_EQ(0u, b.stop(10000));
}

TEST(WnPnPNotificator, ArrivalAndRemovalReachTheCallbackOnTheNotificatorsThread) {
  RecordingCallback cb;
  WnPnPNotificator n;
  ASSERT_EQ(0u, n.start(&cb, nullptr));
  const WnDeviceInterfaceBroadcast h = interfaceHeader(kDriverClass);
  ASSERT_EQ(0u, wntest::deliverDeviceChange(n.window(), WN_DBT_DEVICEARRIVAL, &h));
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(cb.called.get(), 10000));
  ASSERT_EQ(0u, wntest::deliverDeviceChange(n.window(), WN_DBT_DEVICEREMOVECOMPLETE, &h));
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(cb.called.get(), 10000));
  EXPECT_EQ((std::vector<uint32_t>{WN_DBT_DEVICEARRIVAL, WN_DBT_DEVICEREMOVECOMPLETE}), cb.snapshot());
  EXPECT_EQ(kDriverClass, cb.guids[0]);
  EXPECT_NE(wnCurrentThreadId(), cb.threads[0]);
  EXPECT_EQ(0u, n.stop(10000));
}

TEST(WnPnPNotificator, OtherDeviceTypesAndOtherEventsDoNotReachTheCallback) {
  RecordingCallback cb;
  WnPnPNotificator n;
  ASSERT_EQ(0u, n.start(&cb, nullptr));
  VolumeHeader vol{sizeof(VolumeHeader), WN_DBT_DEVTYP_VOLUME, 0, 1u << 4, 0};
  ASSERT_EQ(0u, wntest::deliverDeviceChange(n.window(), WN_DBT_DEVICEARRIVAL, &vol));
  ASSERT_EQ(0u, wntest::deliverDeviceChange(n.window(), WN_DBT_DEVICEREMOVECOMPLETE, &vol));
  const WnDeviceInterfaceBroadcast h = interfaceHeader(kDriverClass);
  ASSERT_EQ(0u, wntest::deliverDeviceChange(n.window(), 0x8001 /* query remove */, &h));
  ASSERT_EQ(0u, wntest::deliverDeviceChange(n.window(), 0x0007 /* nodes changed */, nullptr));
  // Messages are handled in order: once this one arrived, the others were seen.
  ASSERT_EQ(0u, wntest::deliverDeviceChange(n.window(), WN_DBT_DEVICEARRIVAL, &h));
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(cb.called.get(), 10000));
  EXPECT_EQ(std::vector<uint32_t>{WN_DBT_DEVICEARRIVAL}, cb.snapshot());
  EXPECT_EQ(0u, n.stop(10000));
}

TEST(WnPnPNotificator, HandleMessageFiltersByEventAndDeviceType) {
  RecordingCallback cb;
  WnPnPNotificator n;
  ASSERT_EQ(0u, n.start(&cb, nullptr));
  const WnDeviceInterfaceBroadcast h = interfaceHeader(kOtherClass);
  VolumeHeader vol{sizeof(VolumeHeader), WN_DBT_DEVTYP_VOLUME, 0, 1, 0};
  EXPECT_EQ(0, n.handleMessage(n.window(), WN_WM_DEVICECHANGE, WN_DBT_DEVICEARRIVAL, reinterpret_cast<intptr_t>(&vol)));
  EXPECT_EQ(0, n.handleMessage(n.window(), WN_WM_DEVICECHANGE, 0x8003, reinterpret_cast<intptr_t>(&h)));
  EXPECT_TRUE(cb.snapshot().empty());
  EXPECT_EQ(0, n.handleMessage(n.window(), WN_WM_DEVICECHANGE, WN_DBT_DEVICEREMOVECOMPLETE,
                               reinterpret_cast<intptr_t>(&h)));
  EXPECT_EQ(std::vector<uint32_t>{WN_DBT_DEVICEREMOVECOMPLETE}, cb.snapshot());
  EXPECT_EQ(kOtherClass, cb.guids[0]);
  EXPECT_EQ(0u, n.stop(10000));
}

TEST(WnPnPNotificator, RaisedInterfaceEventsReachRegisteredNotificators) {
  RecordingCallback cb;
  WnPnPNotificator n;
  ASSERT_EQ(0u, n.start(&cb, nullptr));
  ASSERT_EQ(0u, n.registerInterface(kDriverClass));
  uint32_t r = wnRaiseDeviceInterfaceEvent(kDriverClass, WN_DBT_DEVICEARRIVAL);
  if (r == WN_ERROR_NOT_SUPPORTED) {
    n.stop(10000);
    GTEST_SKIP() << "the system delivers the real notifications here";
  }
  ASSERT_EQ(0u, r);
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(cb.called.get(), 10000));
  ASSERT_EQ(0u, wnRaiseDeviceInterfaceEvent(kOtherClass, WN_DBT_DEVICEARRIVAL));  // not registered
  ASSERT_EQ(0u, wnRaiseDeviceInterfaceEvent(kDriverClass, WN_DBT_DEVICEREMOVECOMPLETE));
  ASSERT_EQ(WN_WAIT_OBJECT_0, wnWaitForSingle(cb.called.get(), 10000));
  EXPECT_EQ((std::vector<uint32_t>{WN_DBT_DEVICEARRIVAL, WN_DBT_DEVICEREMOVECOMPLETE}), cb.snapshot());
  EXPECT_EQ(kDriverClass, cb.guids[1]);

  // stop removes the registrations: nothing arrives afterwards, not even
  // after a restart.
  EXPECT_EQ(0u, n.stop(10000));
  ASSERT_EQ(0u, n.start(&cb, nullptr));
  ASSERT_EQ(0u, wnRaiseDeviceInterfaceEvent(kDriverClass, WN_DBT_DEVICEARRIVAL));
  EXPECT_EQ(WN_WAIT_TIMEOUT, wnWaitForSingle(cb.called.get(), 200));
  EXPECT_EQ(2u, cb.snapshot().size());
  EXPECT_EQ(0u, n.stop(10000));
}

TEST(WnDeviceNotificationList, AddForWindowAndRemoveAll) {
  wntest::RecordingWindow w;
  ASSERT_NE(nullptr, w.window());
  WnDeviceNotificationList list;
  EXPECT_EQ(0u, list.count());
  ASSERT_EQ(0u, list.addForWindow(w.window(), kDriverClass));
  ASSERT_EQ(0u, list.addForWindow(w.window(), kOtherClass));
  EXPECT_EQ(2u, list.count());
  if (wnRaiseDeviceInterfaceEvent(kDriverClass, WN_DBT_DEVICEARRIVAL) == 0) {
    ASSERT_TRUE(w.waitFor(WN_WM_DEVICECHANGE, 1, 10000));
    auto msgs = w.messages();
    ASSERT_EQ(1u, msgs.size());
    EXPECT_EQ(WN_DBT_DEVICEARRIVAL, msgs[0].wParam);
    ASSERT_TRUE(msgs[0].hasHeader);
    EXPECT_EQ(32u, msgs[0].header.size);
    EXPECT_EQ(WN_DBT_DEVTYP_DEVICEINTERFACE, msgs[0].header.deviceType);
    EXPECT_EQ(kDriverClass, msgs[0].header.classGuid);
  }
  list.removeAll();
  EXPECT_EQ(0u, list.count());
  if (wnRaiseDeviceInterfaceEvent(kDriverClass, WN_DBT_DEVICEREMOVECOMPLETE) == 0) {
    w.pump(100);
    EXPECT_EQ(1u, w.count(WN_WM_DEVICECHANGE));
  }
}

TEST(WnDeviceNotificationList, ANullWindowIsRefusedAndNothingIsKept) {
  WnDeviceNotificationList list;
  EXPECT_NE(0u, list.addForWindow(nullptr, kDriverClass));
  EXPECT_EQ(0u, list.count());
}

}  // namespace
