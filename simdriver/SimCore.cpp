#include "simdriver/SimCore.h"

#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikMessage.h"
#include "platform/WnDeviceNotification.h"
#include "simdriver/SimRequestTable.h"

namespace {

// The device-interface class of the driver: {4033B9FA-A338-489F-8F9D-10A89289268B}.
constexpr WnGuid kInterfaceClass = {0x4033B9FA, 0xA338, 0x489F, {0x8F, 0x9D, 0x10, 0xA8, 0x92, 0x89, 0x26, 0x8B}};

}  // namespace

void SimDeferred::run() {
  if (clock.joinable()) clock.join();
  if (relayTimer.joinable()) relayTimer.join();
  for (size_t i = 0; i < interfaceEventCount; ++i) wnRaiseDeviceInterfaceEvent(kInterfaceClass, interfaceEvents[i]);
  interfaceEventCount = 0;
}

SimCore::SimCore(const SimDriverConfig& cfg)
    : config(cfg),
      driverInfo(cfg.driverInfo),
      stream(cfg),
      relay(*this),
      asio(*this, cfg.clockMode, cfg.inputSource),
      journal(cfg.journalCapacity) {
  for (const SimDeviceConfig& d : cfg.devices) plug(d, nullptr, false);
}

SimDeferred SimCore::takeDeferred() {
  SimDeferred out;
  out.clock = std::move(deferred.clock);
  out.relayTimer = std::move(deferred.relayTimer);
  for (size_t i = 0; i < deferred.interfaceEventCount; ++i) out.interfaceEvents[i] = deferred.interfaceEvents[i];
  out.interfaceEventCount = deferred.interfaceEventCount;
  deferred.interfaceEventCount = 0;
  return out;
}

SimHandle* SimCore::findHandle(SimHandleId id) {
  auto it = handles.find(id);
  return it == handles.end() ? nullptr : it->second.get();
}

std::vector<SimDevice*> SimCore::presentDevices() const {
  std::vector<SimDevice*> out;
  for (const auto& d : devices)
    if (d->present()) out.push_back(d.get());
  return out;
}

std::vector<SimDevice*> SimCore::streamingDevices() const {
  std::vector<SimDevice*> present = presentDevices();
  if (stream.allDevices() || present.empty()) return present;
  const DravikStreamingDeviceSelection& s = stream.selection();
  for (SimDevice* d : present)
    if (d->matches(s.deviceId0, s.deviceId1)) return {d};
  return {present.front()};
}

SimDevice* SimCore::findDevice(uint32_t id0, uint32_t id1, bool* removed) const {
  if (removed) *removed = false;
  for (const auto& d : devices) {
    if (!d->matches(id0, id1)) continue;
    if (d->present()) return d.get();
    if (removed) *removed = true;
    return nullptr;
  }
  return nullptr;
}

SimDevice* SimCore::findPresent(const std::u16string& serial) const {
  for (const auto& d : devices)
    if (d->present() && d->config().serial == serial) return d.get();
  return nullptr;
}

void SimCore::asioRegistrationsChanged() {
  uint32_t n = 0;
  for (const auto& [id, h] : handles)
    if (h->registered && h->initiatorType == DRAVIK_INITIATOR_ASIO) ++n;
  stream.setAsioHandles(*this, n);
}

DravikStatus SimCore::plug(const SimDeviceConfig& cfg, SimDevice** out, bool announce) {
  if (out) *out = nullptr;
  if (presentDevices().size() >= DRAVIK_MAX_DEVICES) return DRAVIK_STATUS_NO_RESOURCES;
  if (findPresent(cfg.serial)) return DRAVIK_STATUS_ALREADY_DONE;
  const uint32_t instance = nextInstance++;
  const DravikDeviceId ids = {0x00005100u + instance, 0x7A000000u | ((instance * 0x9E37u) & 0x00FFFFFFu)};
  devices.push_back(std::make_unique<SimDevice>(cfg, ids));
  if (out) *out = devices.back().get();
  if (announce) {
    notify(DRAVIK_NOTIFY_DEVICE_ARRIVED, nullptr, 0);
    deferred.addInterfaceEvent(WN_DBT_DEVICEARRIVAL);
  }
  return DRAVIK_STATUS_SUCCESS;
}

void SimCore::unplug(SimDevice& device) {
  if (!device.present()) return;
  device.setPresent(false);
  asio.deviceRemoved(device);
  stream.devicesChanged(*this);
  notify(DRAVIK_NOTIFY_DEVICE_REMOVED, nullptr, 0);
  deferred.addInterfaceEvent(WN_DBT_DEVICEREMOVECOMPLETE);
}

