#include "simdriver/SimChannelCatalog.h"

#include <cstdio>

namespace {

void setName(ChannelDescriptor& d, const char* text) {
  size_t i = 0;
  for (; text[i] && i + 1 < DRAVIK_CHANNEL_NAME_CHARS; ++i) d.name[i] = static_cast<char16_t>(text[i]);
  d.name[i] = 0;
}

}  // namespace

bool simDecodeChannelKey1(uint32_t key1, SimChannelId& out) {
  if (key1 & ~(kSimKeyDsd | kSimKeyInput | 0xFFFFu)) return false;
  out.dsd = (key1 & kSimKeyDsd) != 0;
  out.input = (key1 & kSimKeyInput) != 0;
  out.number = key1 & 0xFFFFu;
  return out.number < (out.dsd ? kSimDsdChannels : kSimPcmChannels);
}

std::vector<SimChannelId> simDeviceChannels(bool input, bool includePcm, bool includeDsd) {
  std::vector<SimChannelId> out;
  if (includePcm)
    for (uint32_t n = 0; n < kSimPcmChannels; ++n) out.push_back(SimChannelId{input, false, n});
  if (includeDsd)
    for (uint32_t n = 0; n < kSimDsdChannels; ++n) out.push_back(SimChannelId{input, true, n});
  return out;
}

ChannelDescriptor simChannelDescriptor(const DravikDeviceId& device, const SimChannelId& channel) {
  ChannelDescriptor d{};
  d.channelKey0 = device.deviceId0;
  d.channelKey1 = simChannelKey1(channel);
  d.deviceId0 = device.deviceId0;
  d.deviceId1 = device.deviceId1;
  d.direction = channel.input ? DRAVIK_DIRECTION_INPUT : DRAVIK_DIRECTION_OUTPUT;
  d.sampleFormat = channel.dsd ? DRAVIK_FORMAT_DSD : DRAVIK_FORMAT_PCM;
  char text[DRAVIK_CHANNEL_NAME_CHARS];
  const char* dir = channel.input ? "In" : "Out";
  if (channel.dsd)
    std::snprintf(text, sizeof text, "DSD %s %u", dir, static_cast<unsigned>(channel.number + 1));
  else if (channel.number < kSimAnalogChannels)
    std::snprintf(text, sizeof text, "Analog %s %u", dir, static_cast<unsigned>(channel.number + 1));
  else
    std::snprintf(text, sizeof text, "SPDIF %s %u", dir, static_cast<unsigned>(channel.number - kSimAnalogChannels + 1));
  setName(d, text);
  return d;
}
