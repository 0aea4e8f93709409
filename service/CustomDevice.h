// CustomDevice: the product's device controller. At start-up it reads the
// device's WDM sound device configuration from the registry, sends the
// device set-up record, routes the software playback channels 1 to 4 to the
// virtual inputs 1 to 4, names every mono channel and WDM endpoint for the
// driver, switches streaming interfaces 0 and 2 off and starts a 3-second
// timer. Around transitions it switches those interfaces on (entering
// Running) and off (leaving Prepared or Running for Ready). It keeps the WDM
// render endpoint volumes and the hardware output gains in step, both ways,
// and owns the WDM configuration that requests 11001 and 11002 set and read.
//
// Registry: HKEY_LOCAL_MACHINE\Software\HALVENOR\tovix8\Devices\<serial>,
// REG_DWORD values "WdmRenderSoundDeviceConfiguration" and
// "WdmCaptureSoundDeviceConfiguration"; a missing or malformed value leaves
// the configuration unchanged.
//
// Lifetime: as DravikDeviceCtrl. The destructor cancels and closes the timer.
// Threading: only the server thread calls it; the timer's callback is an APC
// to the thread that ran onOpened (the server thread), so it never runs
// concurrently with the controller's other work.
//
//   CustomDevice* dev = ...;                  // made by CustomServer::createDevice
//   DravikDeviceConfig cfg{id0, id1, 0, 0};
//   dev->applyWdmConfiguration(cfg);          // analog pairs listed again
#pragma once

#include <cstdint>

#include "driverapi/DravikServiceRecords.h"
#include "platform/WnWaitableTimer.h"
#include "service/DravikDeviceCtrl.h"

class WnRegistryKey;

inline constexpr char16_t TOVIX8_RENDER_CONFIG_VALUE[] = u"WdmRenderSoundDeviceConfiguration";
inline constexpr char16_t TOVIX8_CAPTURE_CONFIG_VALUE[] = u"WdmCaptureSoundDeviceConfiguration";

// Period of the controller's timer, whose only effect is an alertable wake
// of the server thread.
constexpr int32_t TOVIX8_DEVICE_TIMER_MS = 3000;

class CustomDevice : public DravikDeviceCtrl {
public:
  CustomDevice();
  ~CustomDevice() override;

  DravikStatus onOpened() override;
  DravikStatus beforeTransition(uint32_t state, uint32_t targetState, uint32_t sampleRate) override;
  void onHardwareLevelsChanged() override;
  void onRenderEndpointChanged(uint32_t endpointIndex) override;

  // Request 11001: only render 0 and capture 0 are accepted
  // (DRAVIK_STATUS_INVALID_PARAMETER otherwise, nothing changed). Stores the
  // configuration, writes it to the registry (failures ignored) and sends
  // the endpoint record again; returns that request's status.
  DravikStatus applyWdmConfiguration(const DravikDeviceConfig& config);

  uint32_t renderConfiguration() const { return renderConfiguration_; }
  uint32_t captureConfiguration() const { return captureConfiguration_; }
  // The endpoint record last accepted by the driver.
  const DravikEndpointRecord& endpoints() const { return endpoints_; }
  bool timerRunning() const { return timer_.isValid(); }

  // The records as this controller builds them (also used by tests).
  static void buildChannelNames(bool omitAnalog, DravikChannelNameRecord& out);
  static void buildEndpoints(uint32_t renderConfiguration, uint32_t captureConfiguration, DravikEndpointRecord& out);

private:
  // Opens or creates the device's key, level by level; 0 or the error.
  uint32_t openDeviceKey(WnRegistryKey& key);
  void readConfiguration();
  void writeConfiguration();
  // True when the mixer topology reports a channel of type 2 (a failed
  // read counts as no).
  bool hasType2Channel();
  DravikStatus sendEndpoints();
  void onTimer(uint32_t timerLow, uint32_t timerHigh);

  uint32_t renderConfiguration_ = 0;
  uint32_t captureConfiguration_ = 0;
  DravikEndpointRecord endpoints_{};
  WnWaitableTimer timer_;
  WnWaitableTimerCallbackForwarderT<CustomDevice> timerForwarder_;
};
