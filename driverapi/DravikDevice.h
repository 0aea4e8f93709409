// DravikDevice: one connected USB device. It is a channel of its own to the
// driver (DravikApiContext) bound to that device with IOCTL_DRAVIK_OPEN_DEVICE,
// plus a copy of the device's record from the driver's device list.
//
// Lifetime: created by DravikDriver::createDevice and owned by the driver
// object's device list, which opens it (open(driverName, record)) and
// destroys it when the device leaves the list. The destructor closes the
// channel. Derived classes (the service's device controllers) do their
// start-up work in onOpened.
// Threading: requests are serialised by the channel's lock; the record is
// written only by the thread that updates the owning device list and is read
// by that same thread.
//
//   DravikDevice* device = driver.deviceAt(0);
//   DravikSpdifStatus spdif;
//   if (device->getSpdifStatus(0, spdif) == DRAVIK_STATUS_OBJECT_NOT_FOUND) ...;
#pragma once

#include <cstdint>

#include "driverapi/DravikApiContext.h"
#include "driverapi/DravikMixerRecords.h"
#include "driverapi/DravikRecords.h"
#include "driverapi/DravikServiceRecords.h"
#include "driverapi/DravikStatus.h"

// Wide characters kept of a driver name, terminator included.
constexpr size_t DRAVIK_DRIVER_NAME_CHARS = 100;

class DravikDevice : public DravikApiContext {
public:
  DravikDevice();
  ~DravikDevice() override;

  // Called once the channel is bound to the device; a non-zero result makes
  // open() fail and close the channel. The base returns success.
  virtual DravikStatus onOpened();

  // Copies driverName (at most 99 characters) and the record, opens the
  // channel with driverName, sends IOCTL_DRAVIK_OPEN_DEVICE with the
  // record's (deviceId0, deviceId1) and calls onOpened. When the request or
  // onOpened fails the channel is closed and the status returned. An
  // already open channel gives DRAVIK_STATUS_REJECTED (close first).
  DravikStatus open(const char16_t* driverName, const DravikDeviceRecord& record);

  const DravikDeviceRecord& record() const { return record_; }
  // Overwrites the record (the device list does so when the device is
  // reported again); the channel is not touched.
  void setRecord(const DravikDeviceRecord& record) { record_ = record; }
  const char16_t* driverName() const { return driverName_; }
  bool hasId(uint32_t deviceId0, uint32_t deviceId1) const {
    return record_.deviceId0 == deviceId0 && record_.deviceId1 == deviceId1;
  }

  // --- SPDIF and volume bypass. Get operations zero their output first.
  // Fails with DRAVIK_STATUS_OBJECT_NOT_FOUND when the device has no SPDIF input.
  DravikStatus getSpdifStatus(uint32_t spdifInput, DravikSpdifStatus& out);
  DravikStatus setSpdifPassThrough(uint32_t selector0, uint32_t selector1, bool enabled);
  // enabled is set (non-zero field = on) only on success; untouched on failure.
  DravikStatus getSpdifPassThrough(uint32_t selector0, uint32_t selector1, bool& enabled);
  DravikStatus setBypassVolume(bool on);
  // on is false before the request and the returned byte != 0 after it.
  DravikStatus getBypassVolume(bool& on);
  DravikStatus setBypassMute(bool on);
  DravikStatus getBypassMute(bool& on);

  // --- Mixer. The array requests send n entries and receive them back in
  // the same buffer.
  // Pin descriptors of one list (DRAVIK_PINS_*); count = bytes returned / 4,
  // never above capacity; 0 on failure.
  DravikStatus getMixerPins(uint32_t selector, DravikPinDescriptor* out, uint32_t capacity, uint32_t& count);
  DravikStatus getInputLevels(DravikLevelEntry* entries, uint32_t n);
  DravikStatus getOutputLevels(DravikLevelEntry* entries, uint32_t n);
  DravikStatus getGains(DravikGainEntry* entries, uint32_t n);
  DravikStatus getCrosspoints(DravikCrosspointEntry* entries, uint32_t n);
  DravikStatus setGains(DravikGainEntry* entries, uint32_t n);
  DravikStatus setCrosspoints(DravikCrosspointEntry* entries, uint32_t n);
  // Sends {direction, endpointIndex, zeros} and receives the 136-byte state.
  DravikStatus getEndpointVolume(uint32_t direction, uint32_t endpointIndex, DravikEndpointVolume& out);
  DravikStatus setEndpointVolume(const DravikEndpointVolume& record);
  // size is the number of bytes sent (and received), at most 520.
  DravikStatus setEffectParameters(const DravikEffectParameters& block, uint32_t size = sizeof(DravikEffectParameters));
  DravikStatus getEffectParameters(DravikEffectParameters& block, uint32_t size = sizeof(DravikEffectParameters));
  // out is zeroed first.
  DravikStatus getMixerTopology(DravikMixerTopology& out);

  // --- Requests of the device control service only.
  DravikStatus setStreamingInterface(uint32_t index, uint32_t on);
  DravikStatus setStreamingInterfaceParam(uint32_t index, uint32_t value);
  DravikStatus setDeviceSetup(const DravikDeviceSetup& setup);
  DravikStatus setChannelNames(const DravikChannelNameRecord& names);
  DravikStatus setEndpoints(const DravikEndpointRecord& endpoints);

protected:
  DravikDeviceRecord record_{};
  char16_t driverName_[DRAVIK_DRIVER_NAME_CHARS] = {};
};
