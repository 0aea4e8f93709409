// Fixed-layout records of the ASIO streaming requests and the switch block
// shared between the ASIO driver and the kernel driver.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driverapi/DravikRecords.h"

constexpr uint32_t DRAVIK_DSD_RATE_MIN = 2822400;
constexpr uint32_t DRAVIK_DSD_RATE_MAX = 11289600;
inline constexpr bool dravikIsDsdRate(uint32_t rate) { return rate >= DRAVIK_DSD_RATE_MIN && rate <= DRAVIK_DSD_RATE_MAX; }

// IOCTL_DRAVIK_ASIO_GET_FORMAT, 60 bytes out.
struct StreamFormat {
  uint32_t sampleRate;
  uint32_t rateCount;  // at most 12
  uint32_t rates[DRAVIK_MAX_RATES];
  uint32_t asioBufferSize;  // frames; for DSD in units of 64 samples
};
static_assert(sizeof(StreamFormat) == 60);
static_assert(offsetof(StreamFormat, asioBufferSize) == 56);

// IOCTL_DRAVIK_ASIO_GET_CHANNEL_LIST, 1544 bytes out.
struct DravikAsioChannelLists {
  DravikChannelList first;
  DravikChannelList second;
};
static_assert(sizeof(DravikAsioChannelLists) == 1544);

// IOCTL_DRAVIK_ASIO_GET_LATENCIES, 8 bytes out (frames, buffer not counted).
struct DravikAsioLatencies {
  uint32_t inputLatency;
  uint32_t outputLatency;
};
static_assert(sizeof(DravikAsioLatencies) == 8);

// IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, 20 bytes in.
#pragma pack(push, 4)
struct SwitchControl {
  uint64_t switchBlock;  // address, upper 32 bits zero
  uint64_t switchEvent;  // handle, upper 32 bits zero
  uint32_t bufferSize;   // frames per half (DSD: units of 64 samples)
};
#pragma pack(pop)
static_assert(sizeof(SwitchControl) == 20);
static_assert(offsetof(SwitchControl, switchEvent) == 8);
static_assert(offsetof(SwitchControl, bufferSize) == 16);

// IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER, 24 bytes in.
struct ChannelBuffer {
  uint32_t channelKey0;
  uint32_t channelKey1;
  uint32_t halfSize;  // bytes of one half
  uint32_t four;      // always 4
  uint64_t address;   // upper 32 bits zero on 32-bit hosts
};
static_assert(sizeof(ChannelBuffer) == 24);
static_assert(offsetof(ChannelBuffer, address) == 16);

// The 8 bytes shared with the kernel driver.
struct SwitchBlock {
  uint32_t halfIndex;    // written by the driver before it signals; bit 0 used
  uint32_t acknowledge;  // incremented by the streaming thread per served switch
};
static_assert(sizeof(SwitchBlock) == 8);
