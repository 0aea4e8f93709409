#include "simdriver/SimMixer.h"

#include <cstring>

namespace {

void addPins(std::vector<DravikPinDescriptor>& list, uint8_t kind, uint8_t count) {
  for (uint8_t c = 0; c < count; ++c) list.push_back(DravikPinDescriptor{kind, c, 0});
}

bool contains(const std::vector<DravikPinDescriptor>& list, const DravikPinDescriptor& p) {
  for (const DravikPinDescriptor& q : list)
    if (q.pinKind == p.pinKind && q.channel == p.channel) return true;
  return false;
}

}  // namespace

SimMixer::SimMixer(bool present, bool topologyType2) : present_(present), topologyType2_(topologyType2) {
  if (!present_) return;
  addPins(lists_[DRAVIK_PINS_OUTPUTS], DRAVIK_PIN_ANALOG, 16);
  addPins(lists_[DRAVIK_PINS_OUTPUTS], DRAVIK_PIN_SPDIF, 2);
  addPins(lists_[DRAVIK_PINS_OUTPUTS], DRAVIK_PIN_VIRTUAL, 4);
  addPins(lists_[DRAVIK_PINS_HW_INPUTS], DRAVIK_PIN_ANALOG, 16);
  addPins(lists_[DRAVIK_PINS_HW_INPUTS], DRAVIK_PIN_SPDIF, 2);
  addPins(lists_[DRAVIK_PINS_SW_OUTPUTS], DRAVIK_PIN_OUTPUT, 16);
  addPins(lists_[DRAVIK_PINS_SW_OUTPUTS], DRAVIK_PIN_SPDIF_OUTPUT, 2);
  for (const DravikPinDescriptor& p : lists_[DRAVIK_PINS_OUTPUTS]) {
    gains_[keyOf(p)] = Gain{};
    outputLevels_[keyOf(p)] = kSimSilentLevel;
  }
  for (uint32_t s = 1; s <= 2; ++s)
    for (const DravikPinDescriptor& p : lists_[s]) inputLevels_[keyOf(p)] = kSimSilentLevel;
}

const std::vector<DravikPinDescriptor>* SimMixer::pins(uint32_t selector) const {
  return selector < 3 ? &lists_[selector] : nullptr;
}

bool SimMixer::isOutputPin(const DravikPinDescriptor& p) const { return contains(lists_[DRAVIK_PINS_OUTPUTS], p); }

bool SimMixer::isInputPin(const DravikPinDescriptor& p) const {
  return contains(lists_[DRAVIK_PINS_HW_INPUTS], p) || contains(lists_[DRAVIK_PINS_SW_OUTPUTS], p);
}

DravikStatus SimMixer::getLevels(bool outputs, DravikLevelEntry* entries, size_t n) const {
  const auto& levels = outputs ? outputLevels_ : inputLevels_;
  for (size_t i = 0; i < n; ++i)
    if (!levels.count(keyOf(entries[i].pin))) return DRAVIK_STATUS_INVALID_PARAMETER;
  for (size_t i = 0; i < n; ++i) {
    entries[i].level = levels.at(keyOf(entries[i].pin));
    entries[i].reserved = 0;
  }
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus SimMixer::getGains(DravikGainEntry* entries, size_t n) const {
  for (size_t i = 0; i < n; ++i)
    if (!gains_.count(keyOf(entries[i].pin))) return DRAVIK_STATUS_INVALID_PARAMETER;
  for (size_t i = 0; i < n; ++i) {
    const Gain& g = gains_.at(keyOf(entries[i].pin));
    entries[i].reserved = 0;
    entries[i].flags = g.flags;
    entries[i].gain = g.gain;
  }
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus SimMixer::setGains(const DravikGainEntry* entries, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (!gains_.count(keyOf(entries[i].pin))) return DRAVIK_STATUS_INVALID_PARAMETER;
  for (size_t i = 0; i < n; ++i) {
    Gain& g = gains_[keyOf(entries[i].pin)];
    g.flags = entries[i].flags & 1;
    g.gain = entries[i].gain;
  }
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus SimMixer::getCrosspoints(DravikCrosspointEntry* entries, size_t n) const {
  for (size_t i = 0; i < n; ++i)
    if (!isOutputPin(entries[i].output) || !isInputPin(entries[i].input)) return DRAVIK_STATUS_INVALID_PARAMETER;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t key = (uint32_t{keyOf(entries[i].output)} << 16) | keyOf(entries[i].input);
    auto it = crosspoints_.find(key);
    const Crosspoint c = it == crosspoints_.end() ? Crosspoint{} : it->second;
    entries[i].weight = c.weight;
    entries[i].flags = c.flags;
    entries[i].reserved = 0;
  }
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus SimMixer::setCrosspoints(const DravikCrosspointEntry* entries, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (!isOutputPin(entries[i].output) || !isInputPin(entries[i].input)) return DRAVIK_STATUS_INVALID_PARAMETER;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t key = (uint32_t{keyOf(entries[i].output)} << 16) | keyOf(entries[i].input);
    crosspoints_[key] = Crosspoint{entries[i].weight, static_cast<uint8_t>(entries[i].flags & 1)};
  }
  return DRAVIK_STATUS_SUCCESS;
}

bool SimMixer::setLevel(bool outputs, uint8_t pinKind, uint8_t channel, int16_t level) {
  auto& levels = outputs ? outputLevels_ : inputLevels_;
  auto it = levels.find(keyOf(DravikPinDescriptor{pinKind, channel, 0}));
  if (it == levels.end()) return false;
  it->second = level;
  return true;
}

void SimMixer::topology(DravikMixerTopology& out) const {
  std::memset(&out, 0, sizeof out);
  if (!present_) return;
  // Entry 0: the analog section, entry 1: the SPDIF section. Type 1 marks an
  // analog channel, 3 a SPDIF channel; type 2 a channel the driver names itself.
  out.count = 2;
  for (uint32_t i = 0; i < 16; ++i) {
    out.entries[0].first[i].type = topologyType2_ ? 2 : 1;
    out.entries[0].second[i].type = 1;
  }
  for (uint32_t i = 0; i < 2; ++i) {
    out.entries[1].first[i].type = 3;
    out.entries[1].second[i].type = 3;
  }
}

std::vector<DravikGainEntry> SimMixer::gainSnapshot() const {
  std::vector<DravikGainEntry> out;
  for (const DravikPinDescriptor& p : lists_[DRAVIK_PINS_OUTPUTS]) {
    const Gain& g = gains_.at(keyOf(p));
    out.push_back(DravikGainEntry{p, 0, g.flags, g.gain});
  }
  return out;
}

std::vector<DravikCrosspointEntry> SimMixer::crosspointSnapshot() const {
  std::vector<DravikCrosspointEntry> out;
  for (const auto& [key, c] : crosspoints_) {
    if (c.flags == 0 && c.weight == 0) continue;
    DravikCrosspointEntry e{};
    e.output.pinKind = static_cast<uint8_t>(key >> 24);
    e.output.channel = static_cast<uint8_t>(key >> 16);
    e.input.pinKind = static_cast<uint8_t>(key >> 8);
    e.input.channel = static_cast<uint8_t>(key);
    e.weight = c.weight;
    e.flags = c.flags;
    out.push_back(e);
  }
  return out;
}
