// The simulated driver in a process of its own (tovix8sim), with the
// administrator's opt-in set, used from this process and from helper
// processes as the programs of the package use it: channels, the relay
// between three processes, events duplicated from other processes and
// signalled by the simulator, the switch block and channel buffers written
// into this process, bad addresses and handles that harm nobody, a client
// killed while it waits for its reply, device-interface events reaching a
// notificator, and no pipe at all without the opt-in.
//
// Windows only (other processes' handles and memory); the programs' paths
// come from TOVIX8_SIM_EXE and TOVIX8_HELPER_EXE.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "ToolsTestSupport.h"
#include "driverapi/DravikClient.h"
#include "driverapi/DravikIoctl.h"
#include "platform/WnDeviceNotification.h"
#include "platform/WnMemory.h"
#include "platform/WnProcess.h"
#include "platform/WnWait.h"
#include "simdriver/SimChannelCatalog.h"
#include "simdriver/process/SimControlServer.h"
#include "simdriver/process/SimDeviceEventPublisher.h"
#include "simdriver/process/SimText.h"

namespace {

using tooltest::kLongWaitMs;
using tooltest::waitUntil;

std::u16string program(const char* variable) {
  const char* v = std::getenv(variable);
  return v ? simFromUtf8(v) : std::u16string();
}

std::u16string inQuotes(const std::u16string& path) { return u"\"" + path + u"\""; }

class SimProcess : public ::testing::Test {
protected:
  void SetUp() override {
    simExe = program("TOVIX8_SIM_EXE");
    helperExe = program("TOVIX8_HELPER_EXE");
    ASSERT_FALSE(simExe.empty()) << "TOVIX8_SIM_EXE is not set";
    ASSERT_FALSE(helperExe.empty()) << "TOVIX8_HELPER_EXE is not set";
    pipe = u"\\\\.\\pipe\\" + tooltest::uniquePipe("proc");
    ASSERT_EQ(sim.start((inQuotes(simExe) + u" --pipe " + pipe).c_str()), 0u);
    ASSERT_TRUE(waitUntil([&] { return control("devices").status == SIM_CONTROL_OK; })) << "the simulator serves";
    optIn = std::make_unique<tooltest::OptIn>(pipe.c_str());
    ASSERT_EQ(optIn->result(), 0u);
  }
  void TearDown() override {
    client.disconnect();
    for (WnProcess* p : {&service, &requester})
      if (p->isOpen()) {
        p->terminate(1);
        p->wait(kLongWaitMs);
      }
    if (sim.isOpen()) {
      control("stop");
      if (sim.wait(kLongWaitMs) != 0) sim.terminate(1);
    }
    optIn.reset();
  }

  SimControlAnswer control(const std::string& line) { return simSendControlCommand(pipe.c_str(), line, 2000); }
  std::string dump() { return control("dump journal=0").text; }
  bool dumpHas(const std::string& text) { return dump().find(text) != std::string::npos; }
  void startService() {
    ASSERT_EQ(service.start((inQuotes(helperExe) + u" service").c_str()), 0u);
    ASSERT_TRUE(waitUntil([&] { return dumpHas(simFormat(" pid=%u registered=1 initiator=0 ", service.processId())); }))
        << dump();
  }

