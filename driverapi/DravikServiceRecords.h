// Fixed-layout records of the requests only the device control service sends:
// stream commands, device set-up, channel names and WDM endpoints.
#pragma once

#include <cstddef>
#include <cstdint>

// IOCTL_DRAVIK_STREAM_COMMAND, 8 bytes in.
struct DravikStreamCommand {
  uint32_t command;   // 1..6
  uint32_t argument;  // the policy flag for commands 2 and 3, else 0
};
static_assert(sizeof(DravikStreamCommand) == 8);

enum : uint32_t {
  DRAVIK_CMD_RESET = 1,            // leave Error or not-supported
  DRAVIK_CMD_DOWN_TO_READY = 2,
  DRAVIK_CMD_READY_TO_DOWN = 3,
  DRAVIK_CMD_READY_TO_PREPARED = 4,
  DRAVIK_CMD_PREPARED_TO_RUNNING = 5,
  DRAVIK_CMD_TO_READY = 6,         // from Prepared or Running
};

// Payload of request 1002 and input of IOCTL_DRAVIK_SET_BUFFER_SIZES.
struct DravikBufferSizes {
  uint32_t streamingBufferSize;
  uint32_t asioBufferSize;
  uint32_t bufferSetting3;
};
static_assert(sizeof(DravikBufferSizes) == 12);

// Payload of request 1003 and input of IOCTL_DRAVIK_SELECT_STREAMING_DEVICE.
struct DravikStreamingDeviceSelection {
  uint32_t deviceId0;
  uint32_t deviceId1;
  uint32_t allDevices;  // 1 all devices (ids 0), 0 one device
};
static_assert(sizeof(DravikStreamingDeviceSelection) == 12);

// Payload of requests 11001/11002 and of reply 12001.
struct DravikDeviceConfig {
  uint32_t deviceId0;
  uint32_t deviceId1;
  uint32_t renderConfig;
  uint32_t captureConfig;
};
static_assert(sizeof(DravikDeviceConfig) == 16);

// IOCTL_DRAVIK_SET_DEVICE_SETUP, 136 bytes in.
struct DravikDeviceSetup {
  uint32_t values[34];
};
static_assert(sizeof(DravikDeviceSetup) == 136);

constexpr uint32_t DRAVIK_MAX_NAMED_CHANNELS = 32;
constexpr size_t DRAVIK_ENDPOINT_NAME_CHARS = 41;

enum : uint32_t {
  DRAVIK_CHANNEL_TYPE_ANALOG = 1,
  DRAVIK_CHANNEL_TYPE_SPDIF = 10,
  DRAVIK_CHANNEL_TYPE_MIDI = 20,
  DRAVIK_CHANNEL_TYPE_VIRTUAL = 40,
};

struct DravikChannelNameEntry {
  uint32_t channelType;
  uint32_t pairIndex;
  uint32_t side;  // 0 left, 1 right
  char16_t name[DRAVIK_ENDPOINT_NAME_CHARS];
  uint16_t zero;
};
static_assert(sizeof(DravikChannelNameEntry) == 96);
static_assert(offsetof(DravikChannelNameEntry, name) == 12);

// IOCTL_DRAVIK_SET_CHANNEL_NAMES, 6152 bytes in.
struct DravikChannelNameRecord {
  uint32_t captureCount;
  DravikChannelNameEntry capture[DRAVIK_MAX_NAMED_CHANNELS];
  uint32_t renderCount;
  DravikChannelNameEntry render[DRAVIK_MAX_NAMED_CHANNELS];
};
static_assert(sizeof(DravikChannelNameRecord) == 6152);
static_assert(offsetof(DravikChannelNameRecord, renderCount) == 3076);
static_assert(offsetof(DravikChannelNameRecord, render) == 3080);

struct DravikEndpointEntry {
  uint32_t endpointType;  // 1 analog, 10 SPDIF, 40 virtual, 20 MIDI
  uint32_t one;           // 1
  uint32_t pairIndex;
  uint8_t reserved12[28];
  uint32_t kind40;  // SPDIF render 1, MIDI 2, else 0
  uint32_t kind44;  // analog 3, else 0
  char16_t name[DRAVIK_ENDPOINT_NAME_CHARS];
  uint16_t pad130;
  int32_t midiDirection;  // MIDI: 1 out, -1 in
  uint32_t index;         // position in its list
  uint32_t value140;      // analog 0xFF800000
  uint32_t value144;
};
static_assert(sizeof(DravikEndpointEntry) == 148);
static_assert(offsetof(DravikEndpointEntry, kind40) == 40);
static_assert(offsetof(DravikEndpointEntry, kind44) == 44);
static_assert(offsetof(DravikEndpointEntry, name) == 48);
static_assert(offsetof(DravikEndpointEntry, midiDirection) == 132);
static_assert(offsetof(DravikEndpointEntry, index) == 136);
static_assert(offsetof(DravikEndpointEntry, value140) == 140);

// IOCTL_DRAVIK_SET_ENDPOINTS, 9480 bytes in.
struct DravikEndpointRecord {
  uint32_t captureCount;
  DravikEndpointEntry capture[DRAVIK_MAX_NAMED_CHANNELS];
  uint32_t renderCount;
  DravikEndpointEntry render[DRAVIK_MAX_NAMED_CHANNELS];
};
static_assert(sizeof(DravikEndpointRecord) == 9480);
static_assert(offsetof(DravikEndpointRecord, renderCount) == 4740);
static_assert(offsetof(DravikEndpointRecord, render) == 4744);
