#include "driverapi/DravikDriver.h"

#include <cstring>
#include <new>

#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikNames.h"

namespace {

uint64_t handleField(WnRawHandle handle) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle)); }

bool sameSerial(const char16_t* a, const char16_t* b) {
  for (size_t i = 0; i < DRAVIK_SERIAL_CHARS; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == 0) return true;
  }
  return true;
}

bool sameIdentity(const DravikDeviceRecord& a, const DravikDeviceRecord& b) {
  return a.vendorId == b.vendorId && a.productId == b.productId && sameSerial(a.serialNumber, b.serialNumber);
}

}  // namespace

DravikDriver::DravikDriver() = default;

DravikDriver::~DravikDriver() {
  disconnect();
  destroyDevices();
}

DravikDevice* DravikDriver::createDevice() { return new (std::nothrow) DravikDevice; }

void DravikDriver::keepName(const char16_t* name) { dravikCopyName(driverName_, DRAVIK_DRIVER_NAME_CHARS, name); }

// --- Connection.

DravikStatus DravikDriver::openDriver(const char16_t* name, bool wantMessageEvent, bool wantNotificationEvent) {
  WnLockGuard guard(lock_);
  keepName(name);
  if (DravikStatus s = open(name)) return s;
  if (wantMessageEvent && !messageEvent_.isValid()) {
    if (uint32_t err = messageEvent_.create(false, false)) {
      close();
      return err;
    }
  }
  if (wantNotificationEvent && !notificationEvent_.isValid()) {
    if (uint32_t err = notificationEvent_.create(false, false)) {
      close();
      return err;
    }
  }
  const DravikStatus status = setMessageEvents(wantMessageEvent ? messageEvent_.get() : nullptr,
                                               wantNotificationEvent ? notificationEvent_.get() : nullptr);
  if (status != DRAVIK_STATUS_SUCCESS) close();
  return status;
}

DravikStatus DravikDriver::connectAs(const char16_t* name, uint32_t initiatorType) {
  WnLockGuard guard(lock_);
  if (isOpen()) return DRAVIK_STATUS_SUCCESS;
  if (DravikStatus s = openDriver(name, true, true)) return s;
  const DravikStatus status = registerInitiator(initiatorType);
  if (status != DRAVIK_STATUS_SUCCESS) disconnect();
  return status;
}

DravikStatus DravikDriver::connectPlain(const char16_t* name, uint32_t initiatorType) {
  WnLockGuard guard(lock_);
  if (isOpen()) return DRAVIK_STATUS_SUCCESS;
  keepName(name);
  if (DravikStatus s = open(name)) return s;
  DravikStatus status = setMessageEvents(nullptr, nullptr);
  if (status != DRAVIK_STATUS_SUCCESS) {
    close();
    return status;
  }
  status = registerInitiator(initiatorType);
  if (status != DRAVIK_STATUS_SUCCESS) disconnect();
  return status;
}

void DravikDriver::disconnect() {
  // Under the channel's lock: an exchange in progress on another thread keeps
  // its message event until it ends.
  WnLockGuard guard(lock_);
  if (isOpen()) setMessageEvents(nullptr, nullptr);
  close();
  messageEvent_.close();
  notificationEvent_.close();
}

// --- Device list.

DravikStatus DravikDriver::getDeviceList(DravikDeviceList& out) {
  std::memset(&out, 0, sizeof out);
  return ioControl(IOCTL_DRAVIK_GET_DEVICE_LIST, nullptr, 0, &out, sizeof out);
}

DravikStatus DravikDriver::updateDeviceList(bool& changed) {
  changed = false;

  DravikDevice* previous[DRAVIK_MAX_DEVICES] = {};
  const size_t previousCount = deviceCount_;
  for (size_t i = 0; i < previousCount; ++i) {
    previous[i] = devices_[i];
    devices_[i] = nullptr;
  }
  deviceCount_ = 0;

  DravikDeviceList list;
  const DravikStatus status = getDeviceList(list);
  if (status == DRAVIK_STATUS_SUCCESS) {
    const uint32_t count = list.count < DRAVIK_MAX_DEVICES ? list.count : DRAVIK_MAX_DEVICES;
    for (uint32_t r = 0; r < count; ++r) {
      const DravikDeviceRecord& record = list.devices[r];

      DravikDevice* device = nullptr;
      for (size_t i = 0; i < previousCount; ++i) {
        if (previous[i] && sameIdentity(previous[i]->record(), record)) {
          device = previous[i];
          previous[i] = nullptr;
          break;
        }
      }

      if (device) {
        if (device->hasId(record.deviceId0, record.deviceId1)) {
          // Same device, same binding: refresh the record, keep the channel.
          device->setRecord(record);
        } else {
          // Unplugged and plugged in again: the old binding names a device
          // the driver no longer has, so bind the object anew.
          device->close();
          changed = true;
          if (device->open(driverName_, record) != DRAVIK_STATUS_SUCCESS) {
            delete device;
            continue;
          }
        }
      } else {
        device = createDevice();
        if (!device) continue;
        if (device->open(driverName_, record) != DRAVIK_STATUS_SUCCESS) {
          delete device;
          continue;
        }
        changed = true;
      }
      devices_[deviceCount_++] = device;
    }
  }

  for (size_t i = 0; i < previousCount; ++i) {
    if (previous[i]) {
      delete previous[i];
      changed = true;
    }
  }
  return status;
}

