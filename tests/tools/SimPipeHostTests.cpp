// The simulator's process host, served in this process over real pipes:
// driver channels through the pipe transport, the relay with events handed
// over and signalled through the remote peer, the switch block and the
// channel buffers written through it, malformed frames, clean-up after a
// connection ends, the control interface, the device-event pipe, and the
// opt-in of the default transport factory.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "ToolsTestSupport.h"
#include "driverapi/DravikClient.h"
#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikPipeFrame.h"
#include "driverapi/DravikPipeTransport.h"
#include "platform/WnDeviceNotification.h"
#include "platform/WnPipe.h"
#include "platform/WnWait.h"
#include "simdriver/SimChannelCatalog.h"
#include "simdriver/SimScenario.h"
#include "simdriver/process/SimControlServer.h"
#include "simdriver/process/SimDeviceEventPublisher.h"
#include "simdriver/process/SimHost.h"

namespace {

using tooltest::kLongWaitMs;
using tooltest::waitUntil;

class SimPipeHost : public ::testing::Test {
protected:
  void SetUp() override {
    options.pipe = tooltest::uniquePipe("host");
    host = std::make_unique<SimHost>(options);
    std::string error;
    ASSERT_EQ(host->start(error), 0u) << error;
    factory = std::make_unique<DravikPipeTransportFactory>(host->pipePath());
    dravikSetTransportFactory(factory.get());
  }
  void TearDown() override {
    client.disconnect();
    client.destroyAllDevices();
    dravikSetTransportFactory(nullptr);
    host->stop();
  }

  SimScenario& scenario() { return host->driver().scenario(); }
  SimControlAnswer control(const std::string& line) {
    return simSendControlCommand(host->pipePath(), line, kLongWaitMs);
  }
  size_t liveHandles() { return scenario().handles().size(); }
  std::string dump() { return control("dump journal=0").text; }

  // A client that reaches the destructor's list operations only from here.
  struct Client : DravikCplClient {
    void destroyAllDevices() { destroyDevices(); }
  };

