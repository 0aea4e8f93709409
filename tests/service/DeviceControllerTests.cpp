// The product's device controller against the simulated driver: start-up
// records (set-up, routing, channel names, endpoints, streaming interfaces),
// the WDM sound device configuration from the registry and through requests
// 11001 / 11002, and the volume synchronisation in both directions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ServerFixture.h"
#include "driverapi/DravikMixerRecords.h"
#include "platform/WnRegistryKey.h"
#include "service/CustomDevice.h"
#include "service/WideFormat.h"

namespace {

std::u16string text(const char16_t* s) { return std::u16string(s); }

class DeviceController : public ServerFixture {};

TEST_F(DeviceController, StartUpRecords) {
  startServer();
  const SimDeviceSnapshot s = snapshot();
  ASSERT_TRUE(s.deviceSetupSet);
  EXPECT_EQ(2u, s.deviceSetup.values[0]);
  EXPECT_EQ(40u, s.deviceSetup.values[1]);
  EXPECT_EQ(0u, s.deviceSetup.values[2]);
  EXPECT_EQ(40u, s.deviceSetup.values[3]);
  for (size_t i = 4; i < 34; ++i) EXPECT_EQ(0u, s.deviceSetup.values[i]) << i;

  // Playback channels 1..4 reach virtual inputs 1..4 at 0 dB.
  size_t routed = 0;
  for (const DravikCrosspointEntry& c : s.crosspoints) {
    if (c.output.pinKind != DRAVIK_PIN_VIRTUAL) continue;
    EXPECT_EQ(uint8_t{DRAVIK_PIN_OUTPUT}, c.input.pinKind);
    EXPECT_EQ(c.output.channel, c.input.channel);
    EXPECT_EQ(0, c.weight);
    EXPECT_EQ(1u, c.flags & 1u);
    ++routed;
  }
  EXPECT_EQ(4u, routed);

  // Channel names: 16 analog + 2 SPDIF outputs; 16 analog + 2 SPDIF + 4 virtual inputs.
  ASSERT_TRUE(s.channelNamesSet);
  ASSERT_EQ(18u, s.channelNames.renderCount);
  ASSERT_EQ(22u, s.channelNames.captureCount);
  EXPECT_EQ(u"Tovix8 Out 1", text(s.channelNames.render[0].name));
  EXPECT_EQ(u"Tovix8 Out 16", text(s.channelNames.render[15].name));
  EXPECT_EQ(7u, s.channelNames.render[15].pairIndex);
  EXPECT_EQ(1u, s.channelNames.render[15].side);
  EXPECT_EQ(u"Tovix8 SPDIF 2", text(s.channelNames.render[17].name));
  EXPECT_EQ(uint32_t{DRAVIK_CHANNEL_TYPE_SPDIF}, s.channelNames.render[17].channelType);
  EXPECT_EQ(0u, s.channelNames.render[17].pairIndex);
  EXPECT_EQ(1u, s.channelNames.render[17].side);
  EXPECT_EQ(u"Tovix8 Analog In 3", text(s.channelNames.capture[2].name));
  EXPECT_EQ(u"Tovix8 SPDIF In 1", text(s.channelNames.capture[16].name));
  EXPECT_EQ(u"Tovix8 Virtual In 4", text(s.channelNames.capture[21].name));
  EXPECT_EQ(uint32_t{DRAVIK_CHANNEL_TYPE_VIRTUAL}, s.channelNames.capture[21].channelType);
  EXPECT_EQ(1u, s.channelNames.capture[21].pairIndex);
}

struct EndpointRow {
  uint32_t type;
  uint32_t pair;
  uint32_t kind40;
  uint32_t kind44;
  int32_t midi;
  uint32_t value140;
  const char16_t* name;
};

void expectEndpoints(const std::vector<EndpointRow>& rows, uint32_t count, const DravikEndpointEntry* list,
                     const char* direction) {
  ASSERT_EQ(rows.size(), count) << direction;
  for (uint32_t i = 0; i < count; ++i) {
    const EndpointRow& r = rows[i];
    const DravikEndpointEntry& e = list[i];
    EXPECT_EQ(r.type, e.endpointType) << direction << " " << i;
    EXPECT_EQ(1u, e.one) << direction << " " << i;
    EXPECT_EQ(r.pair, e.pairIndex) << direction << " " << i;
    EXPECT_EQ(r.kind40, e.kind40) << direction << " " << i;
    EXPECT_EQ(r.kind44, e.kind44) << direction << " " << i;
    EXPECT_EQ(r.midi, e.midiDirection) << direction << " " << i;
    EXPECT_EQ(i, e.index) << direction << " " << i;
    EXPECT_EQ(r.value140, e.value140) << direction << " " << i;
    EXPECT_EQ(0u, e.value144) << direction << " " << i;
    EXPECT_EQ(text(r.name), text(e.name)) << direction << " " << i;
  }
}

// Both configurations 0: 10 render endpoints (8 analog pairs, SPDIF, MIDI)
// and 12 capture endpoints (8 analog pairs, SPDIF, 2 virtual pairs, MIDI).
TEST_F(DeviceController, EndpointListsOfConfigurationZero) {
  startServer();
  const SimDeviceSnapshot s = snapshot();
  ASSERT_TRUE(s.endpointsSet);
  std::vector<EndpointRow> render, capture;
  const char16_t* outNames[] = {u"Tovix8 Out 1/2",   u"Tovix8 Out 3/4",   u"Tovix8 Out 5/6",   u"Tovix8 Out 7/8",
                                u"Tovix8 Out 9/10",  u"Tovix8 Out 11/12", u"Tovix8 Out 13/14", u"Tovix8 Out 15/16"};
  const char16_t* inNames[] = {u"Tovix8 Analog In 1/2",   u"Tovix8 Analog In 3/4",   u"Tovix8 Analog In 5/6",
                               u"Tovix8 Analog In 7/8",   u"Tovix8 Analog In 9/10",  u"Tovix8 Analog In 11/12",
                               u"Tovix8 Analog In 13/14", u"Tovix8 Analog In 15/16"};
  for (uint32_t k = 0; k < 8; ++k) render.push_back({1, k, 0, 3, 0, 0xFF800000u, outNames[k]});
  render.push_back({10, 0, 1, 0, 0, 0, u"Tovix8 SPDIF 1/2"});
  render.push_back({20, 0, 2, 0, 1, 0, u"Tovix8 Midi Out"});
  for (uint32_t k = 0; k < 8; ++k) capture.push_back({1, k, 0, 3, 0, 0xFF800000u, inNames[k]});
  capture.push_back({10, 0, 0, 0, 0, 0, u"Tovix8 SPDIF In 1/2"});
  capture.push_back({40, 0, 0, 0, 0, 0, u"Tovix8 Virtual In 1/2"});
  capture.push_back({40, 1, 0, 0, 0, 0, u"Tovix8 Virtual In 3/4"});
  capture.push_back({20, 0, 2, 0, -1, 0, u"Tovix8 Midi In"});
  expectEndpoints(render, s.endpoints.renderCount, s.endpoints.render, "render");
  expectEndpoints(capture, s.endpoints.captureCount, s.endpoints.capture, "capture");
}

// Render configuration 5 from the registry leaves the analog pairs out; a
// set request with 0 brings them back and stores 0.
TEST_F(DeviceController, RegistryConfigurationFiveThenSetToZero) {
  const uint32_t five = 5, two = 2;
  writeDeviceValue(kSerial, TOVIX8_RENDER_CONFIG_VALUE, WN_REG_DWORD, &five, 4);
  writeDeviceValue(kSerial, TOVIX8_CAPTURE_CONFIG_VALUE, WN_REG_DWORD, &two, 4);
  startServer();
  SimDeviceSnapshot s = snapshot();
  ASSERT_EQ(2u, s.endpoints.renderCount);
  EXPECT_EQ(uint32_t{DRAVIK_CHANNEL_TYPE_SPDIF}, s.endpoints.render[0].endpointType);
  EXPECT_EQ(0u, s.endpoints.render[0].index);
  EXPECT_EQ(uint32_t{DRAVIK_CHANNEL_TYPE_MIDI}, s.endpoints.render[1].endpointType);
  EXPECT_EQ(1u, s.endpoints.render[1].index);
  EXPECT_EQ(4u, s.endpoints.captureCount);  // SPDIF, 2 virtual, MIDI

  const DravikDeviceId ids = deviceIds();
  uint32_t render = 0, capture = 0;
  ASSERT_EQ(0u, client_.getDeviceConfig(ids.deviceId0, ids.deviceId1, render, capture));
  EXPECT_EQ(5u, render);
  EXPECT_EQ(2u, capture);

  ASSERT_EQ(0u, client_.setDeviceConfig(ids.deviceId0, ids.deviceId1, 0, 0));
  s = snapshot();
  EXPECT_EQ(10u, s.endpoints.renderCount);
  EXPECT_EQ(12u, s.endpoints.captureCount);
  ASSERT_EQ(0u, client_.getDeviceConfig(ids.deviceId0, ids.deviceId1, render, capture));
  EXPECT_EQ(0u, render);
  EXPECT_EQ(0u, capture);
  uint32_t stored = 9;
  ASSERT_TRUE(readDeviceDword(kSerial, TOVIX8_RENDER_CONFIG_VALUE, stored));
  EXPECT_EQ(0u, stored);
  ASSERT_TRUE(readDeviceDword(kSerial, TOVIX8_CAPTURE_CONFIG_VALUE, stored));
  EXPECT_EQ(0u, stored);
}

// Values that are not a 4-byte REG_DWORD leave the configuration at 0.
TEST_F(DeviceController, MalformedRegistryValuesAreIgnored) {
  const char16_t five[] = u"5";
  const uint8_t shortValue[2] = {5, 0};
  writeDeviceValue(kSerial, TOVIX8_RENDER_CONFIG_VALUE, WN_REG_SZ, five, sizeof five);
  writeDeviceValue(kSerial, TOVIX8_CAPTURE_CONFIG_VALUE, WN_REG_DWORD, shortValue, sizeof shortValue);
  startServer();
  const DravikDeviceId ids = deviceIds();
  uint32_t render = 9, capture = 9;
  ASSERT_EQ(0u, client_.getDeviceConfig(ids.deviceId0, ids.deviceId1, render, capture));
  EXPECT_EQ(0u, render);
  EXPECT_EQ(0u, capture);
  EXPECT_EQ(10u, snapshot().endpoints.renderCount);
}

// Only configuration 0 may be set; anything else is refused before the
// stream is touched.
TEST_F(DeviceController, SetConfigurationOtherThanZeroIsRefusedFirst) {
  startServer();
  const DravikDeviceId ids = deviceIds();
  const uint32_t pairs[][2] = {{5, 0}, {0, 1}, {1, 2}};
  for (const auto& p : pairs) {
    const uint64_t m = mark();
    EXPECT_EQ(DRAVIK_STATUS_INVALID_PARAMETER, client_.setDeviceConfig(ids.deviceId0, ids.deviceId1, p[0], p[1]));
    const std::vector<SimJournalEntry> entries = since(m);
    EXPECT_EQ(0u, countCode(entries, IOCTL_DRAVIK_GET_STREAM_STATE)) << p[0] << "/" << p[1];
    EXPECT_EQ(0u, countCode(entries, IOCTL_DRAVIK_STREAM_COMMAND)) << p[0] << "/" << p[1];
    EXPECT_EQ(0u, countCode(entries, IOCTL_DRAVIK_SET_ENDPOINTS)) << p[0] << "/" << p[1];
  }
  uint32_t stored = 0;
  EXPECT_FALSE(readDeviceDword(kSerial, TOVIX8_RENDER_CONFIG_VALUE, stored)) << "nothing may be stored";
}

// A device whose topology has a channel of type 2 gets no analog names, but
// still its SPDIF and virtual ones.
TEST_F(DeviceController, TypeTwoTopologyOmitsAnalogNames) {
  SimDriverConfig config;
  config.devices[0].topologyType2 = true;
  startSim(config);
  startServer();
  const SimDeviceSnapshot s = snapshot();
  ASSERT_EQ(2u, s.channelNames.renderCount);
  EXPECT_EQ(u"Tovix8 SPDIF 1", text(s.channelNames.render[0].name));
  ASSERT_EQ(6u, s.channelNames.captureCount);
  EXPECT_EQ(u"Tovix8 SPDIF In 1", text(s.channelNames.capture[0].name));
  EXPECT_EQ(u"Tovix8 Virtual In 1", text(s.channelNames.capture[2].name));
  // The endpoints do not depend on the topology.
  EXPECT_EQ(10u, s.endpoints.renderCount);
}

// A failing start-up request drops the device (with no device left the
// channel closes); the next arrival retries it.
TEST_F(DeviceController, FailedStartUpDropsTheDevice) {
  startSim();
  sc().failRequest(IOCTL_DRAVIK_SET_CHANNEL_NAMES, DRAVIK_STATUS_NO_RESOURCES);
  startServer();
  EXPECT_FALSE(snapshot().endpointsSet);
  // Client, server open, server close.
  ASSERT_TRUE(sc().waitForRequest(IOCTL_DRAVIK_SET_MESSAGE_EVENTS, 3, kWaitMs));
  forgetNotifications();
  arrival_.set();
  ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED));
  const DravikDeviceId ids = deviceIds();
  uint32_t render = 9, capture = 9;
  EXPECT_EQ(0u, client_.getDeviceConfig(ids.deviceId0, ids.deviceId1, render, capture));
  EXPECT_TRUE(snapshot().endpointsSet);
}