DravikDevice* DravikDriver::findDevice(uint32_t deviceId0, uint32_t deviceId1) const {
  for (size_t i = 0; i < deviceCount_; ++i)
    if (devices_[i]->hasId(deviceId0, deviceId1)) return devices_[i];
  return nullptr;
}

void DravikDriver::destroyDevices() {
  for (size_t i = 0; i < deviceCount_; ++i) {
    delete devices_[i];
    devices_[i] = nullptr;
  }
  deviceCount_ = 0;
}

// --- Message channel.

DravikStatus DravikDriver::setMessageEvents(WnRawHandle messageEvent, WnRawHandle notificationEvent) {
  DravikMessageEvents events{handleField(messageEvent), handleField(notificationEvent)};
  return ioControl(IOCTL_DRAVIK_SET_MESSAGE_EVENTS, &events, sizeof events, nullptr, 0);
}

DravikStatus DravikDriver::registerInitiator(uint32_t initiatorType) {
  return ioControl(IOCTL_DRAVIK_REGISTER_INITIATOR, &initiatorType, sizeof initiatorType, nullptr, 0);
}

DravikStatus DravikDriver::postMessage(const DravikMessage& message) {
  if (message.payloadLength > DRAVIK_MSG_MAX_PAYLOAD) return DRAVIK_STATUS_INVALID_LENGTH;
  return ioControl(IOCTL_DRAVIK_POST_MESSAGE, &message, message.wireSize(), nullptr, 0);
}

DravikStatus DravikDriver::readMessage(DravikMessage& message) {
  message.type = DRAVIK_MSG_TYPE_NONE;
  message.code = 0;
  return ioControl(IOCTL_DRAVIK_READ_MESSAGE, nullptr, 0, &message, sizeof message);
}

DravikStatus DravikDriver::readNotification(DravikMessage& message) {
  message.type = DRAVIK_MSG_TYPE_NONE;
  message.code = 0;
  return ioControl(IOCTL_DRAVIK_READ_NOTIFICATION, nullptr, 0, &message, sizeof message);
}

DravikStatus DravikDriver::nextNotification(DravikMessage& message) {
  for (;;) {
    if (DravikStatus s = readNotification(message)) return s;
    if (message.type == DRAVIK_MSG_TYPE_NOTIFICATION) return DRAVIK_STATUS_SUCCESS;
  }
}

DravikStatus DravikDriver::drainNotifications() {
  DravikMessage message;
  for (;;) {
    const DravikStatus status = readNotification(message);
    if (status == DRAVIK_STATUS_NO_MORE_ITEMS) return DRAVIK_STATUS_SUCCESS;
    if (status != DRAVIK_STATUS_SUCCESS) return status;
  }
}

// --- Server side.

DravikStatus DravikDriver::processRequests(DravikRequestHandlerInterface& handler) {
  DravikMessage request;
  DravikMessage reply;
  for (;;) {
    const DravikStatus status = readMessage(request);
    if (status == DRAVIK_STATUS_NO_MORE_ITEMS) return DRAVIK_STATUS_SUCCESS;
    if (status != DRAVIK_STATUS_SUCCESS) return status;
    if (request.type != DRAVIK_MSG_TYPE_REQUEST) continue;
    reply.initReply(request, DRAVIK_STATUS_INVALID_COMMAND);
    const DravikStatus result = handler.onRequest(request, reply);
    if (result == DRAVIK_STATUS_PENDING) continue;
    reply.status = result;
    postMessage(reply);
  }
}