  SimHostOptions options;
  std::unique_ptr<SimHost> host;
  std::unique_ptr<DravikPipeTransportFactory> factory;
  Client client;
};

TEST_F(SimPipeHost, DriverAndDeviceChannelsWorkOverThePipe) {
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  DravikDriverInfo info;
  ASSERT_EQ(client.getDriverInfo(info), 0u);
  EXPECT_EQ(info.interfaceMajor, 2u);
  EXPECT_EQ(info.driverMinor, 36u);

  bool changed = false;
  ASSERT_EQ(client.updateDeviceList(changed), 0u);
  ASSERT_EQ(client.deviceCount(), 1u);
  EXPECT_EQ(std::u16string(client.deviceAt(0)->record().serialNumber), u"T8-0001");
  ASSERT_EQ(client.deviceAt(0)->setBypassMute(true), 0u) << "a request on the device's own channel";
  SimDeviceSnapshot snapshot;
  ASSERT_EQ(scenario().deviceSnapshot(u"T8-0001", snapshot), 0u);
  EXPECT_TRUE(snapshot.bypassMute);

  // The driver's statuses come back unchanged.
  DravikStreamState state;
  scenario().failRequest(IOCTL_DRAVIK_GET_STREAM_STATE, DRAVIK_STATUS_IN_ERROR_STATE);
  EXPECT_EQ(client.getStreamState(state), DRAVIK_STATUS_IN_ERROR_STATE);
  EXPECT_EQ(client.ioControl(0x80880000, nullptr, 0, nullptr, 0), DRAVIK_STATUS_INVALID_IOCTL);

  // Two connections, the driver's and the device's, both named after this process.
  const std::string text = dump();
  EXPECT_NE(text.find("connections count=2 "), std::string::npos) << text;
  EXPECT_NE(text.find(" pid=" + std::to_string(wnCurrentProcessId()) + " registered=1 initiator=2 "),
            std::string::npos)
      << text;

  // Only the driver's own device path goes to the pipe.
  std::unique_ptr<DravikTransport> t;
  EXPECT_EQ(factory->open(u"\\\\.\\{00000000-0000-0000-0000-000000000000}", nullptr, t), WN_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(factory->open(u"\\\\.\\{4033b9fa-a338-489f-8f9d-10a89289268b}", nullptr, t), 0u) << "case is ignored";
}

TEST_F(SimPipeHost, RequestsRepliesAndNotificationsAreRelayed) {
  tooltest::StandInService service;
  ASSERT_EQ(service.start(), 0u);
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  ASSERT_EQ(client.drainNotifications(), 0u);

  EXPECT_EQ(client.setSampleRate(96000, kLongWaitMs), 0u);
  EXPECT_EQ(service.lastRate.load(), 96000u);
  EXPECT_EQ(client.setSampleRate(12345, kLongWaitMs), DRAVIK_STATUS_INVALID_SAMPLE_RATE);

  // 3010 then 3011, signalled on the client's own notification event.
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
}

TEST_F(SimPipeHost, TheSwitchBlockAndTheInputBuffersAreWrittenBeforeEachSignal) {
  ASSERT_EQ(control("clock manual").status, SIM_CONTROL_OK);
  scenario().forceStreamState(DRAVIK_STREAM_RUNNING);
  DravikAsioClient asio;
  ASSERT_EQ(asio.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_ASIO), 0u);
  DravikDeviceId ids{};
  ASSERT_EQ(scenario().deviceIds(u"T8-0001", ids), 0u);

  constexpr uint32_t kFrames = 64;
  constexpr uint32_t kHalf = kFrames * 4;
  WnEvent switchEvent;
  ASSERT_EQ(switchEvent.create(false, false), 0u);
  alignas(8) SwitchBlock block{0xAAAA, 0};
  std::vector<uint8_t> input(kHalf * 2, 0x11);
  std::vector<uint8_t> output(kHalf * 2, 0x5A);
  const DravikChannelKey in{ids.deviceId0, simChannelKey1(SimChannelId{true, false, 3})};
  const DravikChannelKey out{ids.deviceId0, simChannelKey1(SimChannelId{false, false, 3})};
  ASSERT_EQ(asio.setSwitchControl(&block, switchEvent.get(), kFrames), 0u);
  ASSERT_EQ(asio.openChannel(in), 0u);
  ASSERT_EQ(asio.openChannel(out), 0u);
  ASSERT_EQ(asio.setChannelBuffer(in, input.data(), kHalf), 0u);
  ASSERT_EQ(asio.setChannelBuffer(out, output.data(), kHalf), 0u);
  ASSERT_EQ(asio.start(), 0u);

  for (uint32_t n = 0; n < 3; ++n) {
    const SimControlAnswer a = control("step");
    ASSERT_EQ(a.status, SIM_CONTROL_OK) << a.text;
    ASSERT_EQ(wnWaitForSingle(switchEvent.get(), kLongWaitMs), WN_WAIT_OBJECT_0);
    EXPECT_EQ(std::atomic_ref<uint32_t>(block.halfIndex).load(), n % 2) << "switch " << n;
    const uint8_t* half = input.data() + (n % 2) * kHalf;
    for (uint32_t i = 0; i < kHalf; ++i) ASSERT_EQ(half[i], 0x5A) << "loopback into input half " << n % 2;
    std::atomic_ref<uint32_t>(block.acknowledge).fetch_add(1);
  }
  const SimAsioStats stats = scenario().asioStats();
  EXPECT_EQ(stats.switches, 3u);
  EXPECT_EQ(stats.missedSwitches, 0u);
  EXPECT_EQ(stats.peerFaults, 0u);
  ASSERT_EQ(asio.stop(), 0u);
  ASSERT_EQ(asio.clearSwitchControl(), 0u);
}

TEST_F(SimPipeHost, AMalformedFrameEndsOnlyItsConnection) {
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  const size_t before = liveHandles();

  struct Raw {
    const char* what;
    DravikPipeHello hello;
    bool sendRequest;
    DravikPipeRequestHeader request;
  };
  DravikPipeHello badMagic = dravikPipeHello(wnCurrentProcessId());
  badMagic.magic = 0x12345678;
  const Raw cases[] = {
      {"a hello with another magic", badMagic, false, {}},
      {"an input above the bound", dravikPipeHello(wnCurrentProcessId()), true,
       dravikPipeRequest(IOCTL_DRAVIK_GET_DRIVER_INFO, DRAVIK_PIPE_MAX_DATA + 1, 24)},
      {"an output above the bound", dravikPipeHello(wnCurrentProcessId()), true,
       dravikPipeRequest(IOCTL_DRAVIK_GET_DRIVER_INFO, 0, 0x7FFFFFFF)},
  };
  for (const Raw& c : cases) {
    WnPipe pipe;
    ASSERT_EQ(pipe.connect(host->pipePath(), kLongWaitMs), 0u) << c.what;
    ASSERT_EQ(pipe.write(&c.hello, sizeof c.hello), 0u) << c.what;
    if (c.sendRequest) {
      DravikPipeHelloReply reply{};
      ASSERT_EQ(pipe.read(&reply, sizeof reply), 0u) << c.what;
      ASSERT_EQ(reply.status, 0u) << c.what;
      ASSERT_EQ(pipe.write(&c.request, sizeof c.request), 0u) << c.what;
    }
    uint8_t byte = 0;
    EXPECT_NE(pipe.read(&byte, 1), 0u) << c.what << ": the simulator closed the connection";
  }
  EXPECT_TRUE(waitUntil([&] { return liveHandles() == before; }));
  EXPECT_GE(host->pipeServer().badFrames(), 3u);

  // A client that claims to be another process is refused.
  WnPipe liar;
  ASSERT_EQ(liar.connect(host->pipePath(), kLongWaitMs), 0u);
  const DravikPipeHello hello = dravikPipeHello(wnCurrentProcessId() + 4);
  ASSERT_EQ(liar.write(&hello, sizeof hello), 0u);
  DravikPipeHelloReply reply{};
  ASSERT_EQ(liar.read(&reply, sizeof reply), 0u);
  EXPECT_EQ(reply.status, WN_ERROR_ACCESS_DENIED);

  // The well-formed client was not disturbed.
  DravikStreamState state;
  EXPECT_EQ(client.getStreamState(state), 0u);
}

TEST_F(SimPipeHost, AConnectionThatEndsClosesItsHandleSoANewServerMayRegister) {
  auto first = std::make_unique<tooltest::StandInService>();
  ASSERT_EQ(first->start(), 0u);
  tooltest::StandInService second;
  EXPECT_EQ(second.start(), DRAVIK_STATUS_ALREADY_DONE) << "one server at a time";
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  ASSERT_EQ(client.setSampleRate(44100, kLongWaitMs), 0u);

  first.reset();  // the pipe closes; the simulator drops the handle
  ASSERT_TRUE(waitUntil([&] { return scenario().findHandle(DRAVIK_INITIATOR_SERVICE) == SIM_NO_HANDLE; }));
  EXPECT_EQ(client.setSampleRate(44100, kLongWaitMs), DRAVIK_STATUS_NO_SERVER);
  ASSERT_EQ(second.start(), 0u);
  EXPECT_EQ(client.setSampleRate(48000, kLongWaitMs), 0u);
  EXPECT_EQ(second.lastRate.load(), 48000u);

  // A client that goes away in the middle of a request is cleaned up too.
  const size_t before = liveHandles();
  {
    WnPipe pipe;
    ASSERT_EQ(pipe.connect(host->pipePath(), kLongWaitMs), 0u);
    const DravikPipeHello hello = dravikPipeHello(wnCurrentProcessId());
    DravikPipeHelloReply reply{};
    ASSERT_EQ(pipe.write(&hello, sizeof hello), 0u);
    ASSERT_EQ(pipe.read(&reply, sizeof reply), 0u);
    ASSERT_TRUE(waitUntil([&] { return liveHandles() == before + 1; }));
    const DravikPipeRequestHeader r = dravikPipeRequest(IOCTL_DRAVIK_REGISTER_INITIATOR, 4, 0);
    ASSERT_EQ(pipe.write(&r, sizeof r), 0u);  // and no input after it
  }
  EXPECT_TRUE(waitUntil([&] { return liveHandles() == before; }));
}

TEST_F(SimPipeHost, TheControlInterfaceSteersDevicesFaultsAndAnswersBadCommands) {
  ASSERT_EQ(client.connect(DRAVIK_DEVICE_NAME), 0u);
  bool changed = false;
  ASSERT_EQ(client.updateDeviceList(changed), 0u);
  const DravikDeviceId firstIds{client.deviceAt(0)->record().deviceId0, client.deviceAt(0)->record().deviceId1};

  struct Case {
    const char* line;
    uint32_t status;
    const char* answer;  // part of the answer
  };
  const Case cases[] = {
      {"plug T8-0002 name=Second", SIM_CONTROL_OK, "plugged serial=\"T8-0002\""},
      {"plug T8-0002", SIM_CONTROL_FAILED, "DRAVIK_STATUS_ALREADY_DONE"},
      {"unplug 1", SIM_CONTROL_OK, "unplugged serial=\"T8-0001\""},
      {"unplug 5", SIM_CONTROL_FAILED, "no device 5"},
      {"replug T8-0002", SIM_CONTROL_OK, "replugged serial=\"T8-0002\""},
      {"fail GET_STREAM_STATE DRAVIK_STATUS_FAILED 1", SIM_CONTROL_OK, "name=GET_STREAM_STATE"},
      {"fail NO_SUCH_REQUEST 0", SIM_CONTROL_BAD_USAGE, "fail CODE STATUS"},
      {"activity 1 1", SIM_CONTROL_OK, "activity1=1"},
      {"activity 3 1", SIM_CONTROL_BAD_USAGE, "activity INDEX"},
      {"spdif T8-0002 3", SIM_CONTROL_OK, "spdif state=3 format=1 rate=48000"},
      {"error-counters fifo=4 asio=2", SIM_CONTROL_OK, "fifo=4 asio=2"},
      {"delay-replies initiator=2 10", SIM_CONTROL_OK, "delay-replies handle="},
      {"delay-replies initiator=0 10", SIM_CONTROL_FAILED, "no handle initiator=0"},
      {"frobnicate", SIM_CONTROL_BAD_USAGE, "unknown command 'frobnicate'"},
      {"plug \"unterminated", SIM_CONTROL_BAD_USAGE, "unterminated quote"},
  };
  for (const Case& c : cases) {
    const SimControlAnswer a = control(c.line);
    EXPECT_EQ(a.status, c.status) << c.line << " -> " << a.text;
    EXPECT_NE(a.text.find(c.answer), std::string::npos) << c.line << " -> " << a.text;
  }

  ASSERT_EQ(client.updateDeviceList(changed), 0u);
  ASSERT_EQ(client.deviceCount(), 1u);
  EXPECT_EQ(std::u16string(client.deviceAt(0)->record().serialNumber), u"T8-0002");
  EXPECT_FALSE(client.findDevice(firstIds.deviceId0, firstIds.deviceId1));
  DravikStreamState state;
  EXPECT_EQ(client.getStreamState(state), DRAVIK_STATUS_FAILED) << "the injected failure";
  EXPECT_EQ(client.getStreamState(state), 0u) << "once";
  EXPECT_EQ(state.activity1, 1u);
  DravikErrorCounters counters;
  ASSERT_EQ(client.getErrorCounters(counters), 0u);
  EXPECT_EQ(counters.fifoErrors, 4u);

  const std::string text = control("dump journal=5").text;
  for (const char* expected : {"tovix8sim-dump 1\n", "devices count=1\n", "device 1 id=", "serial=\"T8-0002\"",
                               "name=\"Second\"", "state=3 format=1 rate=48000 passthrough=0",
                               "counters streaming=0 fifo=4 asio=2", "journal kept=", "\nend\n"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

TEST_F(SimPipeHost, TheEventPipeAnnouncesPresentDevicesThenEveryChange) {
  char16_t events[WN_PIPE_NAME_CHARS];
  ASSERT_TRUE(wnDerivedPipePath(host->pipePath(), WN_SIMULATED_EVENTS_SUFFIX, events));
  WnPipe subscriber;
  ASSERT_EQ(subscriber.connect(events, kLongWaitMs), 0u);
  auto next = [&](WnDeviceEventRecord& r) { return subscriber.read(&r, sizeof r) == 0 && wnIsValidDeviceEventRecord(r); };

  WnDeviceEventRecord r;
  ASSERT_TRUE(next(r));
  EXPECT_EQ(r.eventType, WN_DBT_DEVICEARRIVAL) << "the device present when it subscribed";
  EXPECT_TRUE(r.classGuid == kSimInterfaceClass);
  EXPECT_NE(std::u16string(r.name).find(u"#T8-0001#"), std::u16string::npos);

  ASSERT_EQ(control("replug 1").status, SIM_CONTROL_OK);
  ASSERT_TRUE(next(r));
  EXPECT_EQ(r.eventType, WN_DBT_DEVICEREMOVECOMPLETE);
  ASSERT_TRUE(next(r));
  EXPECT_EQ(r.eventType, WN_DBT_DEVICEARRIVAL);
  ASSERT_EQ(control("plug T8-0042").status, SIM_CONTROL_OK);
  ASSERT_TRUE(next(r));
  EXPECT_EQ(r.eventType, WN_DBT_DEVICEARRIVAL);
  EXPECT_NE(std::u16string(r.name).find(u"USB#VID_1E2D&PID_0108#T8-0042#{4033b9fa"), std::u16string::npos);
  EXPECT_NE(dump().find("events subscribers=1 published=3"), std::string::npos) << dump();
}

// Device-interface events of the simulated devices reach a notificator
// registered for the class: from the event pipe through the platform layer
// on Win32 (the opt-in is set), from the simulator in this process on POSIX.
class Recorder : public WnPnPNotificatorCallbackInterface {
public:
  void onDeviceChange(uint32_t eventType, const WnDeviceInterfaceBroadcast* header) override {
    std::lock_guard<std::mutex> lock(m_);
    if (header && header->classGuid == kSimInterfaceClass) events_.push_back(eventType);
  }
  std::vector<uint32_t> events() {
    std::lock_guard<std::mutex> lock(m_);
    return events_;
  }

private:
  std::mutex m_;
  std::vector<uint32_t> events_;
};

TEST_F(SimPipeHost, OptInSelectsThePipeAndFeedsDeviceNotifications) {
  dravikSetTransportFactory(nullptr);  // the default factory, as the programs use it
  {
    tooltest::OptIn absent(nullptr);
    DravikDriver driver;
    EXPECT_NE(driver.connectPlain(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_DEVICES), 0u)
        << "without the opt-in only the real device is tried";
    EXPECT_EQ(liveHandles(), 0u);
  }
  tooltest::OptIn optIn(host->pipePath());
  ASSERT_EQ(optIn.result(), 0u);
  {
    DravikDriver driver;
    ASSERT_EQ(driver.connectPlain(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_DEVICES), 0u);
    EXPECT_NE(scenario().findHandle(DRAVIK_INITIATOR_CPL_DEVICES), SIM_NO_HANDLE);
  }

  Recorder recorder;
  WnPnPNotificator notificator;
  ASSERT_EQ(notificator.start(&recorder, nullptr), 0u);
  ASSERT_EQ(notificator.registerInterface(kSimInterfaceClass), 0u);
  // Where the platform raises the events of an in-process simulator itself
  // (POSIX), they come straight from the driver; elsewhere the feed first
  // greets with the present device: wait for that before changing anything.
  const WnGuid probe = {0x0BADF00D, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
  if (wnRaiseDeviceInterfaceEvent(probe, WN_DBT_DEVICEARRIVAL) != 0) {
    ASSERT_TRUE(waitUntil([&] { return !recorder.events().empty(); })) << "the feed's greeting";
  }
  const size_t initial = recorder.events().size();
  ASSERT_EQ(control("unplug T8-0001").status, SIM_CONTROL_OK);
  ASSERT_EQ(control("plug T8-0001").status, SIM_CONTROL_OK);
  ASSERT_TRUE(waitUntil([&] { return recorder.events().size() >= initial + 2; })) << recorder.events().size();
  const std::vector<uint32_t> seen = recorder.events();
  EXPECT_EQ(seen[seen.size() - 2], WN_DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(seen[seen.size() - 1], WN_DBT_DEVICEARRIVAL);
  EXPECT_EQ(notificator.stop(kLongWaitMs), 0u);
}

}  // namespace
