// SimDevice: one USB device of the simulated driver, from its plug to the
// driver's end: its identity (a new identifier pair on every plug), its
// mixer and echo effect, SPDIF input and pass-through, volume bypass and
// mute, the records the service hands it (device set-up, channel names,
// endpoints), its streaming interfaces and its endpoint volumes. It answers
// the device requests sent on a handle bound to it.
//
// Device requests and what they check (beyond the sizes of the request table):
// - GET_SPDIF_STATUS: only spdifInput 0 exists; a device without SPDIF input
//   answers DRAVIK_STATUS_OBJECT_NOT_FOUND.
// - SET/GET_SPDIF_PASSTHROUGH: both selectors 0; set: enabled byte 0 or 1
//   followed by three zero bytes. Else DRAVIK_STATUS_INVALID_PARAMETER.
// - SET_BYPASS_VOLUME / SET_BYPASS_MUTE: one byte, 0 or 1.
// - A pass-through or bypass value that changes raises 3040 (device id).
// - SET_GAINS raises 3051, SET_CROSSPOINTS 3052 (device id).
// - SET_CHANNEL_NAMES / SET_ENDPOINTS: counts at most 32 each.
// - GET/SET_ENDPOINT_VOLUME: direction 1 (capture) or 2 (render) and an
//   index below that direction's endpoint count of the last SET_ENDPOINTS,
//   else DRAVIK_STATUS_OBJECT_NOT_FOUND. SET stores and raises nothing (the
//   scenario's setEndpointVolume plays the part of Windows and raises 3060).
// - SET_STREAMING_INTERFACE: index 0..3, on 0 or 1; switching on needs the
//   stream Prepared or Running (DRAVIK_STATUS_INVALID_STATE).
//   SET_STREAMING_INTERFACE_PARAM: index 0..3, only while that interface is
//   off (DRAVIK_STATUS_INVALID_STATE).
//
// Lifetime: owned by the driver until it ends, also after the device was
// unplugged (handles bound to it then answer DRAVIK_STATUS_DEVICE_REMOVED).
// Threading: guarded by the driver's lock.
#pragma once

#include <vector>

#include "simdriver/SimEchoEffect.h"
#include "simdriver/SimMixer.h"
#include "simdriver/SimRequest.h"
#include "simdriver/SimTypes.h"

class SimCore;

class SimDevice {
public:
  SimDevice(const SimDeviceConfig& config, const DravikDeviceId& ids);
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  const SimDeviceConfig& config() const { return config_; }
  const DravikDeviceId& ids() const { return ids_; }
  bool matches(uint32_t id0, uint32_t id1) const { return ids_.deviceId0 == id0 && ids_.deviceId1 == id1; }
  bool present() const { return present_; }
  void setPresent(bool present) { present_ = present; }

  // The device list record; streaming sets streamingFlags bit 0.
  DravikDeviceRecord record(bool streaming) const;

  // One device request (a code of scope Device in the request table).
  DravikStatus handle(SimCore& core, SimRequest& r);

  // Scenario controls.
  void setSpdifStatus(uint32_t state, uint32_t format, uint32_t rate);
  bool setLevel(bool outputs, uint8_t pinKind, uint8_t channel, int16_t level) {
    return mixer_.setLevel(outputs, pinKind, channel, level);
  }
  void setTopologyType2(bool type2) { mixer_.setTopologyType2(type2); }
  // Stores an endpoint's volume as Windows would set it; false when the
  // endpoint is not declared. kind: 1 capture, 2 render.
  bool storeEndpointVolume(uint32_t kind, uint32_t index, const DravikEndpointVolume& volume);

  SimDeviceSnapshot snapshot(bool streaming) const;

private:
  DravikStatus endpointSlot(uint32_t direction, uint32_t index, DravikEndpointVolume*& out);
  void notify(SimCore& core, uint32_t code) const;

  SimDeviceConfig config_;
  DravikDeviceId ids_;
  bool present_ = true;
  SimMixer mixer_;
  SimEchoEffect echo_;
  DravikSpdifStatus spdif_{};
  bool passThrough_ = false;
  bool bypassVolume_ = false;
  bool bypassMute_ = false;
  bool deviceSetupSet_ = false;
  DravikDeviceSetup deviceSetup_{};
  bool channelNamesSet_ = false;
  DravikChannelNameRecord channelNames_{};
  bool endpointsSet_ = false;
  DravikEndpointRecord endpoints_{};
  SimStreamingInterfaceState interfaces_[SIM_STREAMING_INTERFACES];
  std::vector<DravikEndpointVolume> captureVolumes_;  // 32 slots
  std::vector<DravikEndpointVolume> renderVolumes_;   // 32 slots
};
