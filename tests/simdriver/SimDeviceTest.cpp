// The device requests: SPDIF, bypass, mixer, endpoints, echo effect, the
// service's records and streaming interfaces, with their notifications.
#include "SimTestSupport.h"

namespace {

class SimDeviceBench : public ::testing::Test {
protected:
  SimBench bench;
  SimHandleId watcher = bench.openRegistered(DRAVIK_INITIATOR_CPL_MAIN);
  SimHandleId dev = bench.openDevice();
  DravikDeviceId ids{};

  void SetUp() override { ASSERT_STATUS(0, bench.scenario().deviceIds(u"T8-0001", ids)); }

  // The notifications the watcher got, each checked to carry this device's id.
  std::vector<uint32_t> deviceNotifications() {
    std::vector<uint32_t> codes;
    DravikMessage m;
    while (bench.read(watcher, true, m) == DRAVIK_STATUS_SUCCESS) {
      codes.push_back(m.code);
      EXPECT_GE(m.payloadLength, 8u);
      DravikDeviceId got{};
      std::memcpy(&got, m.payload, 8);
      EXPECT_EQ(ids.deviceId0, got.deviceId0);
      EXPECT_EQ(ids.deviceId1, got.deviceId1);
    }
    return codes;
  }
  SimDeviceSnapshot snapshot() {
    SimDeviceSnapshot s;
    EXPECT_STATUS(0, bench.scenario().deviceSnapshot(u"T8-0001", s));
    return s;
  }
  DravikStatus endpoints(uint32_t captureCount, uint32_t renderCount) {
    auto record = std::make_unique<DravikEndpointRecord>();
    std::memset(record.get(), 0, sizeof *record);
    record->captureCount = captureCount;
    record->renderCount = renderCount;
    return bench.send(dev, IOCTL_DRAVIK_SET_ENDPOINTS, *record);
  }
};

TEST_F(SimDeviceBench, SpdifStatusFollowsTheScenarioAndNeedsAnInput) {
  DravikSpdifStatus s{0, 9, 9, 9};
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_SPDIF_STATUS, &s, 16, &s, 16));
  EXPECT_EQ(1u, s.state);  // no signal
  ASSERT_STATUS(0, bench.scenario().setSpdifInput(u"T8-0001", 3, 1, 44100));
  EXPECT_EQ((std::vector<uint32_t>{DRAVIK_NOTIFY_DEVICE_STATE}), deviceNotifications());
  s = DravikSpdifStatus{0, 0, 0, 0};
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_SPDIF_STATUS, &s, 16, &s, 16));
  EXPECT_EQ(3u, s.state);
  EXPECT_EQ(1u, s.format);
  EXPECT_EQ(44100u, s.sampleRate);
  s.spdifInput = 1;
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND, bench.call(dev, IOCTL_DRAVIK_GET_SPDIF_STATUS, &s, 16, &s, 16));

  SimDeviceConfig noSpdif;
  noSpdif.serial = u"T8-0002";
  noSpdif.spdifInput = false;
  ASSERT_STATUS(0, bench.scenario().plugDevice(noSpdif));
  const SimHandleId other = bench.openDevice(u"T8-0002");
  s = DravikSpdifStatus{0, 0, 0, 0};
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND, bench.call(other, IOCTL_DRAVIK_GET_SPDIF_STATUS, &s, 16, &s, 16));
}

