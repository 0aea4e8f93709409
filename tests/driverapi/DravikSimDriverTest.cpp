// The library against the simulated kernel driver: connecting, the device
// list through plug, unplug and replug, and requests relayed to a server.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "driverapi/DravikClient.h"
#include "driverapi/DravikIoctl.h"
#include "platform/WnHandle.h"
#include "platform/WnWait.h"
#include "simdriver/SimDriver.h"
#include "simdriver/SimInProcessTransport.h"
#include "simdriver/SimScenario.h"

namespace {

constexpr uint32_t kLongWaitMs = 60000;

// A minimal service: registered as the server, answers requests on its own
// thread until stopped.
class TestServer {
public:
  TestServer() { stop_.create(true, false); }
  ~TestServer() { stop(); }

  DravikStatus start() {
    if (DravikStatus s = driver_.openDriver(DRAVIK_DEVICE_NAME, true, true)) return s;
    if (DravikStatus s = driver_.registerInitiator(DRAVIK_INITIATOR_SERVICE)) {
      driver_.disconnect();
      return s;
    }
    thread_ = std::thread([this] { run(); });
    return 0;
  }
  void stop() {
    stop_.set();
    if (thread_.joinable()) thread_.join();
  }
  DravikStatus postNotification(uint32_t code) { return driver_.postNotification(code); }

  std::atomic<uint32_t> lastRate{0};

private:
  void run() {
    DravikRequestHandlerForwarderT<TestServer> requests(this, &TestServer::onRequest);
    const WnRawHandle handles[2] = {stop_.get(), driver_.messageEventHandle()};
    for (;;) {
      const uint32_t wait = wnWaitForMultiple(2, handles, WN_INFINITE, false);
      if (wait != WN_WAIT_OBJECT_0 + 1) return;
      driver_.processRequests(requests);
    }
  }
  DravikStatus onRequest(const DravikMessage& request, DravikMessage& reply) {
    switch (request.code) {
      case DRAVIK_MSG_SET_SAMPLE_RATE: {
        uint32_t rate = 0;
        if (DravikStatus s = request.readExact(&rate, sizeof rate)) return s;
        lastRate = rate;
        return rate == 12345 ? DravikStatus{DRAVIK_STATUS_INVALID_SAMPLE_RATE} : 0u;
      }
      case DRAVIK_MSG_GET_DEVICE_CONFIG: {
        DravikDeviceConfig config;
        if (DravikStatus s = request.readExact(&config, sizeof config)) return s;
        config.renderConfig = 0;
        config.captureConfig = 1;
        reply.code = DRAVIK_MSG_REPLY_DEVICE_CONFIG;
        return reply.setPayload(&config, sizeof config);
      }
      default:
        return DRAVIK_STATUS_INVALID_COMMAND;
    }
  }

  DravikDriver driver_;
  WnEvent stop_;
  std::thread thread_;
};

class DriverApiSimDriver : public ::testing::Test {
protected:
  void SetUp() override { dravikSetTransportFactory(&factory); }
  void TearDown() override {
    server.stop();
    dravikSetTransportFactory(nullptr);
  }

