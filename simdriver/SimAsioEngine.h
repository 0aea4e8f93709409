// SimAsioEngine: the ASIO side of the simulated driver: channel lists and
// descriptors, the channels a handle opened with the buffers it lent, the
// switch control (switch block and switch event) and the buffer-switch clock
// that moves audio through the lent buffers.
//
// Requests and their checks:
// - GET_FORMAT, GET_CHANNEL_LIST (inputs, then outputs; PCM and DSD channels
//   of every streaming device), GET_CHANNEL_INFO, GET_LATENCIES: any handle.
//   GET_INPUT_CHANNELS / GET_OUTPUT_CHANNELS list only the channels of the
//   current stream format (DSD while a DSD rate is set).
// - SET/CLEAR_SWITCH_CONTROL, OPEN/CLOSE_CHANNEL, SET_CHANNEL_BUFFER, START,
//   STOP need a handle registered as the ASIO driver (initiator 1), else
//   DRAVIK_STATUS_INITIATOR_NOT_FOUND. One handle holds the switch control at
//   a time (another: DRAVIK_STATUS_IN_USE); the block address must be
//   non-zero and 4-aligned, the event non-zero and adoptable, the buffer size
//   1..65536 (DRAVIK_STATUS_INVALID_BUFFER_SIZE). A channel is opened by one
//   handle at a time (DRAVIK_STATUS_IN_USE; again by the same handle:
//   DRAVIK_STATUS_ALREADY_DONE), must belong to a streaming device
//   (DRAVIK_STATUS_NO_STREAMING_DEVICE) and to the current stream format
//   (DRAVIK_STATUS_NOT_POSSIBLE). SET_CHANNEL_BUFFER needs the channel open on
//   this handle (DRAVIK_STATUS_OBJECT_NOT_FOUND) and the switch control set
//   (DRAVIK_STATUS_INVALID_STATE); the half size must be bufferSize x 4 for
//   PCM or bufferSize x 8 for DSD (DRAVIK_STATUS_INVALID_BUFFER_SIZE), the
//   fourth field 4 and the address non-zero (DRAVIK_STATUS_INVALID_PARAMETER).
//   START needs the switch control and the stream Running
//   (DRAVIK_STATUS_INVALID_STATE; twice: DRAVIK_STATUS_ALREADY_DONE); STOP
//   needs a started stream (DRAVIK_STATUS_INVALID_STATE). CLEAR always
//   succeeds and stops a started stream first.
//
// Switches: while started and the stream is Running, each switch (1) reads
// the acknowledge counter and, when it did not move since the previous
// switch, counts a missed switch (also in the ASIO error counter), (2) moves
// audio for the half h it hands over (h = 0, 1, 0, ... from START), (3)
// writes h into the switch block and (4) signals the switch event. Audio:
// each input channel's half h receives, in loopback, the bytes of half h of
// the output channel with the same number as the host left them there two
// switches before (so the inputs carry the host's output stream delayed by two
// buffer halves, continuous from the first primed half on), or a tone, or
// silence. Lent memory is touched only inside a switch, only for channels
// that are open with a buffer and whose half size fits the switch control.
//
// Clock: in SimClockMode::RealTime a clock thread of the engine's own (raised
// to time-critical priority) delivers one switch per buffer half, at the
// period bufferSize / sampleRate on absolute deadlines counted from START
// (no drift; a schedule that fell a whole period behind restarts from now).
// It ends on STOP, CLEAR_SWITCH_CONTROL, the owner's close and the driver's
// end. In SimClockMode::Manual only stepSwitch() delivers switches. A change
// of the mode applies from the next START.
//
// Lifetime: part of the driver. Threading: all operations run under the
// driver's lock; the clock thread takes that lock for each switch. Threads
// that end are handed to a SimDeferred and joined outside the lock.
#pragma once

#include <condition_variable>
#include <map>
#include <thread>
#include <vector>

#include "driverapi/DravikAsioRecords.h"
#include "simdriver/SimChannelCatalog.h"
#include "simdriver/SimRequest.h"
#include "simdriver/SimTypes.h"

class SimCore;
class SimDevice;
class SimHandle;
class SimPeer;
class SimSignal;

class SimAsioEngine {
public:
  SimAsioEngine(SimCore& core, SimClockMode mode, const SimInputSource& source);
  ~SimAsioEngine();
  SimAsioEngine(const SimAsioEngine&) = delete;
  SimAsioEngine& operator=(const SimAsioEngine&) = delete;

  // The ASIO requests and the driver-level channel requests
  // (GET_INPUT_CHANNELS, GET_OUTPUT_CHANNELS, GET_CHANNEL_INFO).
  DravikStatus handle(SimRequest& r);
  // One switch now (manual clock): DRAVIK_STATUS_INVALID_STATE when nothing
  // streams, DRAVIK_STATUS_NOT_ALLOWED with the real-time clock.
  DravikStatus stepSwitch();

  void handleClosed(SimHandle& h);
  void deviceRemoved(SimDevice& device);
  void setClockMode(SimClockMode mode) { mode_ = mode; }
  SimClockMode clockMode() const { return mode_; }
  void setInputSource(const SimInputSource& source) { source_ = source; }
  SimAsioStats stats() const;
  // Stops streaming and the clock for the driver's end.
  void shutdown();

private:
  struct OpenChannel {
    SimHandleId owner = SIM_NO_HANDLE;
    SimDevice* device = nullptr;
    SimChannelId id;
    bool bufferSet = false;
    uint64_t address = 0;
    uint32_t halfSize = 0;
  };

  DravikStatus describe(uint32_t key0, uint32_t key1, SimDevice*& device, SimChannelId& id) const;
  void channelList(bool input, bool pcm, bool dsd, DravikChannelList& out) const;
  DravikStatus setSwitchControl(SimHandle& h, const SwitchControl& c);
  DravikStatus openChannel(SimHandle& h, const DravikChannelKey& key);
  DravikStatus closeChannel(SimHandle& h, const DravikChannelKey& key);
  DravikStatus setChannelBuffer(SimHandle& h, const ChannelBuffer& b);
  DravikStatus start(SimHandle& h);
  void stopStreaming();
  void clearControl();
  uint32_t expectedHalfSize() const;
  DravikStatus deliver();
  void fillInput(SimPeer& peer, const OpenChannel& in, uint32_t half);
  void clockMain(uint64_t generation);

  SimCore& core_;
  SimClockMode mode_;
  SimInputSource source_;
  std::map<uint64_t, OpenChannel> channels_;

  SimHandleId owner_ = SIM_NO_HANDLE;
  uint64_t block_ = 0;
  std::unique_ptr<SimSignal> event_;
  uint32_t bufferSize_ = 0;
  bool started_ = false;

  uint64_t switches_ = 0;
  uint64_t missed_ = 0;
  uint32_t lastAck_ = 0;
  uint32_t lastIndex_ = 0;
  uint64_t position_ = 0;  // frames (DSD: samples) since START
  uint64_t peerFaults_ = 0;
  std::vector<uint8_t> scratch_;

  std::thread clock_;
  uint64_t generation_ = 0;
  std::condition_variable clockWake_;
};
