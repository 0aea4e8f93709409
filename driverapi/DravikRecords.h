// Fixed-layout records of the driver's information, device list and
// driver-wide state requests. Little-endian; sizes and offsets are pinned.
// Every output record is zeroed by the caller before a request.
#pragma once

#include <cstddef>
#include <cstdint>

// IOCTL_DRAVIK_GET_DRIVER_INFO, 24 bytes out.
struct DravikDriverInfo {
  uint32_t interfaceMajor;  // only 2 is accepted
  uint32_t interfaceMinor;
  uint32_t driverMajor;
  uint32_t driverMinor;
  uint32_t driverBuild;
  uint32_t buildFlags;  // bit 0: debug build
};
static_assert(sizeof(DravikDriverInfo) == 24);

constexpr uint32_t DRAVIK_INTERFACE_MAJOR = 2;
constexpr size_t DRAVIK_SERIAL_CHARS = 20;
constexpr size_t DRAVIK_DEVICE_NAME_CHARS = 42;
constexpr uint32_t DRAVIK_MAX_DEVICES = 8;

// One connected device, 140 bytes.
struct DravikDeviceRecord {
  uint32_t deviceId0;
  uint32_t deviceId1;
  uint16_t vendorId;
  uint16_t productId;
  char16_t serialNumber[DRAVIK_SERIAL_CHARS];     // zero-terminated
  char16_t deviceName[DRAVIK_DEVICE_NAME_CHARS];  // zero-terminated
  uint8_t speedFlags;      // bit 0: high-speed port
  uint8_t featureFlags;    // bit 0: echo effect
  uint8_t streamingFlags;  // bit 0: selected for streaming
  uint8_t reserved;
};
static_assert(sizeof(DravikDeviceRecord) == 140);
static_assert(offsetof(DravikDeviceRecord, vendorId) == 8);
static_assert(offsetof(DravikDeviceRecord, productId) == 10);
static_assert(offsetof(DravikDeviceRecord, serialNumber) == 12);
static_assert(offsetof(DravikDeviceRecord, deviceName) == 52);
static_assert(offsetof(DravikDeviceRecord, speedFlags) == 136);
static_assert(offsetof(DravikDeviceRecord, streamingFlags) == 138);

// IOCTL_DRAVIK_GET_DEVICE_LIST, 1124 bytes out.
struct DravikDeviceList {
  uint32_t count;  // 0..8
  DravikDeviceRecord devices[DRAVIK_MAX_DEVICES];
};
static_assert(sizeof(DravikDeviceList) == 1124);
static_assert(offsetof(DravikDeviceList, devices) == 4);

// Streaming states.
enum : uint32_t {
  DRAVIK_STREAM_UNDEFINED = 0,
  DRAVIK_STREAM_DOWN = 1,
  DRAVIK_STREAM_READY = 2,
  DRAVIK_STREAM_PREPARED = 3,
  DRAVIK_STREAM_RUNNING = 4,
  DRAVIK_STREAM_ERROR = 5,
  DRAVIK_STREAM_NOT_SUPPORTED = 6,
};

// IOCTL_DRAVIK_GET_STREAM_STATE, 36 bytes out.
struct DravikStreamState {
  uint32_t streamState;
  uint32_t streamingMode;  // 0 one device, 1 all devices
  uint32_t sampleRate;
  uint32_t activity0;
  uint32_t useCount0;
  uint32_t useCount1;
  uint32_t activity1;
  uint32_t activity2;
  uint32_t reserved;
};
static_assert(sizeof(DravikStreamState) == 36);
static_assert(offsetof(DravikStreamState, sampleRate) == 8);
static_assert(offsetof(DravikStreamState, useCount1) == 20);
static_assert(offsetof(DravikStreamState, activity2) == 28);

constexpr uint32_t DRAVIK_MAX_RATES = 12;

// IOCTL_DRAVIK_GET_SAMPLE_RATE_INFO, 56 bytes out.
struct DravikSampleRateInfo {
  uint32_t currentRate;
  uint32_t count;  // 0..12
  uint32_t rates[DRAVIK_MAX_RATES];
};
static_assert(sizeof(DravikSampleRateInfo) == 56);

