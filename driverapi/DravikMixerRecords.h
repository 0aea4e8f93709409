// Fixed-layout records of the mixer, endpoint-volume and effect requests.
#pragma once

#include <cstddef>
#include <cstdint>

// Identity of one pin channel.
struct DravikPinDescriptor {
  uint8_t pinKind;
  uint8_t channel;
  uint16_t reserved;
};
static_assert(sizeof(DravikPinDescriptor) == 4);

// Pin kinds. Input lists: 0 analog in, 1 SPDIF in, 2 output, 3 SPDIF output,
// 5 virtual input. Output list: 0 analog out, 1 SPDIF out, 5 virtual input.
enum : uint8_t {
  DRAVIK_PIN_ANALOG = 0,
  DRAVIK_PIN_SPDIF = 1,
  DRAVIK_PIN_OUTPUT = 2,
  DRAVIK_PIN_SPDIF_OUTPUT = 3,
  DRAVIK_PIN_VIRTUAL = 5,
};

// Mixer pin list selectors.
enum : uint32_t {
  DRAVIK_PINS_OUTPUTS = 0,
  DRAVIK_PINS_HW_INPUTS = 1,
  DRAVIK_PINS_SW_OUTPUTS = 2,
};

struct DravikLevelEntry {
  DravikPinDescriptor pin;
  int16_t level;  // hundredths of a dB below full scale
  uint16_t reserved;
};
static_assert(sizeof(DravikLevelEntry) == 8);
static_assert(offsetof(DravikLevelEntry, level) == 4);

struct DravikGainEntry {
  DravikPinDescriptor pin;
  uint8_t reserved;
  uint8_t flags;  // bit 0 muted
  int16_t gain;   // hundredths of a dB
};
static_assert(sizeof(DravikGainEntry) == 8);
static_assert(offsetof(DravikGainEntry, flags) == 5);
static_assert(offsetof(DravikGainEntry, gain) == 6);

struct DravikCrosspointEntry {
  DravikPinDescriptor output;
  DravikPinDescriptor input;
  int16_t weight;  // hundredths of a dB
  uint8_t flags;   // bit 0 connected
  uint8_t reserved;
};
static_assert(sizeof(DravikCrosspointEntry) == 12);
static_assert(offsetof(DravikCrosspointEntry, weight) == 8);
static_assert(offsetof(DravikCrosspointEntry, flags) == 10);

constexpr int32_t DRAVIK_ENDPOINT_GAIN_MINUS_INFINITY = INT32_MIN;  // 0x80000000
constexpr uint32_t DRAVIK_ENDPOINT_CHANNELS = 16;

// IOCTL_DRAVIK_GET/SET_ENDPOINT_VOLUME, 136 bytes.
struct DravikEndpointVolume {
  uint32_t direction;  // 2 render
  uint32_t endpointIndex;
  int32_t gain[DRAVIK_ENDPOINT_CHANNELS];  // dB in 16.16 fixed point
  uint32_t mute[DRAVIK_ENDPOINT_CHANNELS];  // bit 0
};
static_assert(sizeof(DravikEndpointVolume) == 136);
static_assert(offsetof(DravikEndpointVolume, gain) == 8);
static_assert(offsetof(DravikEndpointVolume, mute) == 72);

enum : uint32_t {
  DRAVIK_EFFECT_CHANNEL_COUNT = 0,
  DRAVIK_EFFECT_MAX_DELAY = 1,
  DRAVIK_EFFECT_DELAY = 2,
  DRAVIK_EFFECT_LEVEL = 3,
};
constexpr uint32_t DRAVIK_EFFECT_MAX_ENTRIES = 64;

struct DravikEffectEntry {
  uint32_t channel;
  uint32_t value;
};
static_assert(sizeof(DravikEffectEntry) == 8);

// IOCTL_DRAVIK_SET/GET_EFFECT_PARAMETERS, 520 bytes.
struct DravikEffectParameters {
  uint32_t parameterId;
  uint32_t countOrValue;  // ids 0, 1: the value; ids 2, 3: number of entries
  DravikEffectEntry entries[DRAVIK_EFFECT_MAX_ENTRIES];
};
static_assert(sizeof(DravikEffectParameters) == 520);
static_assert(offsetof(DravikEffectParameters, entries) == 8);

// IOCTL_DRAVIK_GET_MIXER_TOPOLOGY, 3624 bytes out. Only the item types are
// interpreted (type 2 marks a channel the service does not name).
struct DravikTopologyItem {
  uint32_t type;
  uint32_t reserved;
};
static_assert(sizeof(DravikTopologyItem) == 8);
struct DravikTopologyEntry {
  DravikTopologyItem first[16];
  DravikTopologyItem second[16];
  uint8_t reserved[40];
};
static_assert(sizeof(DravikTopologyEntry) == 296);
constexpr uint32_t DRAVIK_MAX_TOPOLOGY_ENTRIES = 12;
struct DravikMixerTopology {
  uint32_t count;  // entries beyond 12 do not fit and are never read
  uint32_t reserved;
  DravikTopologyEntry entries[DRAVIK_MAX_TOPOLOGY_ENTRIES];
  uint8_t tail[64];
};
static_assert(sizeof(DravikMixerTopology) == 3624);
static_assert(offsetof(DravikMixerTopology, entries) == 8);
static_assert(offsetof(DravikTopologyEntry, second) == 128);

// IOCTL_DRAVIK_SET_STREAMING_INTERFACE {index, on} and
// IOCTL_DRAVIK_SET_STREAMING_INTERFACE_PARAM {index, value}.
struct DravikStreamingInterface {
  uint32_t index;
  uint32_t value;
};
static_assert(sizeof(DravikStreamingInterface) == 8);
