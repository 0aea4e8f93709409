// Value types of the simulated kernel driver: handle identities, the
// configuration a test builds the driver from, and the snapshots the
// scenario interface hands back for reading.
//
// Lifetime: plain values, copied freely. Not thread-safe by themselves; the
// driver fills snapshots under its own lock.
//
//   SimDriverConfig config;
//   config.devices[0].highSpeed = false;        // a device on a USB 1.1 port
//   config.clockMode = SimClockMode::Manual;    // switches only on stepSwitch()
//   SimDriver driver(config);
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driverapi/DravikMixerRecords.h"
#include "driverapi/DravikRecords.h"
#include "driverapi/DravikServiceRecords.h"
#include "driverapi/DravikStatus.h"

// One open handle of the simulated driver. 0 is never a valid handle.
using SimHandleId = uint32_t;
constexpr SimHandleId SIM_NO_HANDLE = 0;

// One USB device as the simulator plugs it in.
struct SimDeviceConfig {
  uint16_t vendorId = 0x1E2D;
  uint16_t productId = 0x0108;
  std::u16string serial = u"T8-0001";  // at most 19 characters are reported
  std::u16string name = u"Tovix8";     // at most 41 characters are reported
  bool highSpeed = true;               // false: a USB 1.1 port, streaming impossible
  bool echoEffect = true;              // featureFlags bit 0 and the effect requests
  bool spdifInput = true;              // false: GET_SPDIF_STATUS answers OBJECT_NOT_FOUND
  bool topologyType2 = false;          // the mixer topology reports a channel of type 2
  bool hasMixer = true;                // false: empty pin lists, no gains or crosspoints
};

// Who drives the ASIO buffer switches.
enum class SimClockMode {
  RealTime,  // a clock thread of the driver, one switch per buffer half
  Manual,    // only SimScenario::stepSwitch() delivers a switch
};

// What the input channels carry while ASIO streams.
struct SimInputSource {
  enum class Kind {
    Loopback,  // each output channel comes back on the input channel of the same number
    Tone,      // a sine of toneHz on every PCM input (DSD inputs carry silence)
    Silence,
  };
  Kind kind = Kind::Loopback;
  uint32_t toneHz = 1000;
  double amplitude = 0.5;  // of full scale
};

// Everything the driver starts from. The defaults give one high-speed device
// "Tovix8" with serial "T8-0001", 48 kHz, interface version 2.0, driver 1.36.1.
struct SimDriverConfig {
  std::vector<SimDeviceConfig> devices = {SimDeviceConfig()};
  std::vector<uint32_t> sampleRates = {44100, 48000, 88200, 96000, 176400, 192000, 2822400, 5644800};
  uint32_t sampleRate = 48000;
  uint32_t streamingBufferSize = 2;  // 0..5, see GET_BUFFER_INFO
  uint32_t asioBufferSize = 2;       // 0..3: 64, 128, 256, 512 frames at 48 kHz
  DravikDriverInfo driverInfo = {2, 0, 1, 36, 1, 0};
  SimClockMode clockMode = SimClockMode::RealTime;
  SimInputSource inputSource;
  size_t queueCapacity = 256;     // messages per queue and handle
  size_t journalCapacity = 4096;  // requests kept; the oldest are dropped
};

// A request code fails this many times; SIM_FAULT_ALWAYS keeps failing.
constexpr int SIM_FAULT_ALWAYS = -1;

// One request as the driver saw it.
struct SimJournalEntry {
  uint64_t serial = 0;  // 1, 2, 3 ... over the driver's life
  SimHandleId handle = SIM_NO_HANDLE;
  uint32_t code = 0;
  uint32_t inSize = 0;
  uint32_t outSize = 0;
  DravikStatus status = 0;
  uint32_t bytesReturned = 0;
  std::vector<uint8_t> input;  // the input bytes (the first 16 KiB)
};

// A live handle as the scenario lists it.
struct SimHandleInfo {
  SimHandleId id = SIM_NO_HANDLE;
  bool registered = false;
  uint32_t initiatorType = 0;  // valid when registered
  bool bound = false;          // OPEN_DEVICE succeeded
  bool boundDevicePresent = false;
  DravikDeviceId device = {0, 0};
  bool hasMessageEvent = false;
  bool hasNotificationEvent = false;
  size_t queuedMessages = 0;
  size_t queuedNotifications = 0;
  uint64_t droppedNotifications = 0;  // broadcasts lost to a full queue
  size_t parkedReplies = 0;           // replies held or delayed for this handle
};

// The driver-wide settings and state.
struct SimSettings {
  DravikStreamState streamState{};
  DravikSampleRateInfo sampleRates{};
  uint32_t pendingSampleRate = 0;
  DravikBufferInfo bufferInfo{};
  uint32_t policy = 0;
  DravikStreamingDeviceSelection selection{};  // as last set (all zero: the first device)
  DravikErrorCounters errorCounters{};
};

struct SimStreamingInterfaceState {
  bool onSet = false;  // SET_STREAMING_INTERFACE was sent for this index
  uint32_t on = 0;
  bool paramSet = false;  // SET_STREAMING_INTERFACE_PARAM was sent for this index
  uint32_t param = 0;
};

constexpr uint32_t SIM_STREAMING_INTERFACES = 4;

// Everything a device stores, for reading back.
struct SimDeviceSnapshot {
  DravikDeviceRecord record{};
  bool present = false;
  DravikSpdifStatus spdif{};
  bool spdifPassThrough = false;
  bool bypassVolume = false;
  bool bypassMute = false;
  bool deviceSetupSet = false;
  DravikDeviceSetup deviceSetup{};
  bool channelNamesSet = false;
  DravikChannelNameRecord channelNames{};
  bool endpointsSet = false;
  DravikEndpointRecord endpoints{};
  SimStreamingInterfaceState interfaces[SIM_STREAMING_INTERFACES];
  std::vector<DravikGainEntry> gains;               // every output pin, in pin order
  std::vector<DravikCrosspointEntry> crosspoints;   // connected or non-zero weight only
  std::vector<DravikEndpointVolume> captureVolumes; // one per declared capture endpoint
  std::vector<DravikEndpointVolume> renderVolumes;  // one per declared render endpoint
  uint32_t echoChannels = 0;
  uint32_t echoMaxDelay = 0;
  std::vector<uint32_t> echoDelay;  // per effect channel, ms
  std::vector<uint32_t> echoLevel;  // per effect channel, thousandths
};

// The ASIO engine's state and counters.
struct SimAsioStats {
  bool switchControlSet = false;
  bool started = false;
  SimHandleId owner = SIM_NO_HANDLE;  // handle holding the switch control
  uint32_t bufferSize = 0;            // frames per half (DSD: units of 64 samples)
  uint64_t switches = 0;              // delivered since the last START
  uint64_t missedSwitches = 0;        // since the last START
  uint32_t lastHalfIndex = 0;
  size_t openChannels = 0;            // over all handles
  size_t channelsWithBuffer = 0;
  uint64_t peerFaults = 0;            // failed reads or writes of lent memory
};
