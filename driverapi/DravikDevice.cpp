#include "driverapi/DravikDevice.h"

#include <cstring>

#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikNames.h"

DravikDevice::DravikDevice() = default;

DravikDevice::~DravikDevice() = default;

DravikStatus DravikDevice::onOpened() { return DRAVIK_STATUS_SUCCESS; }

DravikStatus DravikDevice::open(const char16_t* driverName, const DravikDeviceRecord& record) {
  WnLockGuard guard(lock_);
  if (isOpen()) return DRAVIK_STATUS_REJECTED;
  dravikCopyName(driverName_, DRAVIK_DRIVER_NAME_CHARS, driverName);
  record_ = record;
  if (DravikStatus s = DravikApiContext::open(driverName_)) return s;
  DravikDeviceId id{record_.deviceId0, record_.deviceId1};
  DravikStatus status = ioControl(IOCTL_DRAVIK_OPEN_DEVICE, &id, sizeof id, nullptr, 0);
  if (status == DRAVIK_STATUS_SUCCESS) status = onOpened();
  if (status != DRAVIK_STATUS_SUCCESS) close();
  return status;
}

// --- SPDIF and volume bypass.

DravikStatus DravikDevice::getSpdifStatus(uint32_t spdifInput, DravikSpdifStatus& out) {
  std::memset(&out, 0, sizeof out);
  out.spdifInput = spdifInput;
  return ioControl(IOCTL_DRAVIK_GET_SPDIF_STATUS, &out, sizeof out, &out, sizeof out);
}

DravikStatus DravikDevice::setSpdifPassThrough(uint32_t selector0, uint32_t selector1, bool enabled) {
  DravikSpdifPassThrough record{selector0, selector1, 0};
  // One byte 1 or 0, then three zero bytes (little-endian u32 1 or 0).
  reinterpret_cast<uint8_t*>(&record.enabled)[0] = enabled ? 1 : 0;
  return ioControl(IOCTL_DRAVIK_SET_SPDIF_PASSTHROUGH, &record, sizeof record, nullptr, 0);
}

DravikStatus DravikDevice::getSpdifPassThrough(uint32_t selector0, uint32_t selector1, bool& enabled) {
  DravikSpdifPassThrough record{selector0, selector1, 0};
  const DravikStatus status =
      ioControl(IOCTL_DRAVIK_GET_SPDIF_PASSTHROUGH, &record, sizeof record, &record, sizeof record);
  if (status == DRAVIK_STATUS_SUCCESS) enabled = record.enabled != 0;
  return status;
}

DravikStatus DravikDevice::setBypassVolume(bool on) {
  uint8_t value = on ? 1 : 0;
  return ioControl(IOCTL_DRAVIK_SET_BYPASS_VOLUME, &value, 1, nullptr, 0);
}

DravikStatus DravikDevice::getBypassVolume(bool& on) {
  uint8_t value = 0;
  on = false;
  const DravikStatus status = ioControl(IOCTL_DRAVIK_GET_BYPASS_VOLUME, nullptr, 0, &value, 1);
  if (status == DRAVIK_STATUS_SUCCESS) on = value != 0;
  return status;
}

DravikStatus DravikDevice::setBypassMute(bool on) {
  uint8_t value = on ? 1 : 0;
  return ioControl(IOCTL_DRAVIK_SET_BYPASS_MUTE, &value, 1, nullptr, 0);
}

DravikStatus DravikDevice::getBypassMute(bool& on) {
  uint8_t value = 0;
  on = false;
  const DravikStatus status = ioControl(IOCTL_DRAVIK_GET_BYPASS_MUTE, nullptr, 0, &value, 1);
  if (status == DRAVIK_STATUS_SUCCESS) on = value != 0;
  return status;
}

// --- Mixer.

DravikStatus DravikDevice::getMixerPins(uint32_t selector, DravikPinDescriptor* out, uint32_t capacity,
                                        uint32_t& count) {
  count = 0;
  if (capacity > 0 && !out) return DRAVIK_STATUS_INVALID_PARAMETER;
  if (capacity > 0) std::memset(out, 0, capacity * sizeof(DravikPinDescriptor));
  uint32_t bytes = 0;
  const DravikStatus status = ioControl(IOCTL_DRAVIK_GET_MIXER_PINS, &selector, sizeof selector, out,
                                        capacity * static_cast<uint32_t>(sizeof(DravikPinDescriptor)), &bytes);
  if (status != DRAVIK_STATUS_SUCCESS) return status;
  count = bytes / sizeof(DravikPinDescriptor);
  if (count > capacity) count = capacity;
  return status;
}

