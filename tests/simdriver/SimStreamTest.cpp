// The stream state machine, the driver-wide settings, activity and use
// counts, and the devices coming and going.
#include "SimTestSupport.h"
#include "driverapi/DravikAsioRecords.h"

namespace {

struct Transition {
  uint32_t from;
  uint32_t command;
  DravikStatus status;
  uint32_t to;
};

class SimStreamTransitions : public ::testing::TestWithParam<Transition> {};

constexpr DravikStatus kIllegal = DRAVIK_STATUS_INVALID_STATE;

// Every command from every state, the legal ones and the illegal ones.
const Transition kTransitions[] = {
    {1, 1, kIllegal, 1}, {1, 2, 0, 2}, {1, 3, kIllegal, 1}, {1, 4, kIllegal, 1}, {1, 5, kIllegal, 1}, {1, 6, kIllegal, 1},
    {2, 1, kIllegal, 2}, {2, 2, kIllegal, 2}, {2, 3, 0, 1}, {2, 4, 0, 3}, {2, 5, kIllegal, 2}, {2, 6, kIllegal, 2},
    {3, 1, kIllegal, 3}, {3, 2, kIllegal, 3}, {3, 3, kIllegal, 3}, {3, 4, kIllegal, 3}, {3, 5, 0, 4}, {3, 6, 0, 2},
    {4, 1, kIllegal, 4}, {4, 2, kIllegal, 4}, {4, 3, kIllegal, 4}, {4, 4, kIllegal, 4}, {4, 5, kIllegal, 4}, {4, 6, 0, 2},
    {5, 1, 0, 1}, {5, 2, kIllegal, 5}, {5, 3, kIllegal, 5}, {5, 4, kIllegal, 5}, {5, 5, kIllegal, 5}, {5, 6, kIllegal, 5},
    {6, 1, 0, 1}, {6, 2, kIllegal, 6}, {6, 6, kIllegal, 6},
    {0, 1, kIllegal, 0}, {0, 2, kIllegal, 0}, {0, 6, kIllegal, 0},
    {77, 1, kIllegal, 77}, {77, 2, kIllegal, 77},
    {1, 0, DRAVIK_STATUS_INVALID_COMMAND, 1}, {1, 7, DRAVIK_STATUS_INVALID_COMMAND, 1},
};

TEST_P(SimStreamTransitions, CommandMovesTheStateOrIsRefused) {
  const Transition& t = GetParam();
  SimBench bench;
  const SimHandleId h = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);
  bench.scenario().forceStreamState(t.from);
  EXPECT_STATUS(t.status, bench.command(h, t.command));
  EXPECT_EQ(t.to, bench.streamState(h));
}

INSTANTIATE_TEST_SUITE_P(AllStates, SimStreamTransitions, ::testing::ValuesIn(kTransitions));

TEST(SimStreamCommands, ArgumentsAreChecked) {
  SimBench bench;
  const SimHandleId h = bench.open();
  EXPECT_STATUS(0, bench.command(h, DRAVIK_CMD_DOWN_TO_READY, 1));  // the policy flag
  EXPECT_STATUS(0, bench.command(h, DRAVIK_CMD_READY_TO_DOWN, 1));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.command(h, DRAVIK_CMD_DOWN_TO_READY, 2));
  EXPECT_STATUS(0, bench.command(h, DRAVIK_CMD_DOWN_TO_READY, 0));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.command(h, DRAVIK_CMD_READY_TO_PREPARED, 1));
  EXPECT_EQ(DRAVIK_STREAM_READY, bench.streamState(h));
}

TEST(SimStreamCommands, NoDeviceAndUsbOnePointOneDevices) {
  SimDriverConfig none = manualClockConfig();
  none.devices.clear();
  SimBench empty(none);
  const SimHandleId h = empty.open();
  EXPECT_STATUS(DRAVIK_STATUS_NO_DEVICES, empty.command(h, DRAVIK_CMD_DOWN_TO_READY));
  EXPECT_EQ(DRAVIK_STREAM_DOWN, empty.streamState(h));

  SimDriverConfig slow = manualClockConfig();
  slow.devices[0].highSpeed = false;
  SimBench bench(slow);
  const SimHandleId s = bench.open();
  EXPECT_STATUS(DRAVIK_STATUS_NOT_IN_HIGH_SPEED_MODE, bench.command(s, DRAVIK_CMD_DOWN_TO_READY));
  EXPECT_EQ(DRAVIK_STREAM_NOT_SUPPORTED, bench.streamState(s));
  EXPECT_STATUS(0, bench.command(s, DRAVIK_CMD_RESET));
  EXPECT_EQ(DRAVIK_STREAM_DOWN, bench.streamState(s));
  DravikDeviceList list{};
  ASSERT_STATUS(0, bench.get(s, IOCTL_DRAVIK_GET_DEVICE_LIST, list));
  EXPECT_EQ(0, list.devices[0].speedFlags & 1);
}