  SimDriver sim;
  SimInProcessTransportFactory factory{sim};
  TestServer server;
  DravikCplClient client;  // destroyed first: its channels close while the driver lives
};

TEST_F(DriverApiSimDriver, ConnectsAndReadsTheDriver) {
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  const SimHandleId h = sim.scenario().findHandle(DRAVIK_INITIATOR_CPL_MAIN);
  ASSERT_NE(h, SIM_NO_HANDLE);
  bool hasEvents = false;
  for (const SimHandleInfo& info : sim.scenario().handles())
    if (info.id == h) hasEvents = info.hasMessageEvent && info.hasNotificationEvent;
  EXPECT_TRUE(hasEvents);

  DravikDriverInfo info;
  ASSERT_EQ(client.getDriverInfo(info), 0u);
  EXPECT_EQ(info.interfaceMajor, 2u);
  DravikStreamState state;
  ASSERT_EQ(client.getStreamState(state), 0u);
  EXPECT_EQ(state.sampleRate, 48000u);

  DravikDriverInfo v3 = info;
  v3.interfaceMajor = 3;
  sim.scenario().setDriverInfo(v3);
  DravikClient other;
  EXPECT_EQ(other.connect(DRAVIK_DEVICE_NAME), DRAVIK_STATUS_VERSION_MISMATCH);
  EXPECT_FALSE(other.isOpen());
}

TEST_F(DriverApiSimDriver, TheDeviceListFollowsPlugUnplugAndReplug) {
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  bool changed = false;
  ASSERT_EQ(client.updateDeviceList(changed), 0u);
  EXPECT_TRUE(changed);
  ASSERT_EQ(client.deviceCount(), 1u);
  DravikDevice* first = client.deviceAt(0);
  EXPECT_EQ(std::u16string(first->record().serialNumber), u"T8-0001");
  EXPECT_EQ(std::u16string(first->record().deviceName), u"Tovix8");

  SimDeviceConfig second;
  second.serial = u"T8-0002";
  ASSERT_EQ(sim.scenario().plugDevice(second), 0u);
  ASSERT_EQ(client.updateDeviceList(changed), 0u);
  EXPECT_TRUE(changed);
  ASSERT_EQ(client.deviceCount(), 2u);
  EXPECT_EQ(client.deviceAt(0), first);
  ASSERT_EQ(client.updateDeviceList(changed), 0u);
  EXPECT_FALSE(changed);

  // Unplugged and plugged in again: new identifiers, the same object, bound anew.
  DravikDeviceId newIds{};
  ASSERT_EQ(sim.scenario().replugDevice(u"T8-0001", &newIds), 0u);
  ASSERT_EQ(client.updateDeviceList(changed), 0u);
  EXPECT_TRUE(changed);
  EXPECT_EQ(client.findDevice(newIds.deviceId0, newIds.deviceId1), first);
  ASSERT_EQ(first->setBypassMute(true), 0u) << "requests reach the plugged-in device";
  SimDeviceSnapshot snapshot;
  ASSERT_EQ(sim.scenario().deviceSnapshot(u"T8-0001", snapshot), 0u);
  EXPECT_TRUE(snapshot.bypassMute);

  ASSERT_EQ(sim.scenario().unplugDevice(u"T8-0002"), 0u);
  ASSERT_EQ(client.updateDeviceList(changed), 0u);
  EXPECT_TRUE(changed);
  ASSERT_EQ(client.deviceCount(), 1u);
  EXPECT_EQ(client.deviceAt(0), first);
}

TEST_F(DriverApiSimDriver, RequestsAreAnsweredByTheServer) {
  ASSERT_EQ(server.start(), 0u);
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);

  EXPECT_EQ(client.setSampleRate(44100, kLongWaitMs), 0u);
  EXPECT_EQ(server.lastRate.load(), 44100u);
  EXPECT_EQ(client.setSampleRate(12345, kLongWaitMs), DRAVIK_STATUS_INVALID_SAMPLE_RATE);
  EXPECT_EQ(client.setPolicy(1, kLongWaitMs), DRAVIK_STATUS_INVALID_COMMAND);

  uint32_t render = 7, capture = 7;
  EXPECT_EQ(client.getDeviceConfig(1, 2, render, capture), 0u);
  EXPECT_EQ(render, 0u);
  EXPECT_EQ(capture, 1u);

  DravikMessage request, reply;
  request.init(DRAVIK_MSG_TYPE_REQUEST, DRAVIK_MSG_SET_SAMPLE_RATE);
  const uint16_t tooShort = 1;
  request.setPayload(&tooShort, sizeof tooShort);
  ASSERT_EQ(client.sendRequest(request, reply, kLongWaitMs), 0u);
  EXPECT_EQ(reply.status, DRAVIK_STATUS_INVALID_MSG_SIZE);

  // A notification of the server reaches the client.
  ASSERT_EQ(client.drainNotifications(), 0u);
  ASSERT_EQ(server.postNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED), 0u);
  ASSERT_EQ(wnWaitForSingle(client.notificationEventHandle(), 10000), WN_WAIT_OBJECT_0);
  DravikMessage note;
  bool seen = false;
  while (client.nextNotification(note) == 0) seen = seen || note.code == DRAVIK_NOTIFY_DEVICE_LIST_CHANGED;
  EXPECT_TRUE(seen);
}

TEST_F(DriverApiSimDriver, ALateReplyIsDroppedByTheNextExchange) {
  ASSERT_EQ(server.start(), 0u);
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  SimScenario& sc = sim.scenario();
  const SimHandleId h = sc.findHandle(DRAVIK_INITIATOR_CPL_MAIN);
  ASSERT_EQ(sc.holdReplies(h), 0u);
  EXPECT_EQ(client.setSampleRate(12345, 100), DRAVIK_STATUS_TIMEOUT);
  ASSERT_TRUE(sc.waitForRequest(IOCTL_DRAVIK_POST_MESSAGE, 2, 10000)) << "the server answered";
  ASSERT_EQ(sc.releaseReplies(h), 0u);
  // The late reply (INVALID_SAMPLE_RATE) is in the queue; this exchange drops it.
  EXPECT_EQ(client.setSampleRate(96000, kLongWaitMs), 0u);
  EXPECT_EQ(server.lastRate.load(), 96000u);
}

TEST_F(DriverApiSimDriver, WithoutAServerARequestFails) {
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  EXPECT_EQ(client.setSampleRate(44100, kLongWaitMs), DRAVIK_STATUS_NO_SERVER) << "the post fails at once";
}

}  // namespace