void SimCore::closeHandle(SimHandleId id) {
  auto it = handles.find(id);
  if (it == handles.end()) return;
  SimHandle& h = *it->second;
  const bool wasAsio = h.registered && h.initiatorType == DRAVIK_INITIATOR_ASIO;
  relay.handleClosed(h);
  asio.handleClosed(h);
  handles.erase(it);
  if (wasAsio) asioRegistrationsChanged();
}

DravikStatus SimCore::openDevice(SimHandle& h, const DravikDeviceId& id) {
  if (h.device && h.device->present()) return DRAVIK_STATUS_ALREADY_DONE;
  bool removed = false;
  SimDevice* d = findDevice(id.deviceId0, id.deviceId1, &removed);
  if (!d) return removed ? DRAVIK_STATUS_DEVICE_REMOVED : DRAVIK_STATUS_OBJECT_NOT_FOUND;
  h.device = d;
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus SimCore::dispatch(SimHandleId id, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* answer,
                               uint32_t outSize, uint32_t& bytes) {
  bytes = 0;
  SimHandle* h = findHandle(id);
  DravikStatus status = h ? route(*h, code, in, inSize, answer, outSize, bytes) : WN_ERROR_INVALID_HANDLE;
  if (status != DRAVIK_STATUS_SUCCESS) bytes = 0;
  journal.add(id, code, in, inSize, outSize, status, bytes);
  journalChanged.notify_all();
  return status;
}

DravikStatus SimCore::route(SimHandle& h, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* answer,
                            uint32_t outSize, uint32_t& bytes) {
  const SimRequestSpec* spec = simFindRequest(code);
  if (!spec) return DRAVIK_STATUS_INVALID_IOCTL;
  SimDevice* device = nullptr;
  if (spec->scope == SimScope::Device) {
    if (!h.device) return DRAVIK_STATUS_NO_DEVICE;
    if (!h.device->present()) return DRAVIK_STATUS_DEVICE_REMOVED;
    device = h.device;
  }
  if (!in && inSize) return DRAVIK_STATUS_INVALID_INBUFFER_SIZE;  // above any request's size
  if (DravikStatus s = simCheckSizes(*spec, in, inSize, outSize)) return s;
  DravikStatus injected = 0;
  if (faults.take(code, h.id, injected)) return injected;

  SimRequest r{h, code, in, inSize, answer, outSize, device, 0};
  DravikStatus status = DRAVIK_STATUS_INVALID_IOCTL;
  switch (code) {
    case IOCTL_DRAVIK_GET_DRIVER_INFO:
      r.answer(driverInfo);
      status = DRAVIK_STATUS_SUCCESS;
      break;
    case IOCTL_DRAVIK_GET_DEVICE_LIST: {
      DravikDeviceList list{};
      const std::vector<SimDevice*> streaming = streamingDevices();
      for (SimDevice* d : presentDevices()) {
        bool isStreaming = false;
        for (SimDevice* s : streaming) isStreaming = isStreaming || s == d;
        list.devices[list.count++] = d->record(isStreaming);
      }
      r.answer(list);
      status = DRAVIK_STATUS_SUCCESS;
      break;
    }
    case IOCTL_DRAVIK_OPEN_DEVICE:
      status = openDevice(h, r.input<DravikDeviceId>());
      break;
    case IOCTL_DRAVIK_POST_MESSAGE:
    case IOCTL_DRAVIK_READ_MESSAGE:
    case IOCTL_DRAVIK_READ_NOTIFICATION:
    case IOCTL_DRAVIK_SET_MESSAGE_EVENTS:
    case IOCTL_DRAVIK_REGISTER_INITIATOR:
      status = relay.handle(r);
      break;
    case IOCTL_DRAVIK_GET_INPUT_CHANNELS:
    case IOCTL_DRAVIK_GET_OUTPUT_CHANNELS:
    case IOCTL_DRAVIK_GET_CHANNEL_INFO:
      status = asio.handle(r);
      break;
    default:
      if (spec->scope == SimScope::Device)
        status = device->handle(*this, r);
      else if (spec->scope == SimScope::Asio)
        status = asio.handle(r);
      else
        status = stream.handle(*this, r);
      break;
  }
  bytes = status == DRAVIK_STATUS_SUCCESS ? r.bytes : 0;
  return status;
}