TEST(SimStreamSettings, SampleRateIsCheckedNeedsDownAndAnnouncesTheChange) {
  SimBench bench;
  const SimHandleId server = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_SAMPLE_RATE, bench.send(server, IOCTL_DRAVIK_SET_SAMPLE_RATE, uint32_t{47999}));
  ASSERT_STATUS(0, bench.command(server, DRAVIK_CMD_DOWN_TO_READY));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE, bench.send(server, IOCTL_DRAVIK_SET_SAMPLE_RATE, uint32_t{96000}));
  EXPECT_STATUS(0, bench.send(server, IOCTL_DRAVIK_SET_SAMPLE_RATE, uint32_t{48000})) << "no change, any state";
  EXPECT_TRUE(bench.drainNotifications(server).empty());

  ASSERT_STATUS(0, bench.command(server, DRAVIK_CMD_READY_TO_DOWN));
  EXPECT_STATUS(0, bench.send(server, IOCTL_DRAVIK_SET_PENDING_SAMPLE_RATE, uint32_t{96000}));
  EXPECT_STATUS(0, bench.send(server, IOCTL_DRAVIK_SET_SAMPLE_RATE, uint32_t{96000}));
  EXPECT_EQ((std::vector<uint32_t>{DRAVIK_NOTIFY_SETTINGS_CHANGED}), bench.drainNotifications(server));

  DravikSampleRateInfo info{};
  ASSERT_STATUS(0, bench.get(server, IOCTL_DRAVIK_GET_SAMPLE_RATE_INFO, info));
  EXPECT_EQ(96000u, info.currentRate);
  ASSERT_EQ(8u, info.count);
  EXPECT_EQ(44100u, info.rates[0]);
  EXPECT_EQ(5644800u, info.rates[7]);
  EXPECT_EQ(96000u, bench.scenario().settings().pendingSampleRate);
}

TEST(SimStreamSettings, BufferSizesGiveConsistentDurationsAndAsioFormat) {
  SimBench bench;
  const SimHandleId h = bench.open();
  struct Case {
    uint32_t rate, asioSize, frames, asioFormatSize;
  };
  const Case cases[] = {{48000, 0, 64, 64},      {48000, 3, 512, 512},    {44100, 2, 256, 256},
                        {96000, 1, 256, 256},    {192000, 2, 1024, 1024}, {2822400, 2, 256 * 64, 256},
                        {5644800, 0, 128 * 64, 128}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    ASSERT_STATUS(0, bench.send(h, IOCTL_DRAVIK_SET_SAMPLE_RATE, c.rate));
    ASSERT_STATUS(0, bench.send(h, IOCTL_DRAVIK_SET_BUFFER_SIZES, DravikBufferSizes{4, c.asioSize, 7}));
    DravikBufferInfo b{};
    ASSERT_STATUS(0, bench.get(h, IOCTL_DRAVIK_GET_BUFFER_INFO, b));
    EXPECT_EQ(4u, b.streamingBufferSize);
    EXPECT_EQ(c.asioSize, b.asioBufferSize);
    EXPECT_EQ(7u, b.bufferSetting3);
    EXPECT_EQ(6000u, b.streamingBufferMicros);
    EXPECT_EQ(c.frames, b.asioBufferSamples);
    EXPECT_EQ(uint64_t{c.frames} * 1000000 / c.rate, b.asioBufferMicros);
    StreamFormat f{};
    ASSERT_STATUS(0, bench.get(h, IOCTL_DRAVIK_ASIO_GET_FORMAT, f));
    EXPECT_EQ(c.rate, f.sampleRate);
    EXPECT_EQ(c.asioFormatSize, f.asioBufferSize);
  }
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_BUFFER_SIZE, bench.send(h, IOCTL_DRAVIK_SET_BUFFER_SIZES, DravikBufferSizes{6, 0, 0}));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_BUFFER_SIZE, bench.send(h, IOCTL_DRAVIK_SET_BUFFER_SIZES, DravikBufferSizes{0, 4, 0}));
}

