#include "simdriver/SimDevice.h"

#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikMessage.h"
#include "simdriver/SimCore.h"

namespace {

void copyText(char16_t* out, size_t capacity, const std::u16string& text) {
  size_t i = 0;
  for (; i < text.size() && i + 1 < capacity; ++i) out[i] = text[i];
  out[i] = 0;
}

constexpr uint32_t kEndpointDirectionCapture = 1;
constexpr uint32_t kEndpointDirectionRender = 2;

}  // namespace

SimDevice::SimDevice(const SimDeviceConfig& config, const DravikDeviceId& ids)
    : config_(config),
      ids_(ids),
      mixer_(config.hasMixer, config.topologyType2),
      echo_(config.echoEffect),
      captureVolumes_(DRAVIK_MAX_NAMED_CHANNELS),
      renderVolumes_(DRAVIK_MAX_NAMED_CHANNELS) {
  spdif_.state = 1;  // no signal
  for (uint32_t i = 0; i < DRAVIK_MAX_NAMED_CHANNELS; ++i) {
    captureVolumes_[i] = DravikEndpointVolume{};
    captureVolumes_[i].direction = kEndpointDirectionCapture;
    captureVolumes_[i].endpointIndex = i;
    renderVolumes_[i] = DravikEndpointVolume{};
    renderVolumes_[i].direction = kEndpointDirectionRender;
    renderVolumes_[i].endpointIndex = i;
  }
}

DravikDeviceRecord SimDevice::record(bool streaming) const {
  DravikDeviceRecord r{};
  r.deviceId0 = ids_.deviceId0;
  r.deviceId1 = ids_.deviceId1;
  r.vendorId = config_.vendorId;
  r.productId = config_.productId;
  copyText(r.serialNumber, DRAVIK_SERIAL_CHARS, config_.serial);
  copyText(r.deviceName, DRAVIK_DEVICE_NAME_CHARS, config_.name);
  r.speedFlags = config_.highSpeed ? 1 : 0;
  r.featureFlags = config_.echoEffect ? 1 : 0;
  r.streamingFlags = streaming ? 1 : 0;
  return r;
}

void SimDevice::notify(SimCore& core, uint32_t code) const { core.notify(code, &ids_, sizeof ids_); }

void SimDevice::setSpdifStatus(uint32_t state, uint32_t format, uint32_t rate) {
  spdif_.state = state;
  spdif_.format = format;
  spdif_.sampleRate = rate;
}

DravikStatus SimDevice::endpointSlot(uint32_t direction, uint32_t index, DravikEndpointVolume*& out) {
  out = nullptr;
  uint32_t count = 0;
  if (direction == kEndpointDirectionCapture)
    count = endpointsSet_ ? endpoints_.captureCount : 0;
  else if (direction == kEndpointDirectionRender)
    count = endpointsSet_ ? endpoints_.renderCount : 0;
  else
    return DRAVIK_STATUS_OBJECT_NOT_FOUND;
  if (index >= count) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
  out = direction == kEndpointDirectionCapture ? &captureVolumes_[index] : &renderVolumes_[index];
  return DRAVIK_STATUS_SUCCESS;
}

bool SimDevice::storeEndpointVolume(uint32_t kind, uint32_t index, const DravikEndpointVolume& volume) {
  DravikEndpointVolume* slot = nullptr;
  if (endpointSlot(kind, index, slot) != DRAVIK_STATUS_SUCCESS) return false;
  *slot = volume;
  slot->direction = kind;
  slot->endpointIndex = index;
  return true;
}

