// Faults under a streaming ASIO driver: the device unplugged in the middle of
// streaming and plugged in again (driver object, the real device server and
// the simulated kernel driver in this process), and the driver's handle
// closed under it while it streams (with the tests' stand-in service).
#include <gtest/gtest.h>

#include "../service/ServerFixture.h"
#include "AsioTestSupport.h"
#include "asio/AsioProduct.h"
#include "asio/AsioServer.h"
#include "driverapi/DravikClient.h"
#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikNames.h"

namespace asiotest {
namespace {

using AsioFault = AsioSimTest;

// Switches keep coming only while the simulated clock is stepped. The first
// two are the driver's own priming halves, delivered before it asks the
// kernel driver to start; count above 2 means the kernel driver streams.
bool stepUntilSwitches(SimDriver& sim, TestHost& host, size_t count, size_t starts) {
  // Steps count only once the kernel driver was asked to start.
  if (!sim.scenario().waitForRequest(IOCTL_DRAVIK_ASIO_START, starts, kWaitMs)) return false;
  // One step at a time, each waited for: steps given faster than the
  // streaming thread wakes would merge on its auto-reset switch event.
  for (int i = 0; i < 64 && host.switches().size() < count; ++i) {
    const size_t seen = host.switches().size();
    sim.scenario().stepSwitch();
    host.waitForSwitches(seen + 1, 2000);
  }
  return host.waitForSwitches(count);
}

// Expected: the driver's handle closed while it streams (as when its
// process dies) releases everything it held in the simulated driver
// (channels, switch control); other programs are not harmed; the driver
// object's own stop and dispose fail or succeed cleanly and release its
// buffers.
TEST_F(AsioFault, HandleClosedWhileStreamingReleasesWhatItHeldAndHarmsNobody) {
  DravikCplClient panel;
  ASSERT_EQ(0u, panel.connect(DRAVIK_DEVICE_NAME));
  createAndInit();
  std::vector<ASIOBufferInfo> infos = bufferInfos(2, 2);
  ASSERT_EQ(ASE_OK, asio->createBuffers(infos.data(), 4, 256, &host.callbacks));
  ASSERT_EQ(ASE_OK, asio->start());
  ASSERT_TRUE(stepUntilSwitches(sim, host, 4, 1));
  ASSERT_TRUE(sim.scenario().asioStats().started);

  const SimHandleId handle = asioHandle();
  ASSERT_NE(SIM_NO_HANDLE, handle);
  sim.closeHandle(handle);
  const SimAsioStats stats = sim.scenario().asioStats();
  EXPECT_EQ(0u, stats.openChannels);
  EXPECT_FALSE(stats.switchControlSet);
  EXPECT_FALSE(stats.started);
  // Switches no longer reach the closed handle's memory.
  const uint64_t faults = stats.peerFaults;
  for (int i = 0; i < 4; ++i) sim.scenario().stepSwitch();
  EXPECT_EQ(faults, sim.scenario().asioStats().peerFaults);

  DravikStreamState state{};
  EXPECT_EQ(0u, panel.getStreamState(state)) << "another program was harmed";

  asio->stop();
  asio->disposeBuffers();
  for (const RecordingAllocator::Block& b : allocator.blocks()) EXPECT_TRUE(b.released);
  EXPECT_EQ(0u, asio->Release());
  asio = nullptr;
}

// The ASIO driver with the service's CustomServer on its loop thread.
class AsioWithServer : public ServerFixture {
protected:
  void TearDown() override {
    if (asio) {
      asio->stop();
      asio->disposeBuffers();
      EXPECT_EQ(0u, asio->Release());
      asio = nullptr;
    }
    ServerFixture::TearDown();
  }
  IASIO* createDriver() {
    void* factoryItf = nullptr;
    EXPECT_EQ(asioDllGetClassObject(kTovix8AsioClsid, WN_IID_ICLASSFACTORY, &factoryItf), WN_S_OK);
    if (!factoryItf) return nullptr;
    auto* classFactory = static_cast<WnIClassFactory*>(factoryItf);
    void* itf = nullptr;
    EXPECT_EQ(classFactory->CreateInstance(nullptr, kTovix8AsioClsid, &itf), WN_S_OK);
    classFactory->Release();
    return static_cast<IASIO*>(itf);
  }
  std::vector<ASIOBufferInfo> bufferInfos() {
    std::vector<ASIOBufferInfo> infos;
    for (int i = 0; i < 2; ++i) infos.push_back(ASIOBufferInfo{ASIOTrue, i, {nullptr, nullptr}});
    for (int i = 0; i < 2; ++i) infos.push_back(ASIOBufferInfo{ASIOFalse, i, {nullptr, nullptr}});
    return infos;
  }

  TestHost host;
  IASIO* asio = nullptr;
};

// Expected: the unplug reaches the host as a reset request (the server
// restarts the stream and says so) or as a failing call, nothing crashes,
// and after the host's reset (stop, dispose, create, start) on the device
// plugged in again, streaming resumes.
TEST_F(AsioWithServer, UnplugDuringStreamingThenReplugAsksForAResetAndStreamingResumes) {
  SimDriverConfig config;
  config.clockMode = SimClockMode::Manual;
  startSim(config);
  startServer();
  asio = createDriver();
  ASSERT_NE(nullptr, asio);
  ASSERT_EQ(ASIOTrue, asio->init(nullptr));
  host.driver = asio;
  std::vector<ASIOBufferInfo> infos = bufferInfos();
  ASSERT_EQ(ASE_OK, asio->createBuffers(infos.data(), 4, 256, &host.callbacks));
  ASSERT_EQ(ASE_OK, asio->start());
  // Streaming for real (past the priming halves) before the unplug.
  ASSERT_TRUE(stepUntilSwitches(*sim_, host, 4, 1));
  ASSERT_TRUE(sc().asioStats().started);

  forgetNotifications();
  ASSERT_EQ(0u, sc().unplugDevice(kSerial));
  sc().raiseNotification(DRAVIK_NOTIFY_DEVICE_ARRIVED);
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED)) << "the server did not see the unplug";
  for (int i = 0; i < 4; ++i) sc().stepSwitch();
  SimDeviceConfig device;
  ASSERT_EQ(0u, plugDevice(device));
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED)) << "the server did not take the device up";
  const bool resetAsked = host.waitForMessage(kAsioResetRequest, 1);

  const ASIOError stopped = asio->stop();
  const ASIOError disposed = asio->disposeBuffers();
  EXPECT_TRUE(resetAsked || stopped != ASE_OK || disposed != ASE_OK)
      << "the host was neither asked for a reset nor told of an error";
  // With the server in place it is the reset request.
  EXPECT_TRUE(resetAsked);
  const size_t before = host.switches().size();
  infos = bufferInfos();
  ASSERT_EQ(ASE_OK, asio->createBuffers(infos.data(), 4, 256, &host.callbacks));
  ASSERT_EQ(ASE_OK, asio->start());
  EXPECT_TRUE(stepUntilSwitches(*sim_, host, before + 4, 2)) << "streaming did not resume after the reset";
}

}  // namespace
}  // namespace asiotest
