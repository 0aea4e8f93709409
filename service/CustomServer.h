// CustomServer: the product's device server. Its controllers are
// CustomDevice objects, and it answers the WDM sound device configuration
// requests: 11002 reads a device's render and capture configuration (every
// answer, a failure too, is a reply 12001), 11001 sets them through a
// lower - apply - raise of streaming.
//
// Lifetime and threading: as DravikServer.
//
//   CustomServer server;
//   server.run(stop.get(), arrival.get());
#pragma once

#include "service/CustomDevice.h"
#include "service/DravikServer.h"

class CustomServer : public DravikServer {
public:
  CustomServer();
  ~CustomServer() override;

  // Makes a CustomDevice (null when allocation fails).
  DravikDevice* createDevice() override;
  DravikStatus onCustomRequest(const DravikMessage& request, DravikMessage& reply) override;

  // Request 11001: an unknown device gives DRAVIK_STATUS_OBJECT_NOT_FOUND,
  // a configuration other than 0 DRAVIK_STATUS_INVALID_PARAMETER (before
  // anything is touched), a sound device in use (useCount0)
  // DRAVIK_STATUS_SOUND_DEVICE_IN_USE. Otherwise lowers streaming, applies,
  // raises; a failed raise is reported, else a failed apply.
  DravikStatus setDeviceConfig(const DravikDeviceConfig& config);
  // Request 11002: fills out (ids copied) or DRAVIK_STATUS_OBJECT_NOT_FOUND.
  DravikStatus getDeviceConfig(const DravikDeviceConfig& query, DravikDeviceConfig& out);

protected:
  CustomDevice* findCustomDevice(uint32_t deviceId0, uint32_t deviceId1) const;
};