DravikStatus SimDevice::handle(SimCore& core, SimRequest& r) {
  switch (r.code) {
    case IOCTL_DRAVIK_GET_MIXER_TOPOLOGY: {
      DravikMixerTopology t;
      mixer_.topology(t);
      r.answer(t);
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SET_DEVICE_SETUP:
      deviceSetup_ = r.input<DravikDeviceSetup>();
      deviceSetupSet_ = true;
      return DRAVIK_STATUS_SUCCESS;
    case IOCTL_DRAVIK_SET_CHANNEL_NAMES: {
      const auto names = r.input<DravikChannelNameRecord>();
      if (names.captureCount > DRAVIK_MAX_NAMED_CHANNELS || names.renderCount > DRAVIK_MAX_NAMED_CHANNELS)
        return DRAVIK_STATUS_INVALID_PARAMETER;
      channelNames_ = names;
      channelNamesSet_ = true;
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SET_ENDPOINTS: {
      const auto endpoints = r.input<DravikEndpointRecord>();
      if (endpoints.captureCount > DRAVIK_MAX_NAMED_CHANNELS || endpoints.renderCount > DRAVIK_MAX_NAMED_CHANNELS)
        return DRAVIK_STATUS_INVALID_PARAMETER;
      endpoints_ = endpoints;
      endpointsSet_ = true;
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_GET_SPDIF_STATUS: {
      auto s = r.input<DravikSpdifStatus>();
      if (!config_.spdifInput || s.spdifInput != 0) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
      s.state = spdif_.state;
      s.format = spdif_.format;
      s.sampleRate = spdif_.sampleRate;
      r.answer(s);
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SET_SPDIF_PASSTHROUGH: {
      const auto p = r.input<DravikSpdifPassThrough>();
      if (p.selector0 != 0 || p.selector1 != 0 || p.enabled > 1) return DRAVIK_STATUS_INVALID_PARAMETER;
      const bool on = p.enabled == 1;
      if (on != passThrough_) {
        passThrough_ = on;
        notify(core, DRAVIK_NOTIFY_DEVICE_STATE);
      }
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_GET_SPDIF_PASSTHROUGH: {
      auto p = r.input<DravikSpdifPassThrough>();
      if (p.selector0 != 0 || p.selector1 != 0) return DRAVIK_STATUS_INVALID_PARAMETER;
      p.enabled = passThrough_ ? 1 : 0;
      r.answer(p);
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SET_BYPASS_VOLUME:
    case IOCTL_DRAVIK_SET_BYPASS_MUTE: {
      const uint8_t v = r.in[0];
      if (v > 1) return DRAVIK_STATUS_INVALID_PARAMETER;
      bool& flag = r.code == IOCTL_DRAVIK_SET_BYPASS_VOLUME ? bypassVolume_ : bypassMute_;
      if ((v == 1) != flag) {
        flag = v == 1;
        notify(core, DRAVIK_NOTIFY_DEVICE_STATE);
      }
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_GET_BYPASS_VOLUME:
    case IOCTL_DRAVIK_GET_BYPASS_MUTE: {
      const uint8_t v = (r.code == IOCTL_DRAVIK_GET_BYPASS_VOLUME ? bypassVolume_ : bypassMute_) ? 1 : 0;
      r.answer(v);
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_GET_MIXER_PINS: {
      const auto selector = r.input<uint32_t>();
      const std::vector<DravikPinDescriptor>* pins = mixer_.pins(selector);
      if (!pins) return DRAVIK_STATUS_INVALID_PARAMETER;
      size_t n = pins->size();
      if (n > r.outSize / 4) n = r.outSize / 4;
      r.answerBytes(pins->data(), static_cast<uint32_t>(n * 4));
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_GET_INPUT_LEVELS:
    case IOCTL_DRAVIK_GET_OUTPUT_LEVELS: {
      const size_t n = r.inSize / sizeof(DravikLevelEntry);
      auto* entries = reinterpret_cast<DravikLevelEntry*>(r.out);
      std::memcpy(entries, r.in, r.inSize);
      if (DravikStatus s = mixer_.getLevels(r.code == IOCTL_DRAVIK_GET_OUTPUT_LEVELS, entries, n)) return s;
      r.bytes = r.inSize;
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_GET_GAINS:
    case IOCTL_DRAVIK_SET_GAINS: {
      const size_t n = r.inSize / sizeof(DravikGainEntry);
      auto* entries = reinterpret_cast<DravikGainEntry*>(r.out);
      std::memcpy(entries, r.in, r.inSize);
      if (r.code == IOCTL_DRAVIK_SET_GAINS) {
        if (DravikStatus s = mixer_.setGains(entries, n)) return s;
        notify(core, DRAVIK_NOTIFY_MIXER_GAINS);
      }
      if (DravikStatus s = mixer_.getGains(entries, n)) return s;
      r.bytes = r.inSize;
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_GET_CROSSPOINTS:
    case IOCTL_DRAVIK_SET_CROSSPOINTS: {
      const size_t n = r.inSize / sizeof(DravikCrosspointEntry);
      auto* entries = reinterpret_cast<DravikCrosspointEntry*>(r.out);
      std::memcpy(entries, r.in, r.inSize);
      if (r.code == IOCTL_DRAVIK_SET_CROSSPOINTS) {
        if (DravikStatus s = mixer_.setCrosspoints(entries, n)) return s;
        notify(core, DRAVIK_NOTIFY_MIXER_CROSSPOINTS);
      }
      if (DravikStatus s = mixer_.getCrosspoints(entries, n)) return s;
      r.bytes = r.inSize;
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_GET_ENDPOINT_VOLUME: {
      const auto v = r.input<DravikEndpointVolume>();
      DravikEndpointVolume* slot = nullptr;
      if (DravikStatus s = endpointSlot(v.direction, v.endpointIndex, slot)) return s;
      r.answer(*slot);
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SET_ENDPOINT_VOLUME: {
      const auto v = r.input<DravikEndpointVolume>();
      DravikEndpointVolume* slot = nullptr;
      if (DravikStatus s = endpointSlot(v.direction, v.endpointIndex, slot)) return s;
      *slot = v;
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SET_EFFECT_PARAMETERS:
      return echo_.set(r.input<DravikEffectParameters>());
    case IOCTL_DRAVIK_GET_EFFECT_PARAMETERS: {
      auto block = r.input<DravikEffectParameters>();
      if (DravikStatus s = echo_.get(block)) return s;
      r.answer(block);
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SET_STREAMING_INTERFACE: {
      const auto s = r.input<DravikStreamingInterface>();
      if (s.index >= SIM_STREAMING_INTERFACES || s.value > 1) return DRAVIK_STATUS_INVALID_PARAMETER;
      const uint32_t state = core.stream.state();
      if (s.value == 1 && state != DRAVIK_STREAM_PREPARED && state != DRAVIK_STREAM_RUNNING)
        return DRAVIK_STATUS_INVALID_STATE;
      interfaces_[s.index].onSet = true;
      interfaces_[s.index].on = s.value;
      return DRAVIK_STATUS_SUCCESS;
    }
    case IOCTL_DRAVIK_SET_STREAMING_INTERFACE_PARAM: {
      const auto s = r.input<DravikStreamingInterface>();
      if (s.index >= SIM_STREAMING_INTERFACES) return DRAVIK_STATUS_INVALID_PARAMETER;
      if (interfaces_[s.index].on != 0) return DRAVIK_STATUS_INVALID_STATE;
      interfaces_[s.index].paramSet = true;
      interfaces_[s.index].param = s.value;
      return DRAVIK_STATUS_SUCCESS;
    }
    default:
      return DRAVIK_STATUS_INVALID_IOCTL;
  }
}

SimDeviceSnapshot SimDevice::snapshot(bool streaming) const {
  SimDeviceSnapshot s;
  s.record = record(streaming);
  s.present = present_;
  s.spdif = spdif_;
  s.spdifPassThrough = passThrough_;
  s.bypassVolume = bypassVolume_;
  s.bypassMute = bypassMute_;
  s.deviceSetupSet = deviceSetupSet_;
  s.deviceSetup = deviceSetup_;
  s.channelNamesSet = channelNamesSet_;
  s.channelNames = channelNames_;
  s.endpointsSet = endpointsSet_;
  s.endpoints = endpoints_;
  for (uint32_t i = 0; i < SIM_STREAMING_INTERFACES; ++i) s.interfaces[i] = interfaces_[i];
  s.gains = mixer_.gainSnapshot();
  s.crosspoints = mixer_.crosspointSnapshot();
  if (endpointsSet_) {
    s.captureVolumes.assign(captureVolumes_.begin(), captureVolumes_.begin() + endpoints_.captureCount);
    s.renderVolumes.assign(renderVolumes_.begin(), renderVolumes_.begin() + endpoints_.renderCount);
  }
  if (echo_.present()) {
    s.echoChannels = SimEchoEffect::kChannels;
    s.echoMaxDelay = SimEchoEffect::kMaxDelayMs;
    s.echoDelay = echo_.delays();
    s.echoLevel = echo_.levels();
  }
  return s;
}