// IOCTL_DRAVIK_GET_BUFFER_INFO, 32 bytes out. The first three fields are the
// payload of the set-buffer-sizes request.
struct DravikBufferInfo {
  uint32_t streamingBufferSize;  // 0..5
  uint32_t asioBufferSize;       // 0..3
  uint32_t bufferSetting3;
  uint32_t streamingBufferMicros;
  uint32_t asioBufferMicros;
  uint32_t asioBufferSamples;
  uint32_t reserved[2];
};
static_assert(sizeof(DravikBufferInfo) == 32);

// IOCTL_DRAVIK_GET_ERROR_COUNTERS, 20 bytes out.
struct DravikErrorCounters {
  uint32_t streamingErrors;
  uint32_t fifoErrors;
  uint32_t asioErrors;
  uint32_t wdmAudioErrors;
  uint32_t wdmMidiErrors;
};
static_assert(sizeof(DravikErrorCounters) == 20);

constexpr uint32_t DRAVIK_POLICY_FORBID_RATE_CHANGE = 1;

// A channel key: the driver's identity of one ASIO channel.
struct DravikChannelKey {
  uint32_t channelKey0;
  uint32_t channelKey1;
};
static_assert(sizeof(DravikChannelKey) == 8);

constexpr uint32_t DRAVIK_MAX_CHANNELS = 96;

// IOCTL_DRAVIK_GET_INPUT_CHANNELS / GET_OUTPUT_CHANNELS, 772 bytes out.
struct DravikChannelList {
  uint32_t count;  // 0..96
  DravikChannelKey keys[DRAVIK_MAX_CHANNELS];
};
static_assert(sizeof(DravikChannelList) == 772);

constexpr size_t DRAVIK_CHANNEL_NAME_CHARS = 42;
constexpr uint32_t DRAVIK_DIRECTION_INPUT = 1;
constexpr uint32_t DRAVIK_DIRECTION_OUTPUT = 2;
constexpr uint32_t DRAVIK_FORMAT_PCM = 0;
constexpr uint32_t DRAVIK_FORMAT_DSD = 2;

// IOCTL_DRAVIK_GET_CHANNEL_INFO and IOCTL_DRAVIK_ASIO_GET_CHANNEL_INFO, 108 bytes out.
struct ChannelDescriptor {
  uint32_t channelKey0;
  uint32_t channelKey1;
  uint32_t deviceId0;
  uint32_t deviceId1;
  uint32_t direction;     // 1 input, any other value output
  uint32_t sampleFormat;  // 2 DSD, any other value PCM
  char16_t name[DRAVIK_CHANNEL_NAME_CHARS];
};
static_assert(sizeof(ChannelDescriptor) == 108);
static_assert(offsetof(ChannelDescriptor, direction) == 16);
static_assert(offsetof(ChannelDescriptor, name) == 24);

// IOCTL_DRAVIK_OPEN_DEVICE, 8 bytes in.
struct DravikDeviceId {
  uint32_t deviceId0;
  uint32_t deviceId1;
};
static_assert(sizeof(DravikDeviceId) == 8);

// IOCTL_DRAVIK_GET_SPDIF_STATUS, 16 bytes in and out.
struct DravikSpdifStatus {
  uint32_t spdifInput;
  uint32_t state;   // 0 not streaming, 1 no signal, 2 synchronizing, 3 locked
  uint32_t format;  // 0 unknown, 1 PCM, 2 non-PCM
  uint32_t sampleRate;
};
static_assert(sizeof(DravikSpdifStatus) == 16);

// IOCTL_DRAVIK_SET/GET_SPDIF_PASSTHROUGH, 12 bytes. Set: enabled is one byte
// (1 or 0) then three zero bytes; get: any non-zero u32 means on.
struct DravikSpdifPassThrough {
  uint32_t selector0;
  uint32_t selector1;
  uint32_t enabled;
};
static_assert(sizeof(DravikSpdifPassThrough) == 12);

// IOCTL_DRAVIK_REGISTER_INITIATOR input (u32) values.
enum : uint32_t {
  DRAVIK_INITIATOR_SERVICE = 0,
  DRAVIK_INITIATOR_ASIO = 1,
  DRAVIK_INITIATOR_CPL_MAIN = 2,
  DRAVIK_INITIATOR_CPL_DEVICES = 3,
  DRAVIK_INITIATOR_CPL_MIXER = 4,
};

// IOCTL_DRAVIK_SET_MESSAGE_EVENTS, 16 bytes in: handles zero-extended to 64 bits.
struct DravikMessageEvents {
  uint64_t messageEvent;
  uint64_t notificationEvent;
};
static_assert(sizeof(DravikMessageEvents) == 16);
