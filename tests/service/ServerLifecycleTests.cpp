// The device server's loop over its life: start-up, the last device going
// and a new one arriving, a second server, the controllers' timer waking the
// loop, and stopping.
#include <gtest/gtest.h>

#include "ServerFixture.h"
#include "platform/WnWait.h"
#include "service/CustomDevice.h"

namespace {

class ServerLifecycle : public ServerFixture {};

TEST_F(ServerLifecycle, StartUpRegistersAndOpensTheDevice) {
  startServer();
  ASSERT_NE(SIM_NO_HANDLE, serverHandle());
  const SimDeviceSnapshot s = snapshot();
  EXPECT_TRUE(s.deviceSetupSet);
  EXPECT_TRUE(s.channelNamesSet);
  EXPECT_TRUE(s.endpointsSet);
  // Start-up raises to Ready; nothing wants the stream yet.
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_READY}, sc().settings().streamState.streamState);
  EXPECT_EQ(0u, stopServer());
  // The channel goes with the server object.
  EXPECT_NE(SIM_NO_HANDLE, serverHandle());
  server_.reset();
  EXPECT_EQ(SIM_NO_HANDLE, serverHandle());
}

// The last device goes: 3010 and 3030, then the channel is closed. The next
// arrival reconnects and does the device's start-up again.
TEST_F(ServerLifecycle, LastDeviceGoneThenArrival) {
  startServer();
  const SimHandleId first = serverHandle();
  forgetNotifications();
  ASSERT_EQ(0u, sc().unplugDevice(kSerial));  // the driver raises 3020
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_STREAM_RESTARTED));
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED));
  // The channel goes: its events are withdrawn before it closes.
  ASSERT_TRUE(sc().waitForRequest(IOCTL_DRAVIK_SET_MESSAGE_EVENTS, 2, kWaitMs, first));

  forgetNotifications();
  SimDeviceConfig device;
  device.serial = u"T8-0002";
  ASSERT_EQ(0u, plugDevice(device));
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED)) << "no reconnect after the arrival";
  const SimHandleId second = serverHandle();
  EXPECT_NE(SIM_NO_HANDLE, second);
  EXPECT_NE(first, second);
  bool firstStillOpen = false;
  for (const SimHandleInfo& h : sc().handles())
    if (h.id == first) firstStillOpen = true;
  EXPECT_FALSE(firstStillOpen);

  const SimDeviceSnapshot s = snapshot(u"T8-0002");
  EXPECT_TRUE(s.deviceSetupSet);
  EXPECT_TRUE(s.channelNamesSet);
  EXPECT_TRUE(s.endpointsSet);
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_READY}, sc().settings().streamState.streamState);
  // The reconnected server serves requests.
  const DravikDeviceId ids = deviceIds(u"T8-0002");
  uint32_t render = 9, capture = 9;
  EXPECT_EQ(0u, client_.getDeviceConfig(ids.deviceId0, ids.deviceId1, render, capture));
  EXPECT_EQ(0u, render);
}

// Without any device the server posts 3010 and 3030 and closes at once; a
// device removal event does not wake it, an arrival does.
TEST_F(ServerLifecycle, StartWithoutDevices) {
  SimDriverConfig config;
  config.devices.clear();
  startSim(config);
  startServer();
  // Client, server open, server close.
  ASSERT_TRUE(sc().waitForRequest(IOCTL_DRAVIK_SET_MESSAGE_EVENTS, 3, kWaitMs));
  forgetNotifications();
  ASSERT_EQ(0u, plugDevice(SimDeviceConfig()));
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED));
  EXPECT_NE(SIM_NO_HANDLE, serverHandle());
  EXPECT_TRUE(snapshot().endpointsSet);
}

// While connected, a second device arriving is opened; one leaving is
// dropped at the next 3005.
TEST_F(ServerLifecycle, DevicesComeAndGoWhileConnected) {
  startServer();
  SimDeviceConfig second;
  second.serial = u"T8-0002";
  forgetNotifications();
  ASSERT_EQ(0u, plugDevice(second));
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_STREAM_RESTARTED));
  EXPECT_TRUE(snapshot(u"T8-0002").endpointsSet);
  const DravikDeviceId ids = deviceIds(u"T8-0002");
  uint32_t render = 9, capture = 9;
  EXPECT_EQ(0u, client_.getDeviceConfig(ids.deviceId0, ids.deviceId1, render, capture));

  // The removal (3020) drops the controller at once: the stream can still
  // be brought up with the device that is left.
  ASSERT_EQ(0u, sc().unplugDevice(u"T8-0002"));
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_STREAM_RESTARTED));
  EXPECT_EQ(DRAVIK_STATUS_OBJECT_NOT_FOUND, client_.getDeviceConfig(ids.deviceId0, ids.deviceId1, render, capture));
  EXPECT_NE(SIM_NO_HANDLE, serverHandle()) << "one device is left: the channel stays open";
  sc().setActivity(1, 1);
  barrier();
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_RUNNING}, sc().settings().streamState.streamState);

  // 3005 refreshes the list and tells the clients even without a change.
  forgetNotifications();
  sc().raiseNotification(DRAVIK_NOTIFY_DEVICE_ARRIVED);
  EXPECT_TRUE(waitForNotification(DRAVIK_NOTIFY_STREAM_RESTARTED));
  EXPECT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED));
}

// Another server is registered: a second one's loop returns at once.
TEST_F(ServerLifecycle, SecondServerGetsAlreadyDone) {
  startServer();
  CustomServer second;
  WnEvent stop, arrival;
  ASSERT_EQ(0u, stop.create(false, false));
  ASSERT_EQ(0u, arrival.create(false, false));
  EXPECT_EQ(DRAVIK_STATUS_ALREADY_DONE, second.run(stop.get(), arrival.get()));
  EXPECT_FALSE(second.isOpen());
  // The first one goes on serving.
  EXPECT_EQ(0u, client_.setIoFormat(0, kRequestTimeoutMs));
}

// The controller's timer is an APC to the server thread: it wakes the
// loop, which goes on serving.
TEST_F(ServerLifecycle, TimerApcWakesTheLoop) {
  WnEvent woke;
  ASSERT_EQ(0u, woke.create(true, false));
  server_->setApcWakeSignal(woke.get());
  startServer();
  EXPECT_EQ(uint32_t{WN_WAIT_OBJECT_0}, wnWaitForSingle(woke.get(), kWaitMs));
  EXPECT_EQ(0u, client_.setIoFormat(1, kRequestTimeoutMs));
  const CustomDevice* device = dynamic_cast<const CustomDevice*>(server_->deviceAt(0));
  ASSERT_NE(nullptr, device);
  EXPECT_TRUE(device->timerRunning());
}

// No server: requests fail in the driver; a server that cannot reach the
// driver still stops cleanly.
TEST_F(ServerLifecycle, NoDriverStopsCleanly) {
  dravikSetTransportFactory(nullptr);  // the default: no device to open
  CustomServer server;
  WnEvent stop, arrival;
  ASSERT_EQ(0u, stop.create(false, false));
  ASSERT_EQ(0u, arrival.create(false, false));
  ASSERT_EQ(0u, arrival.set());  // an arrival while there is no driver
  ASSERT_EQ(0u, stop.set());
  EXPECT_EQ(0u, server.run(stop.get(), arrival.get()));
  EXPECT_FALSE(server.isOpen());
}

}  // namespace