TEST_F(SimDeviceBench, PassThroughAndBypassAnnounceOnlyRealChanges) {
  DravikSpdifPassThrough p{0, 0, 1};
  ASSERT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_SET_SPDIF_PASSTHROUGH, p));
  ASSERT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_SET_SPDIF_PASSTHROUGH, p));
  ASSERT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_SET_BYPASS_VOLUME, uint8_t{1}));
  ASSERT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_SET_BYPASS_MUTE, uint8_t{0}));  // already off
  EXPECT_EQ((std::vector<uint32_t>(2, DRAVIK_NOTIFY_DEVICE_STATE)), deviceNotifications());

  DravikSpdifPassThrough q{0, 0, 0};
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_SPDIF_PASSTHROUGH, &q, 12, &q, 12));
  EXPECT_EQ(1u, q.enabled);
  uint8_t v = 0;
  ASSERT_STATUS(0, bench.get(dev, IOCTL_DRAVIK_GET_BYPASS_VOLUME, v));
  EXPECT_EQ(1, v);
  ASSERT_STATUS(0, bench.get(dev, IOCTL_DRAVIK_GET_BYPASS_MUTE, v));
  EXPECT_EQ(0, v);

  for (DravikSpdifPassThrough bad : {DravikSpdifPassThrough{1, 0, 1}, DravikSpdifPassThrough{0, 1, 1},
                                     DravikSpdifPassThrough{0, 0, 2}, DravikSpdifPassThrough{0, 0, 0x101}})
    EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.send(dev, IOCTL_DRAVIK_SET_SPDIF_PASSTHROUGH, bad));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.send(dev, IOCTL_DRAVIK_SET_BYPASS_VOLUME, uint8_t{2}));
  const SimDeviceSnapshot s = snapshot();
  EXPECT_TRUE(s.spdifPassThrough);
  EXPECT_TRUE(s.bypassVolume);
  EXPECT_FALSE(s.bypassMute);
}

TEST_F(SimDeviceBench, MixerPinListsHaveTheDocumentedShape) {
  struct Expect {
    uint32_t selector;
    std::vector<std::pair<uint8_t, uint8_t>> kinds;  // kind, count
  };
  const Expect lists[] = {
      {DRAVIK_PINS_OUTPUTS, {{DRAVIK_PIN_ANALOG, 16}, {DRAVIK_PIN_SPDIF, 2}, {DRAVIK_PIN_VIRTUAL, 4}}},
      {DRAVIK_PINS_HW_INPUTS, {{DRAVIK_PIN_ANALOG, 16}, {DRAVIK_PIN_SPDIF, 2}}},
      {DRAVIK_PINS_SW_OUTPUTS, {{DRAVIK_PIN_OUTPUT, 16}, {DRAVIK_PIN_SPDIF_OUTPUT, 2}}},
  };
  for (const Expect& e : lists) {
    SCOPED_TRACE(e.selector);
    DravikPinDescriptor pins[26];
    uint32_t bytes = 0;
    ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_MIXER_PINS, &e.selector, 4, pins, sizeof pins, &bytes));
    size_t i = 0;
    for (auto [kind, count] : e.kinds)
      for (uint8_t c = 0; c < count; ++c, ++i) {
        EXPECT_EQ(kind, pins[i].pinKind);
        EXPECT_EQ(c, pins[i].channel);
      }
    EXPECT_EQ(i * 4, bytes);
  }
  const uint32_t bad = 3;
  DravikPinDescriptor pins[4];
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.call(dev, IOCTL_DRAVIK_GET_MIXER_PINS, &bad, 4, pins, 16));

  DravikMixerTopology t{};
  ASSERT_STATUS(0, bench.get(dev, IOCTL_DRAVIK_GET_MIXER_TOPOLOGY, t));
  ASSERT_GE(t.count, 1u);
  EXPECT_NE(2u, t.entries[0].first[0].type);
  ASSERT_STATUS(0, bench.scenario().setMixerTopology(u"T8-0001", true));
  EXPECT_EQ((std::vector<uint32_t>{DRAVIK_NOTIFY_MIXER_TOPOLOGY}), deviceNotifications());
  ASSERT_STATUS(0, bench.get(dev, IOCTL_DRAVIK_GET_MIXER_TOPOLOGY, t));
  EXPECT_EQ(2u, t.entries[0].first[0].type);
}