const DravikGainEntry* findGain(const SimDeviceSnapshot& s, uint8_t kind, uint8_t channel) {
  for (const DravikGainEntry& g : s.gains)
    if (g.pin.pinKind == kind && g.pin.channel == channel) return &g;
  return nullptr;
}

// A WDM render volume set by the system reaches the hardware outputs
// (3060), converted and limited to +-90 dB; the gains set then come back to
// every render endpoint (3051).
TEST_F(DeviceController, RenderEndpointVolumeToHardwareGains) {
  startServer();
  DravikEndpointVolume volume{};
  volume.direction = 2;
  volume.endpointIndex = 1;  // Tovix8 Out 3/4
  volume.gain[0] = DRAVIK_ENDPOINT_GAIN_MINUS_INFINITY;
  volume.gain[1] = 100 << 16;
  volume.mute[0] = 1;
  const size_t setsBefore = sc().requestCount(IOCTL_DRAVIK_SET_ENDPOINT_VOLUME);
  ASSERT_EQ(0u, sc().setEndpointVolume(kSerial, 2, 1, volume));
  // The new gains raise 3051: every non-MIDI render endpoint is written back.
  ASSERT_TRUE(sc().waitForRequest(IOCTL_DRAVIK_SET_ENDPOINT_VOLUME, setsBefore + 9, kWaitMs));
  barrier();
  const SimDeviceSnapshot s = snapshot();
  const DravikGainEntry* left = findGain(s, DRAVIK_PIN_ANALOG, 2);
  const DravikGainEntry* right = findGain(s, DRAVIK_PIN_ANALOG, 3);
  ASSERT_NE(nullptr, left);
  ASSERT_NE(nullptr, right);
  EXPECT_EQ(-9000, left->gain);
  EXPECT_EQ(1u, left->flags & 1u);
  EXPECT_EQ(9000, right->gain);
  EXPECT_EQ(0u, right->flags & 1u);
  ASSERT_GE(s.renderVolumes.size(), 2u);
  EXPECT_EQ(-9000 * 65536 / 100, s.renderVolumes[1].gain[0]);
  EXPECT_EQ(9000 * 65536 / 100, s.renderVolumes[1].gain[1]);
  EXPECT_EQ(1u, s.renderVolumes[1].mute[0]);

  // The SPDIF endpoint (index 8) drives the SPDIF output pins.
  volume = DravikEndpointVolume{};
  volume.direction = 2;
  volume.endpointIndex = 8;
  volume.gain[0] = 0x00060000;  // +6 dB
  volume.gain[1] = -(6 << 16);
  ASSERT_EQ(0u, sc().setEndpointVolume(kSerial, 2, 8, volume));
  barrier();
  const SimDeviceSnapshot s2 = snapshot();
  ASSERT_NE(nullptr, findGain(s2, DRAVIK_PIN_SPDIF, 0));
  EXPECT_EQ(600, findGain(s2, DRAVIK_PIN_SPDIF, 0)->gain);
  EXPECT_EQ(-600, findGain(s2, DRAVIK_PIN_SPDIF, 1)->gain);
}