  std::u16string simExe;
  std::u16string helperExe;
  std::u16string pipe;
  WnProcess sim;
  WnProcess service;
  WnProcess requester;
  std::unique_ptr<tooltest::OptIn> optIn;
  DravikCplClient client;
};

TEST_F(SimProcess, RequestsTravelBetweenThreeProcessesAndEventsAreSignalledAcross) {
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  bool changed = false;
  ASSERT_EQ(client.updateDeviceList(changed), 0u);
  ASSERT_EQ(client.deviceCount(), 1u);
  EXPECT_EQ(std::u16string(client.deviceAt(0)->record().serialNumber), u"T8-0001");
  EXPECT_TRUE(dumpHas(simFormat(" pid=%u registered=1 initiator=2 ", wnCurrentProcessId())));

  startService();
  ASSERT_EQ(client.drainNotifications(), 0u);
  EXPECT_EQ(client.setSampleRate(96000, kLongWaitMs), 0u);
  EXPECT_EQ(client.setSampleRate(12345, kLongWaitMs), DRAVIK_STATUS_INVALID_SAMPLE_RATE);
  std::vector<uint32_t> codes;
  ASSERT_TRUE(waitUntil([&] {
    if (wnWaitForSingle(client.notificationEventHandle(), 100) == WN_WAIT_OBJECT_0) {
      DravikMessage m;
      while (client.nextNotification(m) == 0) codes.push_back(m.code);
    }
    return codes.size() >= 2;
  }));
  EXPECT_EQ(codes[0], DRAVIK_NOTIFY_STREAM_RESTARTED);
  EXPECT_EQ(codes[1], DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED);

  // The service process ends: its handle goes, and a request finds no server.
  ASSERT_EQ(service.terminate(1), 0u);
  ASSERT_EQ(service.wait(kLongWaitMs), 0u);
  service.close();
  ASSERT_TRUE(waitUntil([&] { return !dumpHas("initiator=0 "); }));
  EXPECT_EQ(client.setSampleRate(48000, kLongWaitMs), DRAVIK_STATUS_NO_SERVER);
}

TEST_F(SimProcess, TheSwitchBlockAndTheBuffersOfThisProcessAreWrittenByTheSimulator) {
  ASSERT_EQ(control("clock manual").status, SIM_CONTROL_OK);
  ASSERT_EQ(control("stream-state 4").status, SIM_CONTROL_OK);
  DravikAsioClient asio;
  ASSERT_EQ(asio.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_ASIO), 0u);
  DravikDeviceList list{};
  ASSERT_EQ(asio.getDeviceList(list), 0u);
  ASSERT_EQ(list.count, 1u);

  constexpr uint32_t kFrames = 128;
  constexpr uint32_t kHalf = kFrames * 4;
  WnEvent switchEvent;
  ASSERT_EQ(switchEvent.create(false, false), 0u);
  alignas(8) SwitchBlock block{0xAAAA, 0};
  std::vector<uint8_t> input(kHalf * 2, 0x11);
  std::vector<uint8_t> output(kHalf * 2);
  for (size_t i = 0; i < output.size(); ++i) output[i] = static_cast<uint8_t>(i * 7 + 3);
  const uint32_t id0 = list.devices[0].deviceId0;
  const DravikChannelKey in{id0, simChannelKey1(SimChannelId{true, false, 17})};
  const DravikChannelKey out{id0, simChannelKey1(SimChannelId{false, false, 17})};
  ASSERT_EQ(asio.setSwitchControl(&block, switchEvent.get(), kFrames), 0u);
  ASSERT_EQ(asio.openChannel(in), 0u);
  ASSERT_EQ(asio.openChannel(out), 0u);
  ASSERT_EQ(asio.setChannelBuffer(in, input.data(), kHalf), 0u);
  ASSERT_EQ(asio.setChannelBuffer(out, output.data(), kHalf), 0u);
  ASSERT_EQ(asio.start(), 0u);

  for (uint32_t n = 0; n < 4; ++n) {
    ASSERT_EQ(control("step").status, SIM_CONTROL_OK);
    ASSERT_EQ(wnWaitForSingle(switchEvent.get(), kLongWaitMs), WN_WAIT_OBJECT_0) << "switch " << n;
    const uint32_t half = n % 2;
    EXPECT_EQ(std::atomic_ref<uint32_t>(block.halfIndex).load(), half);
    EXPECT_EQ(std::memcmp(input.data() + half * kHalf, output.data() + half * kHalf, kHalf), 0)
        << "the output came back in input half " << half;
    std::atomic_ref<uint32_t>(block.acknowledge).fetch_add(1);
  }
  EXPECT_TRUE(dumpHas("switches=4 missed=0 half=1 open-channels=2 with-buffer=2 peer-faults=0")) << dump();
  ASSERT_EQ(asio.stop(), 0u);