TEST_F(SimDeviceBench, GainsAndCrosspointsRoundTripAtomicallyAndAnnounce) {
  DravikGainEntry g[2] = {{{DRAVIK_PIN_ANALOG, 4, 0}, 0, 1, -9000}, {{DRAVIK_PIN_VIRTUAL, 3, 0}, 0, 0, 600}};
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_SET_GAINS, g, sizeof g, g, sizeof g));
  // One unknown pin refuses the whole request.
  DravikGainEntry mixed[2] = {{{DRAVIK_PIN_ANALOG, 5, 0}, 0, 0, 100}, {{DRAVIK_PIN_OUTPUT, 0, 0}, 0, 0, 100}};
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.call(dev, IOCTL_DRAVIK_SET_GAINS, mixed, 16, mixed, 16));

  DravikCrosspointEntry x[2] = {{{DRAVIK_PIN_VIRTUAL, 1, 0}, {DRAVIK_PIN_OUTPUT, 1, 0}, 0, 1, 0},
                                {{DRAVIK_PIN_ANALOG, 0, 0}, {DRAVIK_PIN_ANALOG, 0, 0}, -1200, 1, 0}};
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_SET_CROSSPOINTS, x, sizeof x, x, sizeof x));
  DravikCrosspointEntry badX = {{DRAVIK_PIN_OUTPUT, 0, 0}, {DRAVIK_PIN_ANALOG, 0, 0}, 0, 1, 0};  // kind 2 is no output
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.call(dev, IOCTL_DRAVIK_SET_CROSSPOINTS, &badX, 12, &badX, 12));
  EXPECT_EQ((std::vector<uint32_t>{DRAVIK_NOTIFY_MIXER_GAINS, DRAVIK_NOTIFY_MIXER_CROSSPOINTS}), deviceNotifications());

  DravikGainEntry read[3] = {{{DRAVIK_PIN_ANALOG, 4, 0}, 0, 0, 0}, {{DRAVIK_PIN_VIRTUAL, 3, 0}, 0, 0, 0},
                             {{DRAVIK_PIN_ANALOG, 5, 0}, 0, 0, 0}};
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_GAINS, read, sizeof read, read, sizeof read));
  EXPECT_EQ(1, read[0].flags);
  EXPECT_EQ(-9000, read[0].gain);
  EXPECT_EQ(600, read[1].gain);
  EXPECT_EQ(0, read[2].gain) << "untouched by the refused request";

  DravikCrosspointEntry rx[3] = {{{DRAVIK_PIN_VIRTUAL, 1, 0}, {DRAVIK_PIN_OUTPUT, 1, 0}, 77, 0, 0},
                                 {{DRAVIK_PIN_ANALOG, 0, 0}, {DRAVIK_PIN_ANALOG, 0, 0}, 0, 0, 0},
                                 {{DRAVIK_PIN_SPDIF, 1, 0}, {DRAVIK_PIN_SPDIF_OUTPUT, 1, 0}, 77, 1, 0}};
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_CROSSPOINTS, rx, sizeof rx, rx, sizeof rx));
  EXPECT_EQ(0, rx[0].weight);
  EXPECT_EQ(1, rx[0].flags);
  EXPECT_EQ(-1200, rx[1].weight);
  EXPECT_EQ(0, rx[2].weight);
  EXPECT_EQ(0, rx[2].flags) << "never set: disconnected";

  DravikLevelEntry levels[2] = {{{DRAVIK_PIN_SPDIF, 0, 0}, 0, 0}, {{DRAVIK_PIN_OUTPUT, 15, 0}, 0, 0}};
  ASSERT_STATUS(0, bench.scenario().setLevel(u"T8-0001", false, DRAVIK_PIN_OUTPUT, 15, -1234));
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_INPUT_LEVELS, levels, 16, levels, 16));
  EXPECT_EQ(-1234, levels[1].level);
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.call(dev, IOCTL_DRAVIK_GET_OUTPUT_LEVELS, levels, 16, levels, 16));

  const SimDeviceSnapshot s = snapshot();
  EXPECT_EQ(22u, s.gains.size());
  EXPECT_EQ(2u, s.crosspoints.size());
}

