// SimChannelCatalog: the ASIO channels a device carries and the keys that
// name them to the driver.
//
// Every device has, in PCM, 16 analog and 2 SPDIF channels in each direction
// ("Analog In 1" .. "Analog In 16", "SPDIF In 1", "SPDIF In 2", "Analog Out 1"
// .. "SPDIF Out 2") and, in DSD, 2 channels in each direction ("DSD In 1",
// "DSD In 2", "DSD Out 1", "DSD Out 2"). Within one direction and format a
// channel has a number (0 .. 17 for PCM, 0 .. 1 for DSD); the input and the
// output of the same number form a loopback pair.
//
// Key: channelKey0 is the device's deviceId0 (new on every plug, so the keys
// of an unplugged device never come back); channelKey1 is
// 0x00020000 for DSD | 0x00010000 for an input | the channel's number.
//
// Lifetime: free functions over a device's identity. Threading: pure.
//
//   ChannelDescriptor d;
//   if (simDescribeChannel(device.ids(), device.config().name, key, d)) ...
#pragma once

#include <cstdint>
#include <vector>

#include "driverapi/DravikRecords.h"

constexpr uint32_t kSimPcmChannels = 18;   // per direction: 16 analog + 2 SPDIF
constexpr uint32_t kSimAnalogChannels = 16;
constexpr uint32_t kSimDsdChannels = 2;    // per direction
constexpr uint32_t kSimKeyInput = 0x00010000;
constexpr uint32_t kSimKeyDsd = 0x00020000;

struct SimChannelId {
  bool input = false;
  bool dsd = false;
  uint32_t number = 0;
};

inline uint64_t simChannelKeyValue(uint32_t key0, uint32_t key1) { return (uint64_t{key0} << 32) | key1; }
inline uint32_t simChannelKey1(const SimChannelId& c) {
  return (c.dsd ? kSimKeyDsd : 0) | (c.input ? kSimKeyInput : 0) | c.number;
}
// Splits channelKey1; false when it names no channel of a device.
bool simDecodeChannelKey1(uint32_t key1, SimChannelId& out);
// The channels of one device in list order (PCM before DSD), one direction.
std::vector<SimChannelId> simDeviceChannels(bool input, bool includePcm, bool includeDsd);
// The descriptor of one channel of the device with these identifiers.
ChannelDescriptor simChannelDescriptor(const DravikDeviceId& device, const SimChannelId& channel);
