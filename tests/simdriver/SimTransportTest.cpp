// The in-process transport: what the factory opens, that a program's own
// driver channels work against the simulator unchanged, and that destroying a
// transport closes its handle.
#include <thread>

#include "SimTestSupport.h"
#include "driverapi/DravikApiContext.h"
#include "driverapi/DravikClient.h"
#include "driverapi/DravikDriver.h"
#include "simdriver/SimInProcessTransport.h"

namespace {

std::u16string path(const char16_t* name) { return std::u16string(u"\\\\.\\") + name; }

class SimTransportBench : public ::testing::Test {
protected:
  SimDriver driver{manualClockConfig()};
  SimInProcessTransportFactory factory{driver};
  void SetUp() override { dravikSetTransportFactory(&factory); }
  void TearDown() override { dravikSetTransportFactory(nullptr); }
  size_t liveHandles() { return driver.scenario().handles().size(); }
};

TEST_F(SimTransportBench, OpensOnlyTheDriversControlDevice) {
  std::unique_ptr<DravikTransport> t;
  EXPECT_STATUS(0, factory.open(path(DRAVIK_DEVICE_NAME).c_str(), nullptr, t));
  ASSERT_TRUE(t);
  EXPECT_STATUS(0, factory.open(path(u"{4033b9fa-a338-489f-8f9d-10a89289268b}").c_str(), nullptr, t))
      << "device names do not depend on case";
  for (const std::u16string& p : {std::u16string(DRAVIK_DEVICE_NAME), path(u"{4033B9FA-A338-489F-8F9D-10A89289268C}"),
                                  path(DRAVIK_DEVICE_NAME) + u"x", path(u""), std::u16string()}) {
    std::unique_ptr<DravikTransport> none;
    EXPECT_STATUS(WN_ERROR_FILE_NOT_FOUND, factory.open(p.c_str(), nullptr, none));
    EXPECT_FALSE(none);
  }
  EXPECT_STATUS(WN_ERROR_FILE_NOT_FOUND, factory.open(nullptr, nullptr, t));
  EXPECT_EQ(0u, liveHandles()) << "the failed open released the transport it held";
}

TEST_F(SimTransportBench, DestroyingATransportClosesItsHandleAndWhatItRegistered) {
  const SimHandleId server = driver.openHandle(std::make_unique<SimInProcessPeer>());
  uint32_t type = DRAVIK_INITIATOR_SERVICE;
  ASSERT_STATUS(0, driver.ioControl(server, IOCTL_DRAVIK_REGISTER_INITIATOR, &type, 4, nullptr, 0, nullptr));

  std::unique_ptr<DravikTransport> t;
  ASSERT_STATUS(0, factory.open(path(DRAVIK_DEVICE_NAME).c_str(), nullptr, t));
  EXPECT_EQ(factory.lastHandle(), driver.scenario().lastHandle());
  type = DRAVIK_INITIATOR_ASIO;
  ASSERT_STATUS(0, t->ioControl(IOCTL_DRAVIK_REGISTER_INITIATOR, &type, 4, nullptr, 0, nullptr));
  EXPECT_EQ(factory.lastHandle(), driver.scenario().findHandle(DRAVIK_INITIATOR_ASIO));
  t.reset();
  EXPECT_EQ(SIM_NO_HANDLE, driver.scenario().findHandle(DRAVIK_INITIATOR_ASIO));

  DravikMessage m;
  std::vector<uint32_t> codes;
  while (driver.ioControl(server, IOCTL_DRAVIK_READ_NOTIFICATION, nullptr, 0, &m, sizeof m, nullptr) == 0)
    codes.push_back(m.code);
  EXPECT_EQ((std::vector<uint32_t>{DRAVIK_NOTIFY_ACTIVITY_STARTED, DRAVIK_NOTIFY_ACTIVITY_ENDED}), codes);
}

TEST_F(SimTransportBench, TheLibrarysChannelChecksTheInterfaceVersion) {
  DravikApiContext channel;
  ASSERT_STATUS(0, channel.open(DRAVIK_DEVICE_NAME));
  DravikDriverInfo info{};
  ASSERT_STATUS(0, channel.getDriverInfo(info));
  EXPECT_EQ(36u, info.driverMinor);
  channel.close();
  EXPECT_EQ(0u, liveHandles());

  for (uint32_t major : {1u, 3u}) {
    driver.scenario().setDriverInfo(DravikDriverInfo{major, 0, 1, 36, 1, 0});
    EXPECT_STATUS(DRAVIK_STATUS_VERSION_MISMATCH, channel.open(DRAVIK_DEVICE_NAME));
    EXPECT_FALSE(channel.isOpen());
    EXPECT_EQ(0u, liveHandles());
  }
}

// A control panel's client and a service's driver object, both from the
// library, exchange a request and its reply through the simulator.
TEST_F(SimTransportBench, ARequestTravelsFromTheLibrarysClientToItsServerAndBack) {
  DravikDriver server;
  ASSERT_STATUS(0, server.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_SERVICE));
  DravikCplClient client;
  ASSERT_STATUS(0, client.connect(DRAVIK_DEVICE_NAME));

  struct Handler : DravikRequestHandlerInterface {
    uint32_t rate = 0;
    DravikStatus onRequest(const DravikMessage& request, DravikMessage&) override {
      request.readExact(&rate, 4);
      return DRAVIK_STATUS_SOUND_DEVICE_IN_USE;
    }
  } handler;
  std::thread serverThread([&] {
    if (wnWaitForSingle(server.messageEventHandle(), kEventTimeoutMs) == WN_WAIT_OBJECT_0)
      server.processRequests(handler);
  });
  EXPECT_STATUS(DRAVIK_STATUS_SOUND_DEVICE_IN_USE, client.setSampleRate(88200, kEventTimeoutMs));
  serverThread.join();
  EXPECT_EQ(88200u, handler.rate);

  bool changed = false;
  ASSERT_STATUS(0, client.updateDeviceList(changed));
  EXPECT_TRUE(changed);
  ASSERT_EQ(1u, client.deviceCount());
  EXPECT_EQ(std::u16string(u"T8-0001"), std::u16string(client.deviceAt(0)->record().serialNumber));
}

}  // namespace