TEST_F(SimDeviceBench, EndpointVolumesExistOnlyForDeclaredEndpoints) {
  DravikEndpointVolume v{};
  v.direction = 2;
  v.endpointIndex = 0;
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND, bench.call(dev, IOCTL_DRAVIK_GET_ENDPOINT_VOLUME, &v, 136, &v, 136));
  ASSERT_STATUS(0, endpoints(12, 10));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, endpoints(33, 0));

  v.gain[0] = 6 * 65536;
  v.mute[1] = 1;
  v.endpointIndex = 9;
  ASSERT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_SET_ENDPOINT_VOLUME, v));
  EXPECT_TRUE(deviceNotifications().empty()) << "a driver client's write is no Windows volume change";
  v.endpointIndex = 10;
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND, bench.send(dev, IOCTL_DRAVIK_SET_ENDPOINT_VOLUME, v));
  v.direction = 3;
  v.endpointIndex = 0;
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND, bench.send(dev, IOCTL_DRAVIK_SET_ENDPOINT_VOLUME, v));

  DravikEndpointVolume r{};
  r.direction = 2;
  r.endpointIndex = 9;
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_ENDPOINT_VOLUME, &r, 136, &r, 136));
  EXPECT_EQ(6 * 65536, r.gain[0]);
  EXPECT_EQ(1u, r.mute[1]);

  // Windows changes capture endpoint 11.
  DravikEndpointVolume w{};
  w.gain[0] = DRAVIK_ENDPOINT_GAIN_MINUS_INFINITY;
  ASSERT_STATUS(0, bench.scenario().setEndpointVolume(u"T8-0001", 1, 11, w));
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND, bench.scenario().setEndpointVolume(u"T8-0001", 1, 12, w));
  DravikMessage m;
  ASSERT_STATUS(0, bench.read(watcher, true, m));
  EXPECT_EQ(DRAVIK_NOTIFY_ENDPOINT_VOLUME, m.code);
  ASSERT_EQ(16u, m.payloadLength);
  uint32_t p[4];
  std::memcpy(p, m.payload, 16);
  EXPECT_EQ(ids.deviceId0, p[0]);
  EXPECT_EQ(ids.deviceId1, p[1]);
  EXPECT_EQ(1u, p[2]);
  EXPECT_EQ(11u, p[3]);
  r.direction = 1;
  r.endpointIndex = 11;
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_ENDPOINT_VOLUME, &r, 136, &r, 136));
  EXPECT_EQ(DRAVIK_ENDPOINT_GAIN_MINUS_INFINITY, r.gain[0]);
  EXPECT_EQ(1u, r.direction);
  EXPECT_EQ(11u, r.endpointIndex);
}

TEST_F(SimDeviceBench, EchoEffectParameters) {
  DravikEffectParameters p{};
  p.parameterId = DRAVIK_EFFECT_CHANNEL_COUNT;
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_EFFECT_PARAMETERS, &p, 520, &p, 520));
  EXPECT_EQ(8u, p.countOrValue);
  p.parameterId = DRAVIK_EFFECT_MAX_DELAY;
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_EFFECT_PARAMETERS, &p, 520, &p, 520));
  EXPECT_EQ(1000u, p.countOrValue);

  DravikEffectParameters set{};
  set.parameterId = DRAVIK_EFFECT_DELAY;
  set.countOrValue = 2;
  set.entries[0] = {4, 250};
  set.entries[1] = {5, 250};
  ASSERT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_SET_EFFECT_PARAMETERS, set));
  set.parameterId = DRAVIK_EFFECT_LEVEL;
  set.entries[0] = {4, 1000};
  set.entries[1] = {5, 1001};  // one bad entry: nothing changes
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.send(dev, IOCTL_DRAVIK_SET_EFFECT_PARAMETERS, set));
  set.parameterId = DRAVIK_EFFECT_CHANNEL_COUNT;
  EXPECT_STATUS(DRAVIK_STATUS_NOT_ALLOWED, bench.send(dev, IOCTL_DRAVIK_SET_EFFECT_PARAMETERS, set));

  DravikEffectParameters get{};
  get.parameterId = DRAVIK_EFFECT_DELAY;
  get.countOrValue = 1;
  get.entries[0] = {5, 0};
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_EFFECT_PARAMETERS, &get, 520, &get, 520));
  EXPECT_EQ(250u, get.entries[0].value);
  get.parameterId = DRAVIK_EFFECT_LEVEL;
  get.entries[0] = {4, 0};
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_EFFECT_PARAMETERS, &get, 520, &get, 520));
  EXPECT_EQ(0u, get.entries[0].value);
  get.entries[0] = {8, 0};
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.call(dev, IOCTL_DRAVIK_GET_EFFECT_PARAMETERS, &get, 520, &get, 520));
  get.countOrValue = 0;
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.call(dev, IOCTL_DRAVIK_GET_EFFECT_PARAMETERS, &get, 520, &get, 520));

  SimDeviceConfig plain;
  plain.serial = u"T8-0002";
  plain.echoEffect = false;
  ASSERT_STATUS(0, bench.scenario().plugDevice(plain));
  const SimHandleId other = bench.openDevice(u"T8-0002");
  p.parameterId = DRAVIK_EFFECT_CHANNEL_COUNT;
  EXPECT_STATUS(DRAVIK_STATUS_NOT_SUPPORTED, bench.call(other, IOCTL_DRAVIK_GET_EFFECT_PARAMETERS, &p, 520, &p, 520));
  EXPECT_EQ(250u, snapshot().echoDelay[4]);
}

