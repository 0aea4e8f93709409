// SimStreamMachine: the driver-wide streaming state and settings of the
// simulated driver: the state machine driven by IOCTL_DRAVIK_STREAM_COMMAND,
// sample rates, buffer sizes, policy, streaming device selection, error
// counters, and the activity and use counts that tell the service whether a
// stream is wanted.
//
// Commands (argument: 0 or 1 for commands 2 and 3, 0 for the others, else
// DRAVIK_STATUS_INVALID_PARAMETER; a command outside 1..6
// DRAVIK_STATUS_INVALID_COMMAND; a command the state does not allow
// DRAVIK_STATUS_INVALID_STATE):
//   1 Error or not-supported -> Down
//   2 Down -> Ready; no device present: DRAVIK_STATUS_NO_DEVICES; a streaming
//     device on a USB 1.1 port: the state becomes 6 and the command answers
//     DRAVIK_STATUS_NOT_IN_HIGH_SPEED_MODE
//   3 Ready -> Down, 4 Ready -> Prepared, 5 Prepared -> Running,
//   6 Prepared or Running -> Ready
//
// Settings: SET_SAMPLE_RATE, SET_BUFFER_SIZES, SELECT_STREAMING_DEVICE and
// SET_POLICY are checked (a rate of the rate list, buffer sizes 0..5 and
// 0..3, a present device or "all devices" with zero identifiers); a value
// equal to the current one succeeds without effect; a change needs the
// state Down (else DRAVIK_STATUS_INVALID_STATE) and raises 3001 once it took
// effect. SET_PENDING_SAMPLE_RATE only stores (a rate of the list or 0).
//
// Buffer sizes: the ASIO size 0..3 is 64, 128, 256 or 512 frames at 44.1 and
// 48 kHz, twice that at 88.2/96 kHz and four times at 176.4/192 kHz; at DSD
// rates the same durations as at 44.1 kHz (in units of 64 samples for the
// ASIO format). Streaming sizes 0..5 last 1, 1.5, 2, 4, 6 and 10 ms.
//
// Activity: activity0 counts the live handles registered as the ASIO driver
// plus what the scenario adds; activity1 and activity2 and the two use
// counts are the scenario's. 3003 is raised when the first activity appears
// and 3004 when the last goes; 3015 {useCount0, useCount1} when the first
// use count appears and 3016 when both are zero again.
//
// Lifetime: part of the driver. Threading: guarded by the driver's lock.
#pragma once

#include <vector>

#include "driverapi/DravikAsioRecords.h"
#include "simdriver/SimRequest.h"
#include "simdriver/SimTypes.h"

class SimCore;

class SimStreamMachine {
public:
  explicit SimStreamMachine(const SimDriverConfig& config);

  // IOCTL_DRAVIK_GET_STREAM_STATE .. GET_POLICY and the service's settings.
  DravikStatus handle(SimCore& core, SimRequest& r);

  uint32_t state() const { return state_; }
  void forceState(uint32_t state) { state_ = state; }
  uint32_t sampleRate() const { return rate_; }
  bool dsd() const { return dravikIsDsdRate(rate_); }
  bool allDevices() const { return selection_.allDevices != 0; }
  const DravikStreamingDeviceSelection& selection() const { return selection_; }
  // Replaces the rate list and the current rate (the scenario's call).
  void setRates(const std::vector<uint32_t>& rates, uint32_t current);

  DravikStreamState streamState() const;
  DravikSampleRateInfo sampleRateInfo() const;
  DravikBufferInfo bufferInfo() const;
  StreamFormat asioFormat() const;
  DravikAsioLatencies latencies() const;
  DravikErrorCounters& errorCounters() { return counters_; }
  SimSettings settings() const;

  // Activity and use counts; each raises the notifications described above.
  void setAsioHandles(SimCore& core, uint32_t count);
  void setActivity(SimCore& core, uint32_t index, uint32_t value);
  void setUseCounts(SimCore& core, uint32_t useCount0, uint32_t useCount1);
  // After a device was unplugged: with no device left the stream is Down.
  void devicesChanged(SimCore& core);

private:
  uint32_t activitySum() const { return asioHandles_ + activity_[0] + activity_[1] + activity_[2]; }
  void activityMoved(SimCore& core, uint32_t before);
  DravikStatus command(SimCore& core, const DravikStreamCommand& c);
  bool rateKnown(uint32_t rate) const;
  uint32_t asioSamples() const;  // samples per half (DSD: DSD samples)

  uint32_t state_ = DRAVIK_STREAM_DOWN;
  std::vector<uint32_t> rates_;
  uint32_t rate_;
  uint32_t pendingRate_ = 0;
  uint32_t streamingBufferSize_;
  uint32_t asioBufferSize_;
  uint32_t bufferSetting3_ = 0;
  uint32_t policy_ = 0;
  DravikStreamingDeviceSelection selection_{};
  DravikErrorCounters counters_{};
  uint32_t asioHandles_ = 0;
  uint32_t activity_[3] = {0, 0, 0};
  uint32_t useCount_[2] = {0, 0};
};
