#include "service/CustomDevice.h"

#include <cstring>

#include "driverapi/DravikMixerRecords.h"
#include "platform/WnRegistryKey.h"
#include "service/GainConversion.h"
#include "service/ServiceIdentity.h"
#include "service/WideFormat.h"

namespace {

constexpr uint32_t kAnalogChannels = 16;
constexpr uint32_t kSpdifChannels = 2;
constexpr uint32_t kVirtualChannels = 4;
constexpr uint32_t kAnalogPairs = 8;
constexpr uint32_t kVirtualPairs = 2;
constexpr uint32_t kStreamingInterfaceParam = 8;
constexpr uint32_t kRenderDirection = 2;  // endpoint volume records of the render list
constexpr uint32_t kStreamingInterfaces[] = {0, 2};

void addChannelName(uint32_t& count, DravikChannelNameEntry* list, uint32_t type, uint32_t channel,
                    const char16_t* format) {
  if (count >= DRAVIK_MAX_NAMED_CHANNELS) return;
  DravikChannelNameEntry& e = list[count++];
  e.channelType = type;
  e.pairIndex = channel / 2;
  e.side = channel % 2;
  wideFormat(e.name, DRAVIK_ENDPOINT_NAME_CHARS, format, channel + 1);
}

DravikEndpointEntry* addEndpoint(uint32_t& count, DravikEndpointEntry* list, uint32_t type, uint32_t pair) {
  if (count >= DRAVIK_MAX_NAMED_CHANNELS) return nullptr;
  DravikEndpointEntry& e = list[count];
  e.endpointType = type;
  e.one = 1;
  e.pairIndex = pair;
  e.index = count;
  ++count;
  return &e;
}

void addPair(uint32_t& count, DravikEndpointEntry* list, uint32_t type, uint32_t pair, const char16_t* format) {
  if (DravikEndpointEntry* e = addEndpoint(count, list, type, pair)) {
    if (type == DRAVIK_CHANNEL_TYPE_ANALOG) {
      e->kind44 = 3;
      e->value140 = 0xFF800000u;
    }
    wideFormat(e->name, DRAVIK_ENDPOINT_NAME_CHARS, format, 2 * pair + 1, 2 * pair + 2);
  }
}

void addMidi(uint32_t& count, DravikEndpointEntry* list, int32_t direction, const char16_t* name) {
  if (DravikEndpointEntry* e = addEndpoint(count, list, DRAVIK_CHANNEL_TYPE_MIDI, 0)) {
    e->kind40 = 2;
    e->midiDirection = direction;
    wideCopy(e->name, DRAVIK_ENDPOINT_NAME_CHARS, name);
  }
}

bool isMidi(const DravikEndpointEntry& e) { return e.kind40 == 2; }

uint8_t pinKindOf(const DravikEndpointEntry& e) {
  return e.endpointType == DRAVIK_CHANNEL_TYPE_ANALOG ? DRAVIK_PIN_ANALOG : DRAVIK_PIN_SPDIF;
}

}  // namespace

CustomDevice::CustomDevice() : timerForwarder_(this, &CustomDevice::onTimer) {}

CustomDevice::~CustomDevice() {
  timer_.cancel();
  timer_.close();
}

// --- Records.

void CustomDevice::buildChannelNames(bool omitAnalog, DravikChannelNameRecord& out) {
  std::memset(&out, 0, sizeof out);
  if (!omitAnalog)
    for (uint32_t n = 0; n < kAnalogChannels; ++n)
      addChannelName(out.renderCount, out.render, DRAVIK_CHANNEL_TYPE_ANALOG, n, u"Tovix8 Out %u");
  for (uint32_t n = 0; n < kSpdifChannels; ++n)
    addChannelName(out.renderCount, out.render, DRAVIK_CHANNEL_TYPE_SPDIF, n, u"Tovix8 SPDIF %u");

  if (!omitAnalog)
    for (uint32_t n = 0; n < kAnalogChannels; ++n)
      addChannelName(out.captureCount, out.capture, DRAVIK_CHANNEL_TYPE_ANALOG, n, u"Tovix8 Analog In %u");
  for (uint32_t n = 0; n < kSpdifChannels; ++n)
    addChannelName(out.captureCount, out.capture, DRAVIK_CHANNEL_TYPE_SPDIF, n, u"Tovix8 SPDIF In %u");
  for (uint32_t n = 0; n < kVirtualChannels; ++n)
    addChannelName(out.captureCount, out.capture, DRAVIK_CHANNEL_TYPE_VIRTUAL, n, u"Tovix8 Virtual In %u");
}