TEST_F(SimDeviceBench, StreamingInterfacesFollowTheStreamAndServiceRecordsAreKept) {
  const SimHandleId server = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE,
                bench.send(dev, IOCTL_DRAVIK_SET_STREAMING_INTERFACE, DravikStreamingInterface{0, 1}));
  ASSERT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_SET_STREAMING_INTERFACE, DravikStreamingInterface{2, 0}));
  ASSERT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_SET_STREAMING_INTERFACE_PARAM, DravikStreamingInterface{2, 8}));
  ASSERT_STATUS(0, bench.command(server, DRAVIK_CMD_DOWN_TO_READY));
  ASSERT_STATUS(0, bench.command(server, DRAVIK_CMD_READY_TO_PREPARED));
  ASSERT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_SET_STREAMING_INTERFACE, DravikStreamingInterface{2, 1}));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE,
                bench.send(dev, IOCTL_DRAVIK_SET_STREAMING_INTERFACE_PARAM, DravikStreamingInterface{2, 8}));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER,
                bench.send(dev, IOCTL_DRAVIK_SET_STREAMING_INTERFACE, DravikStreamingInterface{4, 0}));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER,
                bench.send(dev, IOCTL_DRAVIK_SET_STREAMING_INTERFACE, DravikStreamingInterface{0, 2}));

  DravikDeviceSetup setup{};
  setup.values[0] = 2;
  setup.values[1] = 40;
  setup.values[3] = 40;
  ASSERT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_SET_DEVICE_SETUP, setup));
  auto names = std::make_unique<DravikChannelNameRecord>();
  std::memset(names.get(), 0, sizeof *names);
  names->renderCount = 1;
  names->render[0].channelType = DRAVIK_CHANNEL_TYPE_SPDIF;
  std::memcpy(names->render[0].name, u"Tovix8 SPDIF 1", 30);
  ASSERT_STATUS(0, bench.send(dev, IOCTL_DRAVIK_SET_CHANNEL_NAMES, *names));
  names->captureCount = 33;
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.send(dev, IOCTL_DRAVIK_SET_CHANNEL_NAMES, *names));

  const SimDeviceSnapshot s = snapshot();
  EXPECT_TRUE(s.interfaces[2].onSet);
  EXPECT_EQ(1u, s.interfaces[2].on);
  EXPECT_TRUE(s.interfaces[2].paramSet);
  EXPECT_EQ(8u, s.interfaces[2].param);
  EXPECT_FALSE(s.interfaces[0].onSet);
  EXPECT_TRUE(s.deviceSetupSet);
  EXPECT_EQ(40u, s.deviceSetup.values[3]);
  ASSERT_TRUE(s.channelNamesSet);
  EXPECT_EQ(1u, s.channelNames.renderCount);
  EXPECT_EQ(std::u16string(u"Tovix8 SPDIF 1"), std::u16string(s.channelNames.render[0].name));
}

}  // namespace