// Hardware gains changed by another program come to the WDM render volumes.
TEST_F(DeviceController, HardwareGainsToRenderEndpoints) {
  startServer();
  DravikDriver mixer;
  ASSERT_EQ(0u, mixer.connectPlain(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_DEVICES));
  bool changed = false;
  ASSERT_EQ(0u, mixer.updateDeviceList(changed));
  ASSERT_EQ(1u, mixer.deviceCount());
  DravikGainEntry gains[2] = {};
  gains[0].pin = {DRAVIK_PIN_ANALOG, 14, 0};
  gains[0].gain = -6000;
  gains[0].flags = 1;
  gains[1].pin = {DRAVIK_PIN_ANALOG, 15, 0};
  gains[1].gain = 150;
  ASSERT_EQ(0u, mixer.deviceAt(0)->setGains(gains, 2));  // raises 3051
  barrier();
  const SimDeviceSnapshot s = snapshot();
  ASSERT_GE(s.renderVolumes.size(), 8u);
  EXPECT_EQ(-3932160, s.renderVolumes[7].gain[0]);
  EXPECT_EQ(1u, s.renderVolumes[7].mute[0]);
  EXPECT_EQ(150 * 65536 / 100, s.renderVolumes[7].gain[1]);
  EXPECT_EQ(0u, s.renderVolumes[7].mute[1]);
  for (uint32_t c = 2; c < 16; ++c) EXPECT_EQ(0, s.renderVolumes[7].gain[c]) << c;
}