TEST(SimStreamSettings, PolicyAndStreamingDeviceSelection) {
  SimBench bench;
  DravikDeviceId second{};
  SimDeviceConfig cfg;
  cfg.serial = u"T8-0002";
  ASSERT_STATUS(0, bench.scenario().plugDevice(cfg, &second));
  const SimHandleId h = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);
  bench.drainNotifications(h);

  ASSERT_STATUS(0, bench.send(h, IOCTL_DRAVIK_SET_POLICY, uint32_t{0x81}));
  uint32_t policy = 0;
  ASSERT_STATUS(0, bench.get(h, IOCTL_DRAVIK_GET_POLICY, policy));
  EXPECT_EQ(0x81u, policy);

  const DravikStreamingDeviceSelection pickSecond{second.deviceId0, second.deviceId1, 0};
  ASSERT_STATUS(0, bench.send(h, IOCTL_DRAVIK_SELECT_STREAMING_DEVICE, pickSecond));
  DravikDeviceList list{};
  ASSERT_STATUS(0, bench.get(h, IOCTL_DRAVIK_GET_DEVICE_LIST, list));
  ASSERT_EQ(2u, list.count);
  EXPECT_EQ(0, list.devices[0].streamingFlags);
  EXPECT_EQ(1, list.devices[1].streamingFlags);

  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER,
                bench.send(h, IOCTL_DRAVIK_SELECT_STREAMING_DEVICE, DravikStreamingDeviceSelection{1, 2, 1}));
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND,
                bench.send(h, IOCTL_DRAVIK_SELECT_STREAMING_DEVICE, DravikStreamingDeviceSelection{1, 2, 0}));
  ASSERT_STATUS(0, bench.send(h, IOCTL_DRAVIK_SELECT_STREAMING_DEVICE, DravikStreamingDeviceSelection{0, 0, 1}));
  DravikStreamState s{};
  ASSERT_STATUS(0, bench.get(h, IOCTL_DRAVIK_GET_STREAM_STATE, s));
  EXPECT_EQ(1u, s.streamingMode);
  EXPECT_EQ((std::vector<uint32_t>(3, DRAVIK_NOTIFY_SETTINGS_CHANGED)), bench.drainNotifications(h));

  ASSERT_STATUS(0, bench.command(h, DRAVIK_CMD_DOWN_TO_READY));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE, bench.send(h, IOCTL_DRAVIK_SET_POLICY, uint32_t{0}));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE, bench.send(h, IOCTL_DRAVIK_SELECT_STREAMING_DEVICE, pickSecond));
}

TEST(SimStreamActivity, AnAsioRegistrationIsActivityUntilItsHandleCloses) {
  SimBench bench;
  const SimHandleId server = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);
  const SimHandleId asio = bench.openRegistered(DRAVIK_INITIATOR_ASIO);
  EXPECT_EQ((std::vector<uint32_t>{DRAVIK_NOTIFY_ACTIVITY_STARTED}), bench.drainNotifications(server));
  DravikStreamState s{};
  ASSERT_STATUS(0, bench.get(server, IOCTL_DRAVIK_GET_STREAM_STATE, s));
  EXPECT_EQ(1u, s.activity0);

  const SimHandleId asio2 = bench.openRegistered(DRAVIK_INITIATOR_ASIO);
  EXPECT_TRUE(bench.drainNotifications(server).empty()) << "only the first activity is announced";
  bench.driver.closeHandle(asio);
  EXPECT_TRUE(bench.drainNotifications(server).empty());
  bench.driver.closeHandle(asio2);
  EXPECT_EQ((std::vector<uint32_t>{DRAVIK_NOTIFY_ACTIVITY_ENDED}), bench.drainNotifications(server));
  ASSERT_STATUS(0, bench.get(server, IOCTL_DRAVIK_GET_STREAM_STATE, s));
  EXPECT_EQ(0u, s.activity0);

  bench.scenario().setActivity(2, 5);
  EXPECT_EQ((std::vector<uint32_t>{DRAVIK_NOTIFY_ACTIVITY_STARTED}), bench.drainNotifications(server));
  ASSERT_STATUS(0, bench.get(server, IOCTL_DRAVIK_GET_STREAM_STATE, s));
  EXPECT_EQ(5u, s.activity2);
}

TEST(SimStreamActivity, UseCountsAppearAndDisappearWithTheirPayload) {
  SimBench bench;
  const SimHandleId server = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);
  bench.scenario().setUseCounts(0, 2);
  bench.scenario().setUseCounts(1, 2);  // still in use: nothing new
  bench.scenario().setUseCounts(0, 0);
  DravikMessage m;
  ASSERT_STATUS(0, bench.read(server, true, m));
  EXPECT_EQ(DRAVIK_NOTIFY_USE_STARTED, m.code);
  ASSERT_EQ(8u, m.payloadLength);
  uint32_t p[2];
  std::memcpy(p, m.payload, 8);
  EXPECT_EQ(0u, p[0]);
  EXPECT_EQ(2u, p[1]);
  ASSERT_STATUS(0, bench.read(server, true, m));
  EXPECT_EQ(DRAVIK_NOTIFY_USE_ENDED, m.code);
  EXPECT_EQ(8u, m.payloadLength);
  EXPECT_STATUS(DRAVIK_STATUS_NO_MORE_ITEMS, bench.read(server, true, m));
}

