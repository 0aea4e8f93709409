// DravikDeviceCtrl: the generic device controller of the device control
// service. It is a DravikDevice (one channel bound to one USB device) with
// the hooks that the device server calls around streaming state
// transitions, on mixer and endpoint notifications, on a stream format
// request and before every raise of streaming. Every hook does nothing here;
// CustomDevice does the product's work.
//
// Lifetime: created by the server's createDevice, opened by the server's
// device refresh (which calls onOpened; a failure drops the controller),
// deleted when its device leaves the driver's list or with the server.
// Threading: only the server thread calls a controller.
//
//   DravikDeviceCtrl* ctrl = ...;
//   if (DravikStatus s = ctrl->beforeTransition(DRAVIK_STREAM_PREPARED, DRAVIK_STREAM_RUNNING, 48000)) return s;
#pragma once

#include <cstdint>

#include "driverapi/DravikDevice.h"
#include "driverapi/DravikRecords.h"
#include "driverapi/DravikStatus.h"

class DravikDeviceCtrl : public DravikDevice {
public:
  DravikDeviceCtrl();
  ~DravikDeviceCtrl() override;

  DravikStatus onOpened() override;
  // The name of the device's registry key: its serial number from the
  // record (at most 20 characters, always terminated).
  virtual const char16_t* registryKeyName();
  // Called before each transition the server makes; a non-zero result stops
  // a raise of streaming (lowering ignores it).
  virtual DravikStatus beforeTransition(uint32_t state, uint32_t targetState, uint32_t sampleRate);
  virtual void afterTransition(uint32_t state, uint32_t targetState, uint32_t sampleRate);
  virtual void transitionFailed(uint32_t state, uint32_t targetState, DravikStatus error);
  // Notification 3051: the hardware output gains of this device changed.
  virtual void onHardwareLevelsChanged();
  // Notification 3060 kinds 1 and 2: a WDM endpoint's volume changed.
  virtual void onCaptureEndpointChanged(uint32_t endpointIndex);
  virtual void onRenderEndpointChanged(uint32_t endpointIndex);
  // Request 1004 (0 PCM, 1 DSD).
  virtual DravikStatus setIoFormat(uint8_t format);
  // Asked before every raise of streaming; non-zero stops the raise.
  virtual DravikStatus checkDevice();

private:
  char16_t keyName_[DRAVIK_SERIAL_CHARS + 1] = {};
};