// Notifications that name no controller, no render endpoint, a capture
// endpoint or the MIDI port change nothing.
TEST_F(DeviceController, SynchronisationIgnoresWhatItCannotMatch) {
  startServer();
  const DravikDeviceId ids = deviceIds();
  struct Change {
    uint32_t id0, id1, kind, index;
  };
  const Change changes[] = {
      {ids.deviceId0 + 1, ids.deviceId1, 2, 0},  // unknown device
      {ids.deviceId0, ids.deviceId1, 2, 10},     // past the render list
      {ids.deviceId0, ids.deviceId1, 2, 0xFFFFFFFF},
      {ids.deviceId0, ids.deviceId1, 1, 0},      // capture: nothing to do
      {ids.deviceId0, ids.deviceId1, 3, 0},      // unknown kind
      {ids.deviceId0, ids.deviceId1, 2, 9},      // the MIDI port has no volume
  };
  const uint64_t m = mark();
  for (const Change& c : changes) sc().raiseNotification(DRAVIK_NOTIFY_ENDPOINT_VOLUME, &c, sizeof c);
  const uint32_t unknown[2] = {ids.deviceId0, ids.deviceId1 + 1};
  sc().raiseNotification(DRAVIK_NOTIFY_MIXER_GAINS, unknown, sizeof unknown);
  // A payload of the wrong size is dropped.
  const uint32_t longer[3] = {ids.deviceId0, ids.deviceId1, 0};
  sc().raiseNotification(DRAVIK_NOTIFY_MIXER_GAINS, longer, sizeof longer);
  barrier();
  const std::vector<SimJournalEntry> entries = since(m);
  EXPECT_EQ(0u, countCode(entries, IOCTL_DRAVIK_GET_ENDPOINT_VOLUME));
  EXPECT_EQ(0u, countCode(entries, IOCTL_DRAVIK_SET_GAINS));
  EXPECT_EQ(0u, countCode(entries, IOCTL_DRAVIK_GET_GAINS));
  EXPECT_EQ(0u, countCode(entries, IOCTL_DRAVIK_SET_ENDPOINT_VOLUME));

  // The same device id with the right size does reach the controller.
  sc().raiseNotification(DRAVIK_NOTIFY_MIXER_GAINS, &ids, sizeof ids);
  barrier();
  EXPECT_EQ(9u, countCode(since(m), IOCTL_DRAVIK_SET_ENDPOINT_VOLUME));
}