void CustomDevice::buildEndpoints(uint32_t renderConfiguration, uint32_t captureConfiguration,
                                  DravikEndpointRecord& out) {
  std::memset(&out, 0, sizeof out);
  if (renderConfiguration == 0)
    for (uint32_t k = 0; k < kAnalogPairs; ++k)
      addPair(out.renderCount, out.render, DRAVIK_CHANNEL_TYPE_ANALOG, k, u"Tovix8 Out %u/%u");
  if (DravikEndpointEntry* e = addEndpoint(out.renderCount, out.render, DRAVIK_CHANNEL_TYPE_SPDIF, 0)) {
    e->kind40 = 1;
    wideFormat(e->name, DRAVIK_ENDPOINT_NAME_CHARS, u"Tovix8 SPDIF %u/%u", 1u, 2u);
  }

  if (captureConfiguration == 0)
    for (uint32_t k = 0; k < kAnalogPairs; ++k)
      addPair(out.captureCount, out.capture, DRAVIK_CHANNEL_TYPE_ANALOG, k, u"Tovix8 Analog In %u/%u");
  if (DravikEndpointEntry* e = addEndpoint(out.captureCount, out.capture, DRAVIK_CHANNEL_TYPE_SPDIF, 0))
    wideFormat(e->name, DRAVIK_ENDPOINT_NAME_CHARS, u"Tovix8 SPDIF In %u/%u", 1u, 2u);
  for (uint32_t k = 0; k < kVirtualPairs; ++k)
    addPair(out.captureCount, out.capture, DRAVIK_CHANNEL_TYPE_VIRTUAL, k, u"Tovix8 Virtual In %u/%u");

  addMidi(out.renderCount, out.render, 1, u"Tovix8 Midi Out");
  addMidi(out.captureCount, out.capture, -1, u"Tovix8 Midi In");
}

// --- Registry.

uint32_t CustomDevice::openDeviceKey(WnRegistryKey& key) {
  WnRegistryKey root;
  if (uint32_t err = root.create(wnHkeyLocalMachine(), TOVIX8_REGISTRY_ROOT, WN_KEY_READ | WN_KEY_WRITE)) return err;
  WnRegistryKey devices;
  if (uint32_t err = devices.create(root.get(), TOVIX8_DEVICES_SUBKEY, WN_KEY_READ | WN_KEY_WRITE)) return err;
  return key.create(devices.get(), registryKeyName(), WN_KEY_READ | WN_KEY_WRITE);
}

void CustomDevice::readConfiguration() {
  WnRegistryKey key;
  if (openDeviceKey(key) != 0) return;
  // readDword leaves the field alone for a missing or malformed value.
  key.readDword(TOVIX8_RENDER_CONFIG_VALUE, renderConfiguration_);
  key.readDword(TOVIX8_CAPTURE_CONFIG_VALUE, captureConfiguration_);
}

void CustomDevice::writeConfiguration() {
  WnRegistryKey key;
  if (openDeviceKey(key) != 0) return;
  key.writeDword(TOVIX8_RENDER_CONFIG_VALUE, renderConfiguration_);
  key.writeDword(TOVIX8_CAPTURE_CONFIG_VALUE, captureConfiguration_);
}

// --- Start-up.

bool CustomDevice::hasType2Channel() {
  DravikMixerTopology topology;
  if (getMixerTopology(topology) != DRAVIK_STATUS_SUCCESS) return false;
  // The record holds 12 entries; a larger count must not read past them.
  const uint32_t count = topology.count < DRAVIK_MAX_TOPOLOGY_ENTRIES ? topology.count : DRAVIK_MAX_TOPOLOGY_ENTRIES;
  for (uint32_t i = 0; i < count; ++i) {
    const DravikTopologyEntry& entry = topology.entries[i];
    for (uint32_t j = 0; j < 16; ++j)
      if (entry.first[j].type == 2 || entry.second[j].type == 2) return true;
  }
  return false;
}

DravikStatus CustomDevice::sendEndpoints() {
  DravikEndpointRecord record;
  buildEndpoints(renderConfiguration_, captureConfiguration_, record);
  const DravikStatus status = setEndpoints(record);
  if (status == DRAVIK_STATUS_SUCCESS) endpoints_ = record;
  return status;
}

