// SimScenario: the controls and the readback a test has over a SimDriver:
// devices (plug, unplug, replug), the state the hardware and other programs
// would change (activity, use counts, SPDIF input, meters, endpoint volumes
// set by Windows, mixer topology, error counters, a forced stream state),
// faults (a request code that fails with a chosen status once, N times or
// always), the timing of replies to a handle (held until released, or
// delayed), the ASIO clock (real-time or stepped by hand) and the journal of
// requests.
//
// Devices are named by serial number (the present device with that serial).
// Controls that stand for an event of the driver raise its notification:
// plug 3005, unplug 3020 (plus the platform's device-interface arrival and
// removal), setSpdifInput 3040, setMixerTopology 3050, setEndpointVolume
// 3060 {deviceId0, deviceId1, kind, index}, activity 3003/3004, use counts
// 3015/3016.
//
// Lifetime: owned by its SimDriver (SimDriver::scenario()). Threading: every
// operation takes the driver's lock and may be called from any thread, also
// while clients run.
//
//   SimScenario& sc = driver.scenario();
//   sc.failRequest(IOCTL_DRAVIK_GET_STREAM_STATE, DRAVIK_STATUS_FAILED, 2);
//   sc.holdReplies(sc.findHandle(DRAVIK_INITIATOR_CPL_MAIN));
//   sc.setClockMode(SimClockMode::Manual);
//   ASSERT_EQ(0u, sc.stepSwitch());
#pragma once

#include <string>
#include <vector>

#include "simdriver/SimTypes.h"

class SimCore;

class SimScenario {
public:
  explicit SimScenario(SimCore& core) : core_(core) {}
  SimScenario(const SimScenario&) = delete;
  SimScenario& operator=(const SimScenario&) = delete;

  // ----- devices -----
  // A new device with a new identifier pair. At most 8 present devices
  // (DRAVIK_STATUS_NO_RESOURCES), one per serial (DRAVIK_STATUS_ALREADY_DONE).
  DravikStatus plugDevice(const SimDeviceConfig& config, DravikDeviceId* ids = nullptr);
  DravikStatus unplugDevice(const std::u16string& serial);
  // Unplug and plug again: same serial and configuration, new identifiers.
  DravikStatus replugDevice(const std::u16string& serial, DravikDeviceId* ids = nullptr);
  // The records GET_DEVICE_LIST answers now.
  std::vector<DravikDeviceRecord> deviceList();
  DravikStatus deviceIds(const std::u16string& serial, DravikDeviceId& out);
  // Everything a device stores; by identifiers also after its removal.
  DravikStatus deviceSnapshot(const std::u16string& serial, SimDeviceSnapshot& out);
  DravikStatus deviceSnapshot(const DravikDeviceId& ids, SimDeviceSnapshot& out);

  // ----- device state -----
  // SPDIF input state 0..3, format, PCM rate; raises 3040.
  DravikStatus setSpdifInput(const std::u16string& serial, uint32_t state, uint32_t format, uint32_t rate);
  // A meter: outputs selects list 0, else the input lists 1 and 2.
  DravikStatus setLevel(const std::u16string& serial, bool outputs, uint8_t pinKind, uint8_t channel, int16_t level);
  // An endpoint volume as Windows sets it (kind 1 capture, 2 render); the
  // endpoint must be declared by SET_ENDPOINTS (DRAVIK_STATUS_OBJECT_NOT_FOUND).
  DravikStatus setEndpointVolume(const std::u16string& serial, uint32_t kind, uint32_t index,
                                 const DravikEndpointVolume& volume);
  DravikStatus setMixerTopology(const std::u16string& serial, bool type2);

  // ----- driver-wide state -----
  // index 0..2 (activity0 counts the ASIO registrations on top of this).
  void setActivity(uint32_t index, uint32_t value);
  void setUseCounts(uint32_t useCount0, uint32_t useCount1);
  // Any value, also Undefined, Error or out of range.
  void forceStreamState(uint32_t state);
  void setDriverInfo(const DravikDriverInfo& info);
  void setErrorCounters(const DravikErrorCounters& counters);
  void setSampleRates(const std::vector<uint32_t>& rates, uint32_t current);
  SimSettings settings();
  // A driver notification to every registered handle (payload up to 512 bytes).
  void raiseNotification(uint32_t code, const void* payload = nullptr, uint32_t length = 0);

  // ----- faults and replies -----
  // times: 1.., or SIM_FAULT_ALWAYS; handle SIM_NO_HANDLE: every handle.
  void failRequest(uint32_t code, DravikStatus status, int times = 1, SimHandleId handle = SIM_NO_HANDLE);
  void clearFaults(uint32_t code = 0);
  // Replies for the handle wait until releaseReplies (in order).
  DravikStatus holdReplies(SimHandleId handle);
  DravikStatus releaseReplies(SimHandleId handle);
  // Replies for the handle arrive ms later (0: at once again).
  DravikStatus delayReplies(SimHandleId handle, uint32_t ms);

  // ----- ASIO -----
  void setClockMode(SimClockMode mode);
  // One switch in the manual mode (see SimAsioEngine).
  DravikStatus stepSwitch();
  void setInputSource(const SimInputSource& source);
  SimAsioStats asioStats();

  // ----- handles and journal -----
  std::vector<SimHandleInfo> handles();
  // The first live handle registered with this initiator type, or SIM_NO_HANDLE.
  SimHandleId findHandle(uint32_t initiatorType);
  // The live handle opened most recently, or SIM_NO_HANDLE.
  SimHandleId lastHandle();
  std::vector<SimJournalEntry> journal(SimHandleId handle = SIM_NO_HANDLE);
  size_t requestCount(uint32_t code, SimHandleId handle = SIM_NO_HANDLE);
  void clearJournal();
  // Waits until the journal holds at least count requests with this code
  // (from handle, unless SIM_NO_HANDLE); false after timeoutMs.
  bool waitForRequest(uint32_t code, size_t count, uint32_t timeoutMs, SimHandleId handle = SIM_NO_HANDLE);

private:
  SimCore& core_;
};