// The records as the controller builds them, for every configuration value.
TEST(DeviceControllerRecords, EndpointCountsPerConfiguration) {
  struct Row {
    uint32_t render, capture, renderCount, captureCount;
  };
  const Row rows[] = {{0, 0, 10, 12}, {5, 0, 2, 12}, {1, 1, 2, 4}, {0, 2, 10, 4}, {4, 0, 2, 12}};
  for (const Row& r : rows) {
    DravikEndpointRecord record;
    CustomDevice::buildEndpoints(r.render, r.capture, record);
    EXPECT_EQ(r.renderCount, record.renderCount) << r.render << "/" << r.capture;
    EXPECT_EQ(r.captureCount, record.captureCount) << r.render << "/" << r.capture;
    for (uint32_t i = 0; i < record.renderCount; ++i) EXPECT_EQ(i, record.render[i].index);
    for (uint32_t i = 0; i < record.captureCount; ++i) EXPECT_EQ(i, record.capture[i].index);
  }
  DravikChannelNameRecord names;
  CustomDevice::buildChannelNames(false, names);
  EXPECT_EQ(18u, names.renderCount);
  EXPECT_EQ(22u, names.captureCount);
  for (uint32_t i = 0; i < names.renderCount; ++i) EXPECT_EQ(0, names.render[i].zero);
}

}  // namespace
