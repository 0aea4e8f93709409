// DravikDriver: a program's connection to the kernel driver as a whole. It is
// the channel to the driver's control device (DravikApiContext), owns the two
// auto-reset events through which the driver signals messages and
// notifications, registers the program as an initiator, and keeps the list
// of connected USB devices as DravikDevice objects, each with a channel of
// its own.
//
// Lifetime: Disconnected -> connect / connectPlain / openDriver -> Connected
// -> disconnect -> Disconnected, any number of times. Devices stay in the
// list across disconnect; they are destroyed by updateDeviceList when they
// leave the driver's list and by the destructor (which disconnects first).
// Threading: requests are serialised by the channel's lock and may come from
// several threads. The device list (updateDeviceList, deviceCount, deviceAt,
// findDevice) is not locked: one thread owns it. Connecting and
// disconnecting take the channel's lock, so a disconnect waits for an
// exchange in progress on another thread; the event accessors belong to the
// owning thread.
//
//   DravikDriver driver;
//   if (DravikStatus s = driver.connectPlain(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_DEVICES)) return s;
//   bool changed = false;
//   driver.updateDeviceList(changed);
//   for (size_t i = 0; i < driver.deviceCount(); ++i) show(driver.deviceAt(i)->record());
#pragma once

#include <cstddef>
#include <cstdint>

#include "driverapi/DravikApiContext.h"
#include "driverapi/DravikDevice.h"
#include "driverapi/DravikMessage.h"
#include "driverapi/DravikMessageHandlers.h"
#include "driverapi/DravikRecords.h"
#include "driverapi/DravikServiceRecords.h"
#include "driverapi/DravikStatus.h"
#include "platform/WnHandle.h"

class DravikDriver : public DravikApiContext {
public:
  DravikDriver();
  ~DravikDriver() override;

  // Factory of the device objects of the list. The base makes a plain
  // DravikDevice; null (allocation failure) leaves the device out.
  virtual DravikDevice* createDevice();

  // --- Connection.
  // Keeps name (at most 99 characters) for the device channels, opens the
  // channel, creates the wanted events (auto-reset) that do not exist yet and
  // hands them to the driver (an unwanted one as "none"). A failure after
  // the open closes the channel; a failed event creation returns the
  // operating-system error code.
  DravikStatus openDriver(const char16_t* name, bool wantMessageEvent, bool wantNotificationEvent);
  // Initiator type 2 (the control panel's main connection) with both events.
  DravikStatus connect(const char16_t* name) { return connectAs(name, DRAVIK_INITIATOR_CPL_MAIN); }
  // Already open: success at once. Else openDriver(name, true, true) and
  // registerInitiator(type); a failed registration disconnects and is returned.
  DravikStatus connectAs(const char16_t* name, uint32_t initiatorType);
  // Type 3 or 4 without events. Already open: success at once. Else open,
  // setMessageEvents(none, none) and registerInitiator(type); failures close
  // (disconnect) and are returned.
  DravikStatus connectPlain(const char16_t* name, uint32_t initiatorType);
  // Withdraws the events from the driver (result ignored), closes the
  // channel and both events. The device list stays.
  void disconnect();

  const char16_t* driverName() const { return driverName_; }
  // The events to wait on; null while they do not exist.
  WnRawHandle messageEventHandle() const { return messageEvent_.get(); }
  WnRawHandle notificationEventHandle() const { return notificationEvent_.get(); }

  // --- Device list.
  // IOCTL_DRAVIK_GET_DEVICE_LIST; out is zeroed first.
  DravikStatus getDeviceList(DravikDeviceList& out);
  // Reconciles the device objects with the driver's list (see DRIVERAPI.md):
  // a device reported again with the same vendor id, product id and serial
  // number keeps its object; one whose identifier pair changed is opened
  // again; new devices are created and opened; the others are destroyed.
  // changed tells whether the list gained, lost or re-opened a device.
  // Returns the status of the list request (a failure empties the list).
  DravikStatus updateDeviceList(bool& changed);
  size_t deviceCount() const { return deviceCount_; }
  DravikDevice* deviceAt(size_t index) const { return index < deviceCount_ ? devices_[index] : nullptr; }
  // The first device whose record carries the pair, or null.
  DravikDevice* findDevice(uint32_t deviceId0, uint32_t deviceId1) const;

