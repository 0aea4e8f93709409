// SimMixer: the driver-integrated mixer of one simulated device: its three
// pin lists, the gain and mute of every output pin channel, the weight and
// connection of every crosspoint, the level meter of every pin channel and
// the topology record.
//
// Pin lists (selector): 0 outputs: 16 analog outputs (kind 0), 2 SPDIF
// outputs (kind 1), 4 virtual inputs (kind 5); 1 hardware-inputs mixer: 16
// analog inputs (kind 0), 2 SPDIF inputs (kind 1); 2 software-outputs mixer:
// 16 playback outputs (kind 2), 2 SPDIF playback outputs (kind 3). A pin is
// known by kind and channel; an entry naming an unknown pin makes the whole
// request fail with DRAVIK_STATUS_INVALID_PARAMETER and change nothing.
// Gains start at 0 dB, unmuted; crosspoints start disconnected at 0 dB;
// levels start at kSimSilentLevel.
//
// Lifetime: owned by its SimDevice. Threading: guarded by the driver's lock.
//
//   DravikGainEntry e{{0, 3, 0}, 0, 1, -600};   // analog out 4: -6 dB, muted
//   mixer.setGains(&e, 1);
#pragma once

#include <cstddef>
#include <map>
#include <vector>

#include "driverapi/DravikMixerRecords.h"
#include "driverapi/DravikStatus.h"

constexpr int16_t kSimSilentLevel = -14400;

class SimMixer {
public:
  SimMixer(bool present, bool topologyType2);

  // The pin list of a selector (0..2); null for any other selector.
  const std::vector<DravikPinDescriptor>* pins(uint32_t selector) const;
  // Fill level, gain or crosspoint fields of the given entries in place.
  DravikStatus getLevels(bool outputs, DravikLevelEntry* entries, size_t n) const;
  DravikStatus getGains(DravikGainEntry* entries, size_t n) const;
  DravikStatus setGains(const DravikGainEntry* entries, size_t n);
  DravikStatus getCrosspoints(DravikCrosspointEntry* entries, size_t n) const;
  DravikStatus setCrosspoints(const DravikCrosspointEntry* entries, size_t n);

  // The meter of one pin channel (outputs: list 0; inputs: lists 1 and 2).
  bool setLevel(bool outputs, uint8_t pinKind, uint8_t channel, int16_t level);
  void setTopologyType2(bool type2) { topologyType2_ = type2; }
  void topology(DravikMixerTopology& out) const;

  std::vector<DravikGainEntry> gainSnapshot() const;
  std::vector<DravikCrosspointEntry> crosspointSnapshot() const;

private:
  struct Gain {
    uint8_t flags = 0;
    int16_t gain = 0;
  };
  struct Crosspoint {
    int16_t weight = 0;
    uint8_t flags = 0;
  };
  static uint16_t keyOf(const DravikPinDescriptor& p) { return static_cast<uint16_t>((p.pinKind << 8) | p.channel); }
  bool isOutputPin(const DravikPinDescriptor& p) const;
  bool isInputPin(const DravikPinDescriptor& p) const;

  bool present_;
  bool topologyType2_;
  std::vector<DravikPinDescriptor> lists_[3];
  std::map<uint16_t, Gain> gains_;
  std::map<uint32_t, Crosspoint> crosspoints_;  // output key << 16 | input key
  std::map<uint16_t, int16_t> inputLevels_;
  std::map<uint16_t, int16_t> outputLevels_;
};