namespace {

// In-and-out array requests: n entries sent and received in one buffer.
template <class Entry>
DravikStatus entryRequest(DravikApiContext& channel, uint32_t code, Entry* entries, uint32_t n) {
  if (n > 0 && !entries) return DRAVIK_STATUS_INVALID_PARAMETER;
  const uint64_t bytes = uint64_t{n} * sizeof(Entry);
  if (bytes > UINT32_MAX) return DRAVIK_STATUS_INVALID_PARAMETER;
  const uint32_t size = static_cast<uint32_t>(bytes);
  return channel.ioControl(code, entries, size, entries, size);
}

}  // namespace

DravikStatus DravikDevice::getInputLevels(DravikLevelEntry* entries, uint32_t n) {
  return entryRequest(*this, IOCTL_DRAVIK_GET_INPUT_LEVELS, entries, n);
}

DravikStatus DravikDevice::getOutputLevels(DravikLevelEntry* entries, uint32_t n) {
  return entryRequest(*this, IOCTL_DRAVIK_GET_OUTPUT_LEVELS, entries, n);
}

DravikStatus DravikDevice::getGains(DravikGainEntry* entries, uint32_t n) {
  return entryRequest(*this, IOCTL_DRAVIK_GET_GAINS, entries, n);
}

DravikStatus DravikDevice::getCrosspoints(DravikCrosspointEntry* entries, uint32_t n) {
  return entryRequest(*this, IOCTL_DRAVIK_GET_CROSSPOINTS, entries, n);
}

DravikStatus DravikDevice::setGains(DravikGainEntry* entries, uint32_t n) {
  return entryRequest(*this, IOCTL_DRAVIK_SET_GAINS, entries, n);
}

DravikStatus DravikDevice::setCrosspoints(DravikCrosspointEntry* entries, uint32_t n) {
  return entryRequest(*this, IOCTL_DRAVIK_SET_CROSSPOINTS, entries, n);
}

DravikStatus DravikDevice::getEndpointVolume(uint32_t direction, uint32_t endpointIndex, DravikEndpointVolume& out) {
  std::memset(&out, 0, sizeof out);
  out.direction = direction;
  out.endpointIndex = endpointIndex;
  return ioControl(IOCTL_DRAVIK_GET_ENDPOINT_VOLUME, &out, sizeof out, &out, sizeof out);
}

DravikStatus DravikDevice::setEndpointVolume(const DravikEndpointVolume& record) {
  return ioControl(IOCTL_DRAVIK_SET_ENDPOINT_VOLUME, &record, sizeof record, nullptr, 0);
}

DravikStatus DravikDevice::setEffectParameters(const DravikEffectParameters& block, uint32_t size) {
  if (size > sizeof block) return DRAVIK_STATUS_INVALID_PARAMETER;
  return ioControl(IOCTL_DRAVIK_SET_EFFECT_PARAMETERS, &block, size, nullptr, 0);
}

DravikStatus DravikDevice::getEffectParameters(DravikEffectParameters& block, uint32_t size) {
  if (size > sizeof block) return DRAVIK_STATUS_INVALID_PARAMETER;
  return ioControl(IOCTL_DRAVIK_GET_EFFECT_PARAMETERS, &block, size, &block, size);
}

DravikStatus DravikDevice::getMixerTopology(DravikMixerTopology& out) {
  std::memset(&out, 0, sizeof out);
  return ioControl(IOCTL_DRAVIK_GET_MIXER_TOPOLOGY, nullptr, 0, &out, sizeof out);
}

// --- Service requests.

DravikStatus DravikDevice::setStreamingInterface(uint32_t index, uint32_t on) {
  DravikStreamingInterface record{index, on};
  return ioControl(IOCTL_DRAVIK_SET_STREAMING_INTERFACE, &record, sizeof record, nullptr, 0);
}

DravikStatus DravikDevice::setStreamingInterfaceParam(uint32_t index, uint32_t value) {
  DravikStreamingInterface record{index, value};
  return ioControl(IOCTL_DRAVIK_SET_STREAMING_INTERFACE_PARAM, &record, sizeof record, nullptr, 0);
}

DravikStatus DravikDevice::setDeviceSetup(const DravikDeviceSetup& setup) {
  return ioControl(IOCTL_DRAVIK_SET_DEVICE_SETUP, &setup, sizeof setup, nullptr, 0);
}

DravikStatus DravikDevice::setChannelNames(const DravikChannelNameRecord& names) {
  return ioControl(IOCTL_DRAVIK_SET_CHANNEL_NAMES, &names, sizeof names, nullptr, 0);
}

DravikStatus DravikDevice::setEndpoints(const DravikEndpointRecord& endpoints) {
  return ioControl(IOCTL_DRAVIK_SET_ENDPOINTS, &endpoints, sizeof endpoints, nullptr, 0);
}