TEST(SimStreamDevices, UnplugAndReplugGiveNewIdentifiersAndOldHandlesAnswerRemoved) {
  SimBench bench;
  ClientEvents events;
  const SimHandleId server = bench.openRegistered(DRAVIK_INITIATOR_SERVICE, &events);
  const SimHandleId dev = bench.openDevice();
  DravikDeviceId old{};
  ASSERT_STATUS(0, bench.scenario().deviceIds(u"T8-0001", old));
  signalled(events.notification);

  DravikDeviceId fresh{};
  ASSERT_STATUS(0, bench.scenario().replugDevice(u"T8-0001", &fresh));
  EXPECT_TRUE(signalled(events.notification, kEventTimeoutMs));
  EXPECT_EQ((std::vector<uint32_t>{DRAVIK_NOTIFY_DEVICE_REMOVED, DRAVIK_NOTIFY_DEVICE_ARRIVED}),
            bench.drainNotifications(server));
  EXPECT_FALSE(fresh.deviceId0 == old.deviceId0 && fresh.deviceId1 == old.deviceId1);

  DravikDeviceList list{};
  ASSERT_STATUS(0, bench.get(server, IOCTL_DRAVIK_GET_DEVICE_LIST, list));
  ASSERT_EQ(1u, list.count);
  EXPECT_EQ(fresh.deviceId0, list.devices[0].deviceId0);
  EXPECT_EQ(fresh.deviceId1, list.devices[0].deviceId1);
  EXPECT_EQ(std::u16string(u"T8-0001"), std::u16string(list.devices[0].serialNumber));
  EXPECT_EQ(std::u16string(u"Tovix8"), std::u16string(list.devices[0].deviceName));
  EXPECT_EQ(1, list.devices[0].streamingFlags);

  uint8_t on = 0;
  EXPECT_STATUS(DRAVIK_STATUS_DEVICE_REMOVED, bench.get(dev, IOCTL_DRAVIK_GET_BYPASS_MUTE, on));
  EXPECT_STATUS(DRAVIK_STATUS_DEVICE_REMOVED, bench.send(bench.open(), IOCTL_DRAVIK_OPEN_DEVICE, old));
  // The old handle may be bound anew to the device's new identity.
  EXPECT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_OPEN_DEVICE, fresh));
  EXPECT_STATUS(0, bench.get(dev, IOCTL_DRAVIK_GET_BYPASS_MUTE, on));
  EXPECT_STATUS(DRAVIK_STATUS_ALREADY_DONE, bench.send(dev, IOCTL_DRAVIK_OPEN_DEVICE, fresh));
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND, bench.send(bench.open(), IOCTL_DRAVIK_OPEN_DEVICE, DravikDeviceId{1, 2}));
}

TEST(SimStreamDevices, TheLastDeviceGoingTakesTheStreamDownAndAtMostEightArePresent) {
  SimBench bench;
  const SimHandleId h = bench.open();
  bench.runStream(h);
  ASSERT_STATUS(0, bench.scenario().unplugDevice(u"T8-0001"));
  EXPECT_EQ(DRAVIK_STREAM_DOWN, bench.streamState(h));
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND, bench.scenario().unplugDevice(u"T8-0001"));

  for (int i = 0; i < 8; ++i) {
    SimDeviceConfig c;
    c.serial = u"S" + std::u16string(1, char16_t(u'0' + i));
    ASSERT_STATUS(0, bench.scenario().plugDevice(c));
  }
  SimDeviceConfig ninth;
  ninth.serial = u"S9";
  EXPECT_STATUS(DRAVIK_STATUS_NO_RESOURCES, bench.scenario().plugDevice(ninth));
  SimDeviceConfig twin;
  twin.serial = u"S0";
  ASSERT_STATUS(0, bench.scenario().unplugDevice(u"S7"));
  EXPECT_STATUS(DRAVIK_STATUS_ALREADY_DONE, bench.scenario().plugDevice(twin));
  DravikDeviceList list{};
  ASSERT_STATUS(0, bench.get(h, IOCTL_DRAVIK_GET_DEVICE_LIST, list));
  EXPECT_EQ(7u, list.count);
}

}  // namespace