DravikStatus CustomDevice::onOpened() {
  readConfiguration();

  DravikDeviceSetup setup{};
  setup.values[0] = 2;
  setup.values[1] = 40;
  setup.values[2] = 0;
  setup.values[3] = 40;
  if (DravikStatus s = setDeviceSetup(setup)) return s;

  // Software playback channels 1..4 to virtual inputs 1..4 at 0 dB.
  DravikCrosspointEntry crosspoints[4] = {};
  for (uint8_t k = 0; k < 4; ++k) {
    crosspoints[k].output = {DRAVIK_PIN_VIRTUAL, k, 0};
    crosspoints[k].input = {DRAVIK_PIN_OUTPUT, k, 0};
    crosspoints[k].weight = 0;
    crosspoints[k].flags = 1;
  }
  if (DravikStatus s = setCrosspoints(crosspoints, 4)) return s;

  DravikChannelNameRecord names;
  buildChannelNames(hasType2Channel(), names);
  if (DravikStatus s = setChannelNames(names)) return s;

  if (DravikStatus s = sendEndpoints()) return s;

  DravikStatus result = DRAVIK_STATUS_SUCCESS;
  for (uint32_t index : kStreamingInterfaces) {
    DravikStatus s = setStreamingInterface(index, 0);
    if (s == DRAVIK_STATUS_SUCCESS) s = setStreamingInterfaceParam(index, kStreamingInterfaceParam);
    if (result == DRAVIK_STATUS_SUCCESS) result = s;
  }
  if (result != DRAVIK_STATUS_SUCCESS) return result;

  if (timer_.create(false, nullptr, nullptr) != 0) return DRAVIK_STATUS_FAILED;
  if (timer_.set(TOVIX8_DEVICE_TIMER_MS, &timerForwarder_, false) != 0) {
    timer_.close();
    return DRAVIK_STATUS_FAILED;
  }
  return DRAVIK_STATUS_SUCCESS;
}

void CustomDevice::onTimer(uint32_t, uint32_t) {
  // Nothing to do: the expiry's only purpose is to wake the server thread's
  // alertable wait.
}

// --- Transitions.

DravikStatus CustomDevice::beforeTransition(uint32_t state, uint32_t targetState, uint32_t) {
  uint32_t on = 0;
  if (targetState == DRAVIK_STREAM_READY && (state == DRAVIK_STREAM_PREPARED || state == DRAVIK_STREAM_RUNNING))
    on = 0;
  else if (targetState == DRAVIK_STREAM_RUNNING)
    on = 1;
  else
    return DRAVIK_STATUS_SUCCESS;
  DravikStatus result = DRAVIK_STATUS_SUCCESS;
  for (uint32_t index : kStreamingInterfaces) {
    const DravikStatus s = setStreamingInterface(index, on);
    if (result == DRAVIK_STATUS_SUCCESS) result = s;
  }
  return result;
}

// --- Volume synchronisation.

void CustomDevice::onHardwareLevelsChanged() {
  const uint32_t count =
      endpoints_.renderCount < DRAVIK_MAX_NAMED_CHANNELS ? endpoints_.renderCount : DRAVIK_MAX_NAMED_CHANNELS;
  for (uint32_t i = 0; i < count; ++i) {
    const DravikEndpointEntry& e = endpoints_.render[i];
    if (isMidi(e)) continue;
    DravikGainEntry gains[2] = {};
    for (uint8_t c = 0; c < 2; ++c) gains[c].pin = {pinKindOf(e), static_cast<uint8_t>(2 * e.pairIndex + c), 0};
    if (getGains(gains, 2) != DRAVIK_STATUS_SUCCESS) return;

    DravikEndpointVolume volume{};
    volume.direction = kRenderDirection;
    volume.endpointIndex = e.index;
    for (uint32_t c = 0; c < 2; ++c) {
      volume.gain[c] = dravikHundredthsToFixed(gains[c].gain);
      volume.mute[c] = gains[c].flags & 1u;
    }
    if (setEndpointVolume(volume) != DRAVIK_STATUS_SUCCESS) return;
  }
}

void CustomDevice::onRenderEndpointChanged(uint32_t endpointIndex) {
  if (endpointIndex >= endpoints_.renderCount || endpointIndex >= DRAVIK_MAX_NAMED_CHANNELS) return;
  const DravikEndpointEntry& e = endpoints_.render[endpointIndex];
  // A MIDI port has no volume; its pair index would name the SPDIF outputs.
  if (isMidi(e)) return;
  DravikEndpointVolume volume;
  if (getEndpointVolume(kRenderDirection, endpointIndex, volume) != DRAVIK_STATUS_SUCCESS) return;

  DravikGainEntry gains[2] = {};
  for (uint32_t c = 0; c < 2; ++c) {
    gains[c].pin = {pinKindOf(e), static_cast<uint8_t>(2 * e.pairIndex + c), 0};
    gains[c].flags = static_cast<uint8_t>(volume.mute[c] & 1u);
    gains[c].gain = dravikFixedToHundredths(volume.gain[c]);
  }
  setGains(gains, 2);
}

// --- WDM configuration.

DravikStatus CustomDevice::applyWdmConfiguration(const DravikDeviceConfig& config) {
  if (config.renderConfig != 0 || config.captureConfig != 0) return DRAVIK_STATUS_INVALID_PARAMETER;
  renderConfiguration_ = 0;
  captureConfiguration_ = config.captureConfig;
  writeConfiguration();
  return sendEndpoints();
}
