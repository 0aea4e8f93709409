// DravikServer: the one server of the kernel driver's message relay. It is
// the service's channel to the driver (a DravikDriver registered as
// initiator 0) whose device objects are device controllers. It answers the
// configuration requests of the other programs, drives the driver's
// streaming state between Down and Running as activity comes and goes, wraps
// every configuration change in lower - apply - raise, and posts 3010, 3011
// and 3030 when settings or the device list changed.
//
// Lifetime: created by the service object, which calls run() in the thread
// that is to do all driver work; the destructor closes the channel and
// deletes the controllers.
// Threading: everything runs on the thread inside run(), at time-critical
// priority, including the controllers' timer callbacks (APCs delivered
// during its alertable wait). Other threads only set the stop and arrival
// events handed to run().
//
//   CustomServer server;
//   WnEvent stop, arrival;
//   stop.create(false, false);
//   arrival.create(false, false);
//   server.run(stop.get(), arrival.get());   // returns after stop.set()
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "driverapi/DravikDriver.h"
#include "driverapi/DravikMessage.h"
#include "driverapi/DravikMessageHandlers.h"
#include "driverapi/DravikRecords.h"
#include "driverapi/DravikServiceRecords.h"
#include "driverapi/DravikStatus.h"
#include "platform/WnTypes.h"
#include "service/DravikDeviceCtrl.h"

// Payload of notification 3060.
struct DravikEndpointChange {
  uint32_t deviceId0;
  uint32_t deviceId1;
  uint32_t kind;  // 1 capture endpoint, 2 render endpoint
  uint32_t endpointIndex;
};
static_assert(sizeof(DravikEndpointChange) == 16);

enum : uint32_t {
  DRAVIK_ENDPOINT_KIND_CAPTURE = 1,
  DRAVIK_ENDPOINT_KIND_RENDER = 2,
};

class DravikServer : public DravikDriver {
public:
  DravikServer();
  ~DravikServer() override;

  // Makes a DravikDeviceCtrl (null when allocation fails).
  DravikDevice* createDevice() override;

  // --- Identity.
  virtual const char16_t* serviceName() const;
  virtual const char16_t* displayName() const;
  virtual const char16_t* description() const;
  virtual void interfaceGuid(WnGuid& out) const;
  virtual const char16_t* interfaceGuidString() const;
  virtual const char16_t* registryRoot() const;

  // Raise streaming when a device exists, otherwise close the channel after
  // this wake; then post 3010 and 3030.
  virtual void onDevicesChanged();

  // --- Requests. The reply arrives built for DRAVIK_STATUS_INVALID_COMMAND.
  virtual DravikStatus onRequest(const DravikMessage& request, DravikMessage& reply);
  virtual DravikStatus onCustomRequest(const DravikMessage& request, DravikMessage& reply);
  virtual DravikStatus setSampleRate(uint32_t rateHz);
  virtual DravikStatus setBufferSizes(const DravikBufferSizes& sizes);
  virtual DravikStatus selectStreamingDevice(const DravikStreamingDeviceSelection& selection);
  virtual DravikStatus setIoFormat(uint8_t format);
  virtual DravikStatus setPolicy(uint32_t flags);

  // --- Notifications.
  virtual void onNotification(const DravikMessage& message);
  virtual void onOtherNotification(const DravikMessage& message);
  virtual void onNotification3003();
  virtual void onNotification3004();
  virtual void onNotification3006();
  virtual void onNotification3005();
  virtual void onNotification3015(uint32_t value0, uint32_t value1);
  virtual void onNotification3016(uint32_t value0, uint32_t value1);
  // Refreshes the device list: a change is handled as by onDevicesChanged,
  // otherwise 3030 is posted.
  virtual void onNotification3020();
  virtual void onNotification3051(uint32_t deviceId0, uint32_t deviceId1);
  virtual void onNotification3060(const DravikEndpointChange& change);

  // --- Streaming state machine.
  // Any of activity0, useCount0, activity1, activity2 non-zero.
  virtual bool isStreamingWanted(const DravikStreamState& state);
  // Each controller in list order; beforeTransition stops at the first
  // non-zero result and returns it.
  virtual DravikStatus beforeTransition(uint32_t state, uint32_t targetState, uint32_t sampleRate);
  virtual void afterTransition(uint32_t state, uint32_t targetState, uint32_t sampleRate);
  virtual void transitionFailed(uint32_t state, uint32_t targetState, DravikStatus error);
  // The first non-zero checkDevice of the controllers.
  virtual DravikStatus checkDevices();

  // --- The loop.
  // Raises the calling thread to time-critical priority, connects and
  // serves until stopEvent is signalled. Returns 0 then, or
  // DRAVIK_STATUS_ALREADY_DONE at once when another server is registered,
  // or DRAVIK_STATUS_FAILED when the wait reported something unexpected.
  DravikStatus run(WnRawHandle stopEvent, WnRawHandle arrivalEvent);

  // Drives the state up to Ready, and on to Running while streaming is
  // wanted. flag is the policy flag handed to commands 2 and 3.
  DravikStatus raiseStreaming(uint32_t flag);
  // Drives the state down to Down.
  DravikStatus lowerStreaming(uint32_t flag);
  // Prepared or Running with nothing wanting the stream: back to Ready.
  DravikStatus releaseIdleStreaming();

  bool closePending() const { return closePending_; }
  // Diagnosis: an event (not owned) that the loop sets whenever its wait
  // ended for an APC (a controller's timer). Set before run().
  void setApcWakeSignal(WnRawHandle event) { apcWakeSignal_ = event; }

protected:
  // The controller at index, or null when that device is not a controller.
  DravikDeviceCtrl* controllerAt(size_t index) const;
  DravikDeviceCtrl* findController(uint32_t deviceId0, uint32_t deviceId1) const;

private:
  // The road of a buffer-size or streaming-device change: refused while a
  // sound device is in use; lower, apply, raise (the raise's error counts
  // only when the change itself succeeded); 3010 posted in every case once
  // the state was read.
  template <class Apply>
  DravikStatus changeWhileDown(Apply apply);
  // Open, register as the server, refresh the devices. The open or
  // registration status (0 when connected).
  DravikStatus connectServer();
  // State reads one raise or lower makes at most. A correct driver settles
  // within six; one that accepts every command but never leaves a state
  // would otherwise keep the time-critical server thread busy for ever.
  static constexpr int kMaxTransitionSteps = 32;

  DravikRequestHandlerForwarderT<DravikServer> requestForwarder_;
  DravikNotificationHandlerForwarderT<DravikServer> notificationForwarder_;
  WnRawHandle apcWakeSignal_ = nullptr;
  bool closePending_ = false;
};