DravikStatus DravikDriver::processNotifications(DravikNotificationHandlerInterface& handler) {
  DravikMessage message;
  for (;;) {
    const DravikStatus status = readNotification(message);
    if (status == DRAVIK_STATUS_NO_MORE_ITEMS) return DRAVIK_STATUS_SUCCESS;
    if (status != DRAVIK_STATUS_SUCCESS) return status;
    if (message.type == DRAVIK_MSG_TYPE_NOTIFICATION) handler.onNotification(message);
  }
}

DravikStatus DravikDriver::postNotification(uint32_t code) {
  DravikMessage message;
  message.init(DRAVIK_MSG_TYPE_NOTIFICATION, code);
  return postMessage(message);
}

// --- Driver-wide state.

namespace {

template <class Record>
DravikStatus readRecord(DravikApiContext& channel, uint32_t code, Record& out) {
  std::memset(&out, 0, sizeof out);
  return channel.ioControl(code, nullptr, 0, &out, sizeof out);
}

template <class Record>
DravikStatus sendRecord(DravikApiContext& channel, uint32_t code, const Record& in) {
  return channel.ioControl(code, &in, sizeof in, nullptr, 0);
}

}  // namespace

DravikStatus DravikDriver::getStreamState(DravikStreamState& out) {
  return readRecord(*this, IOCTL_DRAVIK_GET_STREAM_STATE, out);
}

DravikStatus DravikDriver::getSampleRateInfo(DravikSampleRateInfo& out) {
  return readRecord(*this, IOCTL_DRAVIK_GET_SAMPLE_RATE_INFO, out);
}

DravikStatus DravikDriver::getBufferInfo(DravikBufferInfo& out) {
  return readRecord(*this, IOCTL_DRAVIK_GET_BUFFER_INFO, out);
}

DravikStatus DravikDriver::getErrorCounters(DravikErrorCounters& out) {
  return readRecord(*this, IOCTL_DRAVIK_GET_ERROR_COUNTERS, out);
}

DravikStatus DravikDriver::getPolicy(uint32_t& flags) { return readRecord(*this, IOCTL_DRAVIK_GET_POLICY, flags); }

DravikStatus DravikDriver::getInputChannels(DravikChannelList& out) {
  return readRecord(*this, IOCTL_DRAVIK_GET_INPUT_CHANNELS, out);
}

DravikStatus DravikDriver::getOutputChannels(DravikChannelList& out) {
  return readRecord(*this, IOCTL_DRAVIK_GET_OUTPUT_CHANNELS, out);
}

DravikStatus DravikDriver::getChannelInfo(uint32_t channelKey0, uint32_t channelKey1, ChannelDescriptor& out) {
  std::memset(&out, 0, sizeof out);
  DravikChannelKey key{channelKey0, channelKey1};
  return ioControl(IOCTL_DRAVIK_GET_CHANNEL_INFO, &key, sizeof key, &out, sizeof out);
}

DravikStatus DravikDriver::openDevice(uint32_t deviceId0, uint32_t deviceId1) {
  return sendRecord(*this, IOCTL_DRAVIK_OPEN_DEVICE, DravikDeviceId{deviceId0, deviceId1});
}

// --- Service-only changes.

DravikStatus DravikDriver::streamCommand(uint32_t command, uint32_t argument) {
  return sendRecord(*this, IOCTL_DRAVIK_STREAM_COMMAND, DravikStreamCommand{command, argument});
}

DravikStatus DravikDriver::ioctlSetSampleRate(uint32_t rateHz) {
  return sendRecord(*this, IOCTL_DRAVIK_SET_SAMPLE_RATE, rateHz);
}

DravikStatus DravikDriver::ioctlSetPendingSampleRate(uint32_t rateHz) {
  return sendRecord(*this, IOCTL_DRAVIK_SET_PENDING_SAMPLE_RATE, rateHz);
}

DravikStatus DravikDriver::ioctlSetBufferSizes(const DravikBufferSizes& sizes) {
  return sendRecord(*this, IOCTL_DRAVIK_SET_BUFFER_SIZES, sizes);
}

DravikStatus DravikDriver::ioctlSetPolicy(uint32_t flags) { return sendRecord(*this, IOCTL_DRAVIK_SET_POLICY, flags); }

DravikStatus DravikDriver::ioctlSelectStreamingDevice(const DravikStreamingDeviceSelection& selection) {
  return sendRecord(*this, IOCTL_DRAVIK_SELECT_STREAMING_DEVICE, selection);
}