  // The simulator's own clock drives the switches just the same.
  ASSERT_EQ(control("clock realtime").status, SIM_CONTROL_OK);
  std::fill(input.begin(), input.end(), 0x11);
  ASSERT_EQ(asio.start(), 0u);
  for (int n = 0; n < 8; ++n) {
    ASSERT_EQ(wnWaitForSingle(switchEvent.get(), kLongWaitMs), WN_WAIT_OBJECT_0) << "real-time switch " << n;
    std::atomic_ref<uint32_t>(block.acknowledge).fetch_add(1);
  }
  ASSERT_EQ(asio.stop(), 0u);
  EXPECT_EQ(std::memcmp(input.data(), output.data(), input.size()), 0) << "both input halves carry the output";
  EXPECT_EQ(asio.clearSwitchControl(), 0u);
}

TEST_F(SimProcess, BadHandlesAndAddressesFailWithoutHarmingAnybody) {
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  // An event handle that does not exist in this process.
  DravikDriver bogus;
  ASSERT_EQ(bogus.openDriver(DRAVIK_DEVICE_NAME, false, false), 0u);
  const DravikMessageEvents events{0x7FFFFF0, 0};
  EXPECT_NE(bogus.ioControl(IOCTL_DRAVIK_SET_MESSAGE_EVENTS, &events, sizeof events, nullptr, 0), 0u);

  // A switch block and buffers at addresses this process does not have.
  ASSERT_EQ(control("clock manual").status, SIM_CONTROL_OK);
  ASSERT_EQ(control("stream-state 4").status, SIM_CONTROL_OK);
  DravikAsioClient asio;
  ASSERT_EQ(asio.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_ASIO), 0u);
  DravikDeviceList list{};
  ASSERT_EQ(asio.getDeviceList(list), 0u);
  WnEvent switchEvent;
  ASSERT_EQ(switchEvent.create(false, false), 0u);
  SwitchControl c{};
  c.switchBlock = 0x10;  // the first page is never mapped
  c.switchEvent = reinterpret_cast<uintptr_t>(switchEvent.get());
  c.bufferSize = 64;
  ASSERT_EQ(asio.setSwitchControl(c), 0u);
  const DravikChannelKey in{list.devices[0].deviceId0, simChannelKey1(SimChannelId{true, false, 0})};
  ASSERT_EQ(asio.openChannel(in), 0u);
  void* freed = wnVirtualAlloc(4096);  // an address this process had and gave back
  ASSERT_NE(freed, nullptr);
  wnVirtualFree(freed);
  ASSERT_EQ(asio.setChannelBuffer(ChannelBuffer{in.channelKey0, in.channelKey1, 256, 4, reinterpret_cast<uintptr_t>(freed)}),
            0u);
  ASSERT_EQ(asio.start(), 0u);
  ASSERT_EQ(control("step").status, SIM_CONTROL_OK);
  ASSERT_EQ(wnWaitForSingle(switchEvent.get(), kLongWaitMs), WN_WAIT_OBJECT_0) << "the event is still signalled";
  EXPECT_TRUE(dumpHas("switches=1 ")) << dump();
  EXPECT_FALSE(dumpHas("peer-faults=0\n")) << "the failed copies are counted";

  // Everybody is still served.
  DravikStreamState state;
  EXPECT_EQ(client.getStreamState(state), 0u);
  EXPECT_EQ(state.streamState, DRAVIK_STREAM_RUNNING);
  uint32_t code = 0;
  EXPECT_EQ(sim.exitCode(code), 0u);
  EXPECT_EQ(code, 259u) << "the simulator runs";
}

