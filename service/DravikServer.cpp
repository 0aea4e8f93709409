#include "service/DravikServer.h"

#include <cstring>
#include <new>

#include "platform/WnWait.h"
#include "service/ServiceIdentity.h"

DravikServer::DravikServer()
    : requestForwarder_(this, &DravikServer::onRequest),
      notificationForwarder_(this, &DravikServer::onNotification) {}

DravikServer::~DravikServer() {
  disconnect();
  destroyDevices();
}

DravikDevice* DravikServer::createDevice() { return new (std::nothrow) DravikDeviceCtrl; }

// --- Identity.

const char16_t* DravikServer::serviceName() const { return TOVIX8_SERVICE_NAME; }
const char16_t* DravikServer::displayName() const { return TOVIX8_SERVICE_DISPLAY_NAME; }
const char16_t* DravikServer::description() const { return TOVIX8_SERVICE_DESCRIPTION; }
void DravikServer::interfaceGuid(WnGuid& out) const { out = TOVIX8_INTERFACE_GUID; }
const char16_t* DravikServer::interfaceGuidString() const { return TOVIX8_INTERFACE_GUID_STRING; }
const char16_t* DravikServer::registryRoot() const { return TOVIX8_REGISTRY_ROOT; }

// --- Controllers.

DravikDeviceCtrl* DravikServer::controllerAt(size_t index) const {
  return dynamic_cast<DravikDeviceCtrl*>(deviceAt(index));
}

DravikDeviceCtrl* DravikServer::findController(uint32_t deviceId0, uint32_t deviceId1) const {
  return dynamic_cast<DravikDeviceCtrl*>(findDevice(deviceId0, deviceId1));
}

void DravikServer::onDevicesChanged() {
  if (deviceCount() > 0) {
    // A close asked for by an earlier change that has not been carried out
    // yet would cut off the devices that are here now.
    closePending_ = false;
    raiseStreaming(0);
  } else {
    closePending_ = true;
  }
  postNotification(DRAVIK_NOTIFY_STREAM_RESTARTED);
  postNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED);
}

// --- The loop.

