#include "simdriver/SimScenario.h"

#include <chrono>

#include "driverapi/DravikMessage.h"
#include "platform/WnTypes.h"
#include "simdriver/SimCore.h"

namespace {

// Runs f under the driver's lock, then the work that must follow the lock.
template <class F>
auto locked(SimCore& core, F f) {
  SimDeferred deferred;
  struct Runner {
    SimDeferred& d;
    ~Runner() { d.run(); }
  } runner{deferred};
  std::lock_guard<std::mutex> lock(core.mutex);
  struct Taker {
    SimCore& c;
    SimDeferred& d;
    ~Taker() { d = c.takeDeferred(); }
  } taker{core, deferred};
  return f();
}

}  // namespace

DravikStatus SimScenario::plugDevice(const SimDeviceConfig& config, DravikDeviceId* ids) {
  return locked(core_, [&]() -> DravikStatus {
    SimDevice* d = nullptr;
    DravikStatus s = core_.plug(config, &d, true);
    if (s == DRAVIK_STATUS_SUCCESS && ids) *ids = d->ids();
    return s;
  });
}

DravikStatus SimScenario::unplugDevice(const std::u16string& serial) {
  return locked(core_, [&]() -> DravikStatus {
    SimDevice* d = core_.findPresent(serial);
    if (!d) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
    core_.unplug(*d);
    return DRAVIK_STATUS_SUCCESS;
  });
}

DravikStatus SimScenario::replugDevice(const std::u16string& serial, DravikDeviceId* ids) {
  return locked(core_, [&]() -> DravikStatus {
    SimDevice* d = core_.findPresent(serial);
    if (!d) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
    const SimDeviceConfig config = d->config();
    core_.unplug(*d);
    SimDevice* fresh = nullptr;
    DravikStatus s = core_.plug(config, &fresh, true);
    if (s == DRAVIK_STATUS_SUCCESS && ids) *ids = fresh->ids();
    return s;
  });
}

std::vector<DravikDeviceRecord> SimScenario::deviceList() {
  return locked(core_, [&] {
    std::vector<DravikDeviceRecord> out;
    const std::vector<SimDevice*> streaming = core_.streamingDevices();
    for (SimDevice* d : core_.presentDevices()) {
      bool isStreaming = false;
      for (SimDevice* s : streaming) isStreaming = isStreaming || s == d;
      out.push_back(d->record(isStreaming));
    }
    return out;
  });
}

DravikStatus SimScenario::deviceIds(const std::u16string& serial, DravikDeviceId& out) {
  return locked(core_, [&]() -> DravikStatus {
    SimDevice* d = core_.findPresent(serial);
    if (!d) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
    out = d->ids();
    return DRAVIK_STATUS_SUCCESS;
  });
}

namespace {

bool isStreamingDevice(SimCore& core, SimDevice* d) {
  for (SimDevice* s : core.streamingDevices())
    if (s == d) return true;
  return false;
}

}  // namespace

DravikStatus SimScenario::deviceSnapshot(const std::u16string& serial, SimDeviceSnapshot& out) {
  return locked(core_, [&]() -> DravikStatus {
    SimDevice* d = core_.findPresent(serial);
    if (!d) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
    out = d->snapshot(isStreamingDevice(core_, d));
    return DRAVIK_STATUS_SUCCESS;
  });
}

DravikStatus SimScenario::deviceSnapshot(const DravikDeviceId& ids, SimDeviceSnapshot& out) {
  return locked(core_, [&]() -> DravikStatus {
    for (const auto& d : core_.devices) {
      if (!d->matches(ids.deviceId0, ids.deviceId1)) continue;
      out = d->snapshot(d->present() && isStreamingDevice(core_, d.get()));
      return DRAVIK_STATUS_SUCCESS;
    }
    return DRAVIK_STATUS_OBJECT_NOT_FOUND;
  });
}

DravikStatus SimScenario::setSpdifInput(const std::u16string& serial, uint32_t state, uint32_t format, uint32_t rate) {
  return locked(core_, [&]() -> DravikStatus {
    SimDevice* d = core_.findPresent(serial);
    if (!d) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
    d->setSpdifStatus(state, format, rate);
    core_.notify(DRAVIK_NOTIFY_DEVICE_STATE, &d->ids(), sizeof(DravikDeviceId));
    return DRAVIK_STATUS_SUCCESS;
  });
}

DravikStatus SimScenario::setLevel(const std::u16string& serial, bool outputs, uint8_t pinKind, uint8_t channel,
                                   int16_t level) {
  return locked(core_, [&]() -> DravikStatus {
    SimDevice* d = core_.findPresent(serial);
    if (!d) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
    return d->setLevel(outputs, pinKind, channel, level) ? DRAVIK_STATUS_SUCCESS : DRAVIK_STATUS_INVALID_PARAMETER;
  });
}

DravikStatus SimScenario::setEndpointVolume(const std::u16string& serial, uint32_t kind, uint32_t index,
                                            const DravikEndpointVolume& volume) {
  return locked(core_, [&]() -> DravikStatus {
    SimDevice* d = core_.findPresent(serial);
    if (!d) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
    if (!d->storeEndpointVolume(kind, index, volume)) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
    const uint32_t payload[4] = {d->ids().deviceId0, d->ids().deviceId1, kind, index};
    core_.notify(DRAVIK_NOTIFY_ENDPOINT_VOLUME, payload, sizeof payload);
    return DRAVIK_STATUS_SUCCESS;
  });
}