TEST_F(SimProcess, KillingAClientThatWaitsForItsReplyHarmsNobody) {
  startService();
  ASSERT_EQ(control("hold-new-replies on").status, SIM_CONTROL_OK);
  ASSERT_EQ(requester.start((inQuotes(helperExe) + u" request 44100 120000").c_str()), 0u);
  const std::string waiting = simFormat(" pid=%u registered=1 initiator=3 ", requester.processId());
  ASSERT_TRUE(waitUntil([&] {
    const std::string d = dump();
    const size_t at = d.find(waiting);
    return at != std::string::npos && d.find(" parked=1\n", at) < d.find('\n', at);
  })) << "the request was answered and its reply is held: " << dump();
  ASSERT_EQ(control("hold-new-replies off").status, SIM_CONTROL_OK);

  ASSERT_EQ(requester.terminate(9), 0u);
  ASSERT_EQ(requester.wait(kLongWaitMs), 0u);
  ASSERT_TRUE(waitUntil([&] { return !dumpHas(waiting); })) << "its handle went with it";

  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  EXPECT_EQ(client.setSampleRate(48000, kLongWaitMs), 0u);
  EXPECT_TRUE(dumpHas(simFormat(" pid=%u registered=1 initiator=0 ", service.processId()))) << "the service is unharmed";
}

class Recorder : public WnPnPNotificatorCallbackInterface {
public:
  void onDeviceChange(uint32_t eventType, const WnDeviceInterfaceBroadcast* header) override {
    std::lock_guard<std::mutex> lock(m_);
    if (header && header->classGuid == kSimInterfaceClass) {
      events_.push_back(eventType);
      const auto* name = reinterpret_cast<const char16_t*>(reinterpret_cast<const uint8_t*>(header) + 28);
      names_.push_back(name);
    }
  }
  std::vector<uint32_t> events() {
    std::lock_guard<std::mutex> lock(m_);
    return events_;
  }
  std::u16string lastName() {
    std::lock_guard<std::mutex> lock(m_);
    return names_.empty() ? std::u16string() : names_.back();
  }

private:
  std::mutex m_;
  std::vector<uint32_t> events_;
  std::vector<std::u16string> names_;
};

TEST_F(SimProcess, DeviceInterfaceEventsReachARegisteredWindow) {
  Recorder recorder;
  WnPnPNotificator notificator;
  ASSERT_EQ(notificator.start(&recorder, nullptr), 0u);
  ASSERT_EQ(notificator.registerInterface(kSimInterfaceClass), 0u);
  ASSERT_TRUE(waitUntil([&] { return recorder.events().size() == 1; })) << "the present device's arrival";
  EXPECT_EQ(recorder.events()[0], WN_DBT_DEVICEARRIVAL);
  EXPECT_EQ(recorder.lastName(), u"\\\\?\\USB#VID_1E2D&PID_0108#T8-0001#{4033b9fa-a338-489f-8f9d-10a89289268b}");

  ASSERT_EQ(control("unplug 1").status, SIM_CONTROL_OK);  // the last device
  ASSERT_TRUE(waitUntil([&] { return recorder.events().size() == 2; }));
  ASSERT_EQ(control("plug T8-0009").status, SIM_CONTROL_OK);
  ASSERT_TRUE(waitUntil([&] { return recorder.events().size() == 3; }));
  const std::vector<uint32_t> seen = recorder.events();
  EXPECT_EQ(seen[1], WN_DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(seen[2], WN_DBT_DEVICEARRIVAL);
  EXPECT_NE(recorder.lastName().find(u"#T8-0009#"), std::u16string::npos);
  EXPECT_EQ(notificator.stop(kLongWaitMs), 0u);
}

TEST_F(SimProcess, WithoutTheOptInNoProgramUsesThePipe) {
  optIn.reset();
  tooltest::OptIn absent(nullptr);
  const std::string before = dump();
  EXPECT_EQ(client.connect(DRAVIK_DEVICE_NAME), WN_ERROR_FILE_NOT_FOUND) << "only the real device was tried";
  EXPECT_TRUE(dumpHas("handles count=0\n")) << dump();

  // A second simulator on the same pipe is refused.
  WnProcess second;
  ASSERT_EQ(second.start((inQuotes(simExe) + u" --pipe " + pipe).c_str()), 0u);
  ASSERT_EQ(second.wait(kLongWaitMs), 0u);
  uint32_t code = 0;
  ASSERT_EQ(second.exitCode(code), 0u);
  EXPECT_EQ(code, 1u);
}

}  // namespace