DravikStatus DravikServer::connectServer() {
  DravikStatus status = openDriver(interfaceGuidString(), true, true);
  if (status != DRAVIK_STATUS_SUCCESS) return status;
  status = registerInitiator(DRAVIK_INITIATOR_SERVICE);
  if (status != DRAVIK_STATUS_SUCCESS) {
    disconnect();
    return status;
  }
  bool changed = false;
  updateDeviceList(changed);
  onDevicesChanged();
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus DravikServer::run(WnRawHandle stopEvent, WnRawHandle arrivalEvent) {
  wnSetCurrentThreadPriority(WnThreadPriority::TimeCritical);

  if (isOpen()) {
    bool changed = false;
    updateDeviceList(changed);
    onDevicesChanged();
  } else if (connectServer() == DRAVIK_STATUS_ALREADY_DONE) {
    // Another server is registered: this one has nothing to do.
    return DRAVIK_STATUS_ALREADY_DONE;
  }

  DravikStatus result = DRAVIK_STATUS_SUCCESS;
  for (bool serving = true; serving;) {
    WnRawHandle handles[4] = {stopEvent, arrivalEvent, nullptr, nullptr};
    uint32_t count = 2;
    if (isOpen()) {
      handles[2] = messageEventHandle();
      handles[3] = notificationEventHandle();
      count = 4;
    }
    const uint32_t wait = wnWaitForMultiple(count, handles, WN_INFINITE, true);
    if (wait == WN_WAIT_OBJECT_0) {
      break;
    } else if (wait == WN_WAIT_OBJECT_0 + 1) {
      if (!isOpen()) {
        connectServer();
      } else {
        bool changed = false;
        updateDeviceList(changed);
        if (changed) onDevicesChanged();
      }
    } else if (wait == WN_WAIT_OBJECT_0 + 2) {
      if (isOpen()) processRequests(requestForwarder_);
    } else if (wait == WN_WAIT_OBJECT_0 + 3) {
      if (isOpen()) processNotifications(notificationForwarder_);
    } else if (wait == WN_WAIT_IO_COMPLETION) {
      if (apcWakeSignal_) wnSetEvent(apcWakeSignal_);
    } else if (wait != WN_WAIT_FAILED) {
      result = DRAVIK_STATUS_FAILED;
      serving = false;
    }
    if (closePending_) {
      closePending_ = false;
      disconnect();
    }
  }
  return result;
}

// --- Requests.

DravikStatus DravikServer::onRequest(const DravikMessage& request, DravikMessage& reply) {
  switch (request.code) {
    case DRAVIK_MSG_SET_SAMPLE_RATE: {
      uint32_t rate = 0;
      if (DravikStatus s = request.readExact(&rate, sizeof rate)) return s;
      return setSampleRate(rate);
    }
    case DRAVIK_MSG_SET_BUFFER_SIZES: {
      DravikBufferSizes sizes{};
      if (DravikStatus s = request.readExact(&sizes, sizeof sizes)) return s;
      return setBufferSizes(sizes);
    }
    case DRAVIK_MSG_SELECT_STREAMING_DEVICE: {
      DravikStreamingDeviceSelection selection{};
      if (DravikStatus s = request.readExact(&selection, sizeof selection)) return s;
      return selectStreamingDevice(selection);
    }
    case DRAVIK_MSG_SET_IO_FORMAT: {
      uint8_t format = 0;
      if (DravikStatus s = request.readExact(&format, sizeof format)) return s;
      return setIoFormat(format);
    }
    case DRAVIK_MSG_SET_POLICY: {
      uint32_t flags = 0;
      if (DravikStatus s = request.readExact(&flags, sizeof flags)) return s;
      return setPolicy(flags);
    }
    default:
      return onCustomRequest(request, reply);
  }
}

DravikStatus DravikServer::onCustomRequest(const DravikMessage&, DravikMessage&) {
  return DRAVIK_STATUS_INVALID_COMMAND;
}

DravikStatus DravikServer::setSampleRate(uint32_t rateHz) {
  DravikStreamState state;
  if (DravikStatus s = getStreamState(state)) return s;
  if (rateHz == state.sampleRate) return DRAVIK_STATUS_SUCCESS;
  if (state.useCount0 != 0 || state.useCount1 != 0) return DRAVIK_STATUS_SOUND_DEVICE_IN_USE;

  ioctlSetPendingSampleRate(rateHz);
  uint32_t policy = 0;
  const uint32_t flag = getPolicy(policy) == DRAVIK_STATUS_SUCCESS ? (policy & DRAVIK_POLICY_FORBID_RATE_CHANGE) : 0;

  if (DravikStatus s = lowerStreaming(flag)) {
    postNotification(DRAVIK_NOTIFY_STREAM_RESTARTED);
    return s;
  }
  DravikStatus result = ioctlSetSampleRate(rateHz);
  const DravikStatus raised = raiseStreaming(flag);
  if (result == DRAVIK_STATUS_SUCCESS) result = raised;
  postNotification(DRAVIK_NOTIFY_STREAM_RESTARTED);
  postNotification(DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED);
  return result;
}

template <class Apply>
DravikStatus DravikServer::changeWhileDown(Apply apply) {
  DravikStreamState state;
  if (DravikStatus s = getStreamState(state)) return s;
  if (state.useCount0 != 0 || state.useCount1 != 0) return DRAVIK_STATUS_SOUND_DEVICE_IN_USE;
  if (DravikStatus s = lowerStreaming(0)) {
    postNotification(DRAVIK_NOTIFY_STREAM_RESTARTED);
    return s;
  }
  DravikStatus result = apply();
  const DravikStatus raised = raiseStreaming(0);
  if (result == DRAVIK_STATUS_SUCCESS) result = raised;
  postNotification(DRAVIK_NOTIFY_STREAM_RESTARTED);
  return result;
}

DravikStatus DravikServer::setBufferSizes(const DravikBufferSizes& sizes) {
  return changeWhileDown([&] { return ioctlSetBufferSizes(sizes); });
}

DravikStatus DravikServer::selectStreamingDevice(const DravikStreamingDeviceSelection& selection) {
  return changeWhileDown([&] { return ioctlSelectStreamingDevice(selection); });
}

DravikStatus DravikServer::setIoFormat(uint8_t format) {
  for (size_t i = 0; i < deviceCount(); ++i) {
    if (DravikDeviceCtrl* ctrl = controllerAt(i))
      if (DravikStatus s = ctrl->setIoFormat(format)) return s;
  }
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus DravikServer::setPolicy(uint32_t flags) {
  uint32_t current = 0;
  if (DravikStatus s = getPolicy(current)) return s;
  if (current == flags) return DRAVIK_STATUS_SUCCESS;
  DravikStreamState state;
  if (DravikStatus s = getStreamState(state)) return s;
  if (state.useCount0 != 0) return DRAVIK_STATUS_SOUND_DEVICE_IN_USE;
  if (DravikStatus s = lowerStreaming(1)) return s;
  // A refused policy is reported; the stream is brought back up either way.
  DravikStatus result = ioctlSetPolicy(flags);
  const DravikStatus raised = raiseStreaming(1);
  if (result == DRAVIK_STATUS_SUCCESS) result = raised;
  return result;
}

// --- Notifications.

void DravikServer::onNotification(const DravikMessage& message) {
  switch (message.code) {
    case DRAVIK_NOTIFY_ACTIVITY_STARTED:
      if (message.payloadLength == 0) onNotification3003();
      break;
    case DRAVIK_NOTIFY_ACTIVITY_ENDED:
      if (message.payloadLength == 0) onNotification3004();
      break;
    case DRAVIK_NOTIFY_DEVICE_ARRIVED:
      if (message.payloadLength == 0) onNotification3005();
      break;
    case DRAVIK_NOTIFY_STREAM_WANTED:
      if (message.payloadLength == 0) onNotification3006();
      break;
    case DRAVIK_NOTIFY_USE_STARTED:
    case DRAVIK_NOTIFY_USE_ENDED: {
      uint32_t values[2] = {};
      if (message.readExact(values, sizeof values) != DRAVIK_STATUS_SUCCESS) break;
      if (message.code == DRAVIK_NOTIFY_USE_STARTED)
        onNotification3015(values[0], values[1]);
      else
        onNotification3016(values[0], values[1]);
      break;
    }
    case DRAVIK_NOTIFY_DEVICE_REMOVED:
      if (message.payloadLength == 0) onNotification3020();
      break;
    case DRAVIK_NOTIFY_DEVICE_CHANGED:
      break;
    case DRAVIK_NOTIFY_MIXER_GAINS: {
      DravikDeviceId id{};
      if (message.readExact(&id, sizeof id) == DRAVIK_STATUS_SUCCESS) onNotification3051(id.deviceId0, id.deviceId1);
      break;
    }
    case DRAVIK_NOTIFY_ENDPOINT_VOLUME: {
      DravikEndpointChange change{};
      if (message.readExact(&change, sizeof change) == DRAVIK_STATUS_SUCCESS) onNotification3060(change);
      break;
    }
    default:
      onOtherNotification(message);
      break;
  }
}

void DravikServer::onOtherNotification(const DravikMessage&) {}

void DravikServer::onNotification3003() { raiseStreaming(0); }

void DravikServer::onNotification3004() { releaseIdleStreaming(); }

void DravikServer::onNotification3006() { raiseStreaming(0); }

void DravikServer::onNotification3005() {
  bool changed = false;
  updateDeviceList(changed);
  onDevicesChanged();
}

void DravikServer::onNotification3015(uint32_t, uint32_t) { raiseStreaming(0); }

void DravikServer::onNotification3016(uint32_t, uint32_t) { releaseIdleStreaming(); }

void DravikServer::onNotification3020() {
  // A device went away. The driver may announce that with this notification
  // alone: drop its controller now, or it would refuse every later
  // transition on a device that is gone.
  bool changed = false;
  updateDeviceList(changed);
  if (changed)
    onDevicesChanged();  // posts 3010 and 3030
  else
    postNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED);
}

void DravikServer::onNotification3051(uint32_t deviceId0, uint32_t deviceId1) {
  if (DravikDeviceCtrl* ctrl = findController(deviceId0, deviceId1)) ctrl->onHardwareLevelsChanged();
}

void DravikServer::onNotification3060(const DravikEndpointChange& change) {
  DravikDeviceCtrl* ctrl = findController(change.deviceId0, change.deviceId1);
  if (!ctrl) return;
  if (change.kind == DRAVIK_ENDPOINT_KIND_CAPTURE)
    ctrl->onCaptureEndpointChanged(change.endpointIndex);
  else if (change.kind == DRAVIK_ENDPOINT_KIND_RENDER)
    ctrl->onRenderEndpointChanged(change.endpointIndex);
}

// --- Streaming state machine.

bool DravikServer::isStreamingWanted(const DravikStreamState& state) {
  return state.activity0 != 0 || state.useCount0 != 0 || state.activity1 != 0 || state.activity2 != 0;
}

DravikStatus DravikServer::beforeTransition(uint32_t state, uint32_t targetState, uint32_t sampleRate) {
  for (size_t i = 0; i < deviceCount(); ++i) {
    if (DravikDeviceCtrl* ctrl = controllerAt(i))
      if (DravikStatus s = ctrl->beforeTransition(state, targetState, sampleRate)) return s;
  }
  return DRAVIK_STATUS_SUCCESS;
}

void DravikServer::afterTransition(uint32_t state, uint32_t targetState, uint32_t sampleRate) {
  for (size_t i = 0; i < deviceCount(); ++i)
    if (DravikDeviceCtrl* ctrl = controllerAt(i)) ctrl->afterTransition(state, targetState, sampleRate);
}

void DravikServer::transitionFailed(uint32_t state, uint32_t targetState, DravikStatus error) {
  for (size_t i = 0; i < deviceCount(); ++i)
    if (DravikDeviceCtrl* ctrl = controllerAt(i)) ctrl->transitionFailed(state, targetState, error);
}

DravikStatus DravikServer::checkDevices() {
  for (size_t i = 0; i < deviceCount(); ++i) {
    if (DravikDeviceCtrl* ctrl = controllerAt(i))
      if (DravikStatus s = ctrl->checkDevice()) return s;
  }
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus DravikServer::raiseStreaming(uint32_t flag) {
  if (DravikStatus s = checkDevices()) return s;
  for (int step = 0; step < kMaxTransitionSteps; ++step) {
    DravikStreamState st;
    if (DravikStatus s = getStreamState(st)) return s;
    const uint32_t rate = st.sampleRate;
    switch (st.streamState) {
      case DRAVIK_STREAM_DOWN:
        if (DravikStatus s = beforeTransition(DRAVIK_STREAM_DOWN, DRAVIK_STREAM_READY, rate)) return s;
        if (DravikStatus s = streamCommand(DRAVIK_CMD_DOWN_TO_READY, flag)) return s;
        afterTransition(DRAVIK_STREAM_DOWN, DRAVIK_STREAM_READY, rate);
        break;
      case DRAVIK_STREAM_READY:
        if (!isStreamingWanted(st)) return DRAVIK_STATUS_SUCCESS;
        if (DravikStatus s = beforeTransition(DRAVIK_STREAM_READY, DRAVIK_STREAM_PREPARED, rate)) return s;
        if (DravikStatus s = streamCommand(DRAVIK_CMD_READY_TO_PREPARED, 0)) {
          transitionFailed(DRAVIK_STREAM_READY, DRAVIK_STREAM_PREPARED, s);
          return s;
        }
        afterTransition(DRAVIK_STREAM_READY, DRAVIK_STREAM_PREPARED, rate);
        break;
      case DRAVIK_STREAM_PREPARED:
        if (DravikStatus s = beforeTransition(DRAVIK_STREAM_PREPARED, DRAVIK_STREAM_RUNNING, rate)) return s;
        if (DravikStatus s = streamCommand(DRAVIK_CMD_PREPARED_TO_RUNNING, 0)) {
          transitionFailed(DRAVIK_STREAM_PREPARED, DRAVIK_STREAM_RUNNING, s);
          return s;
        }
        afterTransition(DRAVIK_STREAM_PREPARED, DRAVIK_STREAM_RUNNING, rate);
        break;
      case DRAVIK_STREAM_RUNNING:
        return DRAVIK_STATUS_SUCCESS;
      case DRAVIK_STREAM_ERROR:
      case DRAVIK_STREAM_NOT_SUPPORTED:
        if (DravikStatus s = streamCommand(DRAVIK_CMD_RESET, 0)) return s;
        break;
      default:
        return DRAVIK_STATUS_INVALID_STATE;
    }
  }
  // The driver accepted every command but its state did not settle.
  return DRAVIK_STATUS_INVALID_STATE;
}

DravikStatus DravikServer::lowerStreaming(uint32_t flag) {
  for (int step = 0; step < kMaxTransitionSteps; ++step) {
    DravikStreamState st;
    if (DravikStatus s = getStreamState(st)) return s;
    const uint32_t rate = st.sampleRate;
    const uint32_t state = st.streamState;
    switch (state) {
      case DRAVIK_STREAM_DOWN:
        return DRAVIK_STATUS_SUCCESS;
      case DRAVIK_STREAM_READY:
        beforeTransition(DRAVIK_STREAM_READY, DRAVIK_STREAM_DOWN, rate);
        if (DravikStatus s = streamCommand(DRAVIK_CMD_READY_TO_DOWN, flag)) return s;
        afterTransition(DRAVIK_STREAM_READY, DRAVIK_STREAM_DOWN, rate);
        break;
      case DRAVIK_STREAM_PREPARED:
      case DRAVIK_STREAM_RUNNING:
        beforeTransition(state, DRAVIK_STREAM_READY, rate);
        if (DravikStatus s = streamCommand(DRAVIK_CMD_TO_READY, 0)) {
          transitionFailed(state, DRAVIK_STREAM_READY, s);
          return s;
        }
        afterTransition(state, DRAVIK_STREAM_READY, rate);
        break;
      case DRAVIK_STREAM_ERROR:
      case DRAVIK_STREAM_NOT_SUPPORTED:
        if (DravikStatus s = streamCommand(DRAVIK_CMD_RESET, 0)) return s;
        break;
      default:
        return DRAVIK_STATUS_INVALID_STATE;
    }
  }
  return DRAVIK_STATUS_INVALID_STATE;
}

DravikStatus DravikServer::releaseIdleStreaming() {
  DravikStreamState st;
  if (DravikStatus s = getStreamState(st)) return s;
  const uint32_t state = st.streamState;
  if ((state != DRAVIK_STREAM_PREPARED && state != DRAVIK_STREAM_RUNNING) || isStreamingWanted(st))
    return DRAVIK_STATUS_SUCCESS;
  beforeTransition(state, DRAVIK_STREAM_READY, st.sampleRate);
  if (DravikStatus s = streamCommand(DRAVIK_CMD_TO_READY, 0)) {
    transitionFailed(state, DRAVIK_STREAM_READY, s);
    return s;
  }
  afterTransition(state, DRAVIK_STREAM_READY, st.sampleRate);
  return DRAVIK_STATUS_SUCCESS;
}
