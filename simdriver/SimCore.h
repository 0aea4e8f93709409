// SimCore: the state of the whole simulated driver behind SimDriver and
// SimScenario: the driver's lock, its handles, its devices (every plug ever
// made), and the parts that answer requests (stream machine, relay, ASIO
// engine) with the journal and the fault table. Internal to simdriver/.
//
// Lifetime: owned by SimDriver. Threading: every member is guarded by
// `mutex`; the relay's delivery thread and the ASIO clock thread take it too.
// Work that must not run under the lock (joining a thread that ended,
// raising device-interface events of the platform layer) is collected in
// `deferred` and run by the caller once it released the lock.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "simdriver/SimAsioEngine.h"
#include "simdriver/SimDevice.h"
#include "simdriver/SimFaultInjector.h"
#include "simdriver/SimHandle.h"
#include "simdriver/SimJournal.h"
#include "simdriver/SimRelay.h"
#include "simdriver/SimStreamMachine.h"

// Work for after the lock: threads to join, device-interface events to raise.
struct SimDeferred {
  std::thread clock;
  std::thread relayTimer;
  uint32_t interfaceEvents[8] = {};
  size_t interfaceEventCount = 0;

  void addInterfaceEvent(uint32_t eventType) {
    if (interfaceEventCount < 8) interfaceEvents[interfaceEventCount++] = eventType;
  }
  // Joins and raises; call without the driver's lock.
  void run();
};

class SimCore {
public:
  explicit SimCore(const SimDriverConfig& config);
  SimCore(const SimCore&) = delete;
  SimCore& operator=(const SimCore&) = delete;

  std::mutex mutex;
  SimDriverConfig config;
  DravikDriverInfo driverInfo;
  std::map<SimHandleId, std::unique_ptr<SimHandle>> handles;
  SimHandleId nextHandle = 1;
  std::vector<std::unique_ptr<SimDevice>> devices;  // in plug order
  uint32_t nextInstance = 1;
  SimStreamMachine stream;
  SimRelay relay;
  SimAsioEngine asio;
  SimJournal journal;
  SimFaultInjector faults;
  SimDeferred deferred;
  std::condition_variable journalChanged;

  // The deferred work collected so far, for running after the lock.
  SimDeferred takeDeferred();

  SimHandle* findHandle(SimHandleId id);
  std::vector<SimDevice*> presentDevices() const;
  // Mode 0: the selected device, or the first present one when the selected
  // one is gone; mode 1: every present device.
  std::vector<SimDevice*> streamingDevices() const;
  // Any device instance with this pair; removed tells a device that was
  // unplugged (the result is then null).
  SimDevice* findDevice(uint32_t id0, uint32_t id1, bool* removed) const;
  SimDevice* findPresent(const std::u16string& serial) const;

  // A notification of the driver to every registered handle.
  void notify(uint32_t code, const void* payload, uint32_t length) { relay.broadcast(code, payload, length); }
  // Recounts the live ASIO registrations (activity0).
  void asioRegistrationsChanged();

  // Plugs a device (new identifier pair): 3005 and a device-interface arrival.
  // At most 8 present devices (DRAVIK_STATUS_NO_RESOURCES), one per serial
  // (DRAVIK_STATUS_ALREADY_DONE).
  DravikStatus plug(const SimDeviceConfig& config, SimDevice** out, bool announce);
  // Unplugs: 3020 and a device-interface removal; handles bound to it answer
  // DRAVIK_STATUS_DEVICE_REMOVED from now on.
  void unplug(SimDevice& device);

  // One request, journaled. in holds inSize bytes (null when inSize is
  // above kSimMaxInput); answer has kSimMaxAnswer bytes.
  DravikStatus dispatch(SimHandleId id, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* answer,
                        uint32_t outSize, uint32_t& bytes);
  void closeHandle(SimHandleId id);

private:
  DravikStatus route(SimHandle& h, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* answer,
                     uint32_t outSize, uint32_t& bytes);
  DravikStatus openDevice(SimHandle& h, const DravikDeviceId& id);
};