DravikStatus SimScenario::setMixerTopology(const std::u16string& serial, bool type2) {
  return locked(core_, [&]() -> DravikStatus {
    SimDevice* d = core_.findPresent(serial);
    if (!d) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
    d->setTopologyType2(type2);
    core_.notify(DRAVIK_NOTIFY_MIXER_TOPOLOGY, &d->ids(), sizeof(DravikDeviceId));
    return DRAVIK_STATUS_SUCCESS;
  });
}

void SimScenario::setActivity(uint32_t index, uint32_t value) {
  locked(core_, [&] { core_.stream.setActivity(core_, index, value); });
}

void SimScenario::setUseCounts(uint32_t useCount0, uint32_t useCount1) {
  locked(core_, [&] { core_.stream.setUseCounts(core_, useCount0, useCount1); });
}

void SimScenario::forceStreamState(uint32_t state) {
  locked(core_, [&] { core_.stream.forceState(state); });
}

void SimScenario::setDriverInfo(const DravikDriverInfo& info) {
  locked(core_, [&] { core_.driverInfo = info; });
}

void SimScenario::setErrorCounters(const DravikErrorCounters& counters) {
  locked(core_, [&] { core_.stream.errorCounters() = counters; });
}

void SimScenario::setSampleRates(const std::vector<uint32_t>& rates, uint32_t current) {
  locked(core_, [&] { core_.stream.setRates(rates, current); });
}

SimSettings SimScenario::settings() {
  return locked(core_, [&] { return core_.stream.settings(); });
}

void SimScenario::raiseNotification(uint32_t code, const void* payload, uint32_t length) {
  locked(core_, [&] { core_.notify(code, payload, length); });
}

void SimScenario::failRequest(uint32_t code, DravikStatus status, int times, SimHandleId handle) {
  locked(core_, [&] { core_.faults.add(code, status, times, handle); });
}

void SimScenario::clearFaults(uint32_t code) {
  locked(core_, [&] { core_.faults.clear(code); });
}

DravikStatus SimScenario::holdReplies(SimHandleId handle) {
  return locked(core_, [&]() -> DravikStatus {
    SimHandle* h = core_.findHandle(handle);
    if (!h) return WN_ERROR_INVALID_HANDLE;
    core_.relay.setReplyHold(*h, true);
    return DRAVIK_STATUS_SUCCESS;
  });
}

DravikStatus SimScenario::releaseReplies(SimHandleId handle) {
  return locked(core_, [&]() -> DravikStatus {
    SimHandle* h = core_.findHandle(handle);
    if (!h) return WN_ERROR_INVALID_HANDLE;
    core_.relay.releaseReplies(*h);
    return DRAVIK_STATUS_SUCCESS;
  });
}

DravikStatus SimScenario::delayReplies(SimHandleId handle, uint32_t ms) {
  return locked(core_, [&]() -> DravikStatus {
    SimHandle* h = core_.findHandle(handle);
    if (!h) return WN_ERROR_INVALID_HANDLE;
    core_.relay.setReplyDelay(*h, ms);
    return DRAVIK_STATUS_SUCCESS;
  });
}

void SimScenario::setClockMode(SimClockMode mode) {
  locked(core_, [&] { core_.asio.setClockMode(mode); });
}

DravikStatus SimScenario::stepSwitch() {
  return locked(core_, [&]() -> DravikStatus { return core_.asio.stepSwitch(); });
}

void SimScenario::setInputSource(const SimInputSource& source) {
  locked(core_, [&] { core_.asio.setInputSource(source); });
}

SimAsioStats SimScenario::asioStats() {
  return locked(core_, [&] { return core_.asio.stats(); });
}

std::vector<SimHandleInfo> SimScenario::handles() {
  return locked(core_, [&] {
    std::vector<SimHandleInfo> out;
    for (const auto& [id, h] : core_.handles) {
      SimHandleInfo i;
      i.id = id;
      i.registered = h->registered;
      i.initiatorType = h->initiatorType;
      i.bound = h->device != nullptr;
      i.boundDevicePresent = h->device && h->device->present();
      if (h->device) i.device = h->device->ids();
      i.hasMessageEvent = h->messageEvent != nullptr;
      i.hasNotificationEvent = h->notificationEvent != nullptr;
      i.queuedMessages = h->messages.size();
      i.queuedNotifications = h->notifications.size();
      i.droppedNotifications = h->droppedNotifications;
      i.parkedReplies = core_.relay.parkedFor(id);
      out.push_back(i);
    }
    return out;
  });
}

SimHandleId SimScenario::findHandle(uint32_t initiatorType) {
  return locked(core_, [&] {
    for (const auto& [id, h] : core_.handles)
      if (h->registered && h->initiatorType == initiatorType) return id;
    return SIM_NO_HANDLE;
  });
}

SimHandleId SimScenario::lastHandle() {
  return locked(core_, [&] { return core_.handles.empty() ? SIM_NO_HANDLE : core_.handles.rbegin()->first; });
}

std::vector<SimJournalEntry> SimScenario::journal(SimHandleId handle) {
  return locked(core_, [&] { return core_.journal.entries(handle); });
}

size_t SimScenario::requestCount(uint32_t code, SimHandleId handle) {
  return locked(core_, [&] { return core_.journal.count(code, handle); });
}

void SimScenario::clearJournal() {
  locked(core_, [&] { core_.journal.clear(); });
}

bool SimScenario::waitForRequest(uint32_t code, size_t count, uint32_t timeoutMs, SimHandleId handle) {
  std::unique_lock<std::mutex> lock(core_.mutex);
  return core_.journalChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                       [&] { return core_.journal.count(code, handle) >= count; });
}