  // --- Message channel.
  // Hands the two events to the driver (zero-extended to 64 bits; null =
  // none; two nulls withdraw both).
  DravikStatus setMessageEvents(WnRawHandle messageEvent, WnRawHandle notificationEvent);
  DravikStatus registerInitiator(uint32_t initiatorType);
  // Sends exactly wireSize() bytes. A payloadLength above 512 is refused with
  // DRAVIK_STATUS_INVALID_LENGTH without sending.
  DravikStatus postMessage(const DravikMessage& message);
  // Take the oldest message of the handle's message / notification queue
  // (type and code are zeroed first); DRAVIK_STATUS_NO_MORE_ITEMS when empty.
  DravikStatus readMessage(DravikMessage& message);
  DravikStatus readNotification(DravikMessage& message);
  // readNotification until a type-3 message (success) or a failure
  // (DRAVIK_STATUS_NO_MORE_ITEMS once empty); other types are dropped.
  DravikStatus nextNotification(DravikMessage& message);
  // Empties the notification queue; NO_MORE_ITEMS counts as success, any
  // other failure is returned.
  DravikStatus drainNotifications();

  // --- Server side (the device control service).
  // Reads requests until the queue fails. Each type-1 message gets a reply
  // built with initReply(request, DRAVIK_STATUS_INVALID_COMMAND) and is
  // passed to handler; unless the handler answers DRAVIK_STATUS_PENDING its
  // result becomes the reply's status and the reply is posted. Other types
  // are dropped. Returns success when the batch ended with an empty queue,
  // else the read failure that ended it.
  DravikStatus processRequests(DravikRequestHandlerInterface& handler);
  // Reads notifications until the queue fails and passes each type-3
  // message to handler. Result as processRequests.
  DravikStatus processNotifications(DravikNotificationHandlerInterface& handler);
  // A type-3 message with the code and no payload.
  DravikStatus postNotification(uint32_t code);

  // --- Driver-wide state (outputs are zeroed first).
  DravikStatus getStreamState(DravikStreamState& out);
  DravikStatus getSampleRateInfo(DravikSampleRateInfo& out);
  DravikStatus getBufferInfo(DravikBufferInfo& out);
  DravikStatus getErrorCounters(DravikErrorCounters& out);
  DravikStatus getPolicy(uint32_t& flags);
  DravikStatus getInputChannels(DravikChannelList& out);
  DravikStatus getOutputChannels(DravikChannelList& out);
  DravikStatus getChannelInfo(uint32_t channelKey0, uint32_t channelKey1, ChannelDescriptor& out);
  // Binds this channel to one device.
  DravikStatus openDevice(uint32_t deviceId0, uint32_t deviceId1);

  // --- Driver-wide changes that only the device control service makes.
  DravikStatus streamCommand(uint32_t command, uint32_t argument);
  DravikStatus ioctlSetSampleRate(uint32_t rateHz);
  DravikStatus ioctlSetPendingSampleRate(uint32_t rateHz);
  DravikStatus ioctlSetBufferSizes(const DravikBufferSizes& sizes);
  DravikStatus ioctlSetPolicy(uint32_t flags);
  DravikStatus ioctlSelectStreamingDevice(const DravikStreamingDeviceSelection& selection);

protected:
  // Destroys every device object (each closes its channel).
  void destroyDevices();

  DravikDevice* devices_[DRAVIK_MAX_DEVICES] = {};
  size_t deviceCount_ = 0;
  WnEvent messageEvent_;
  WnEvent notificationEvent_;
  char16_t driverName_[DRAVIK_DRIVER_NAME_CHARS] = {};

private:
  void keepName(const char16_t* name);
};
