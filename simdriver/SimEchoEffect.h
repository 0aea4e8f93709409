// SimEchoEffect: the echo effect of one simulated device: 8 effect channels
// on the mixer's outputs, a maximum delay of 1000 ms, a delay (ms) and a
// level (thousandths, 0..1000) per channel, all starting at 0.
//
// Parameter block (520 bytes): id 0 channel count and id 1 maximum delay are
// read-only values returned at offset 4; ids 2 (delay) and 3 (level) carry
// 1 to 64 (channel, value) entries. Reading fills each entry's value;
// writing checks every entry first (channel below the count, delay not above
// the maximum, level not above 1000) and changes nothing when one is wrong
// (DRAVIK_STATUS_INVALID_PARAMETER). Writing id 0 or 1 answers
// DRAVIK_STATUS_NOT_ALLOWED. A device without the effect answers
// DRAVIK_STATUS_NOT_SUPPORTED to both requests.
//
// Lifetime: owned by its SimDevice. Threading: guarded by the driver's lock.
//
//   DravikEffectParameters p{};  p.parameterId = 2; p.countOrValue = 2;
//   p.entries[0] = {4, 250}; p.entries[1] = {5, 250};
//   echo.set(p);
#pragma once

#include <vector>

#include "driverapi/DravikMixerRecords.h"
#include "driverapi/DravikStatus.h"

class SimEchoEffect {
public:
  static constexpr uint32_t kChannels = 8;
  static constexpr uint32_t kMaxDelayMs = 1000;
  static constexpr uint32_t kMaxLevel = 1000;

  explicit SimEchoEffect(bool present) : present_(present), delay_(kChannels, 0), level_(kChannels, 0) {}

  bool present() const { return present_; }
  // Fills the block in place.
  DravikStatus get(DravikEffectParameters& block) const;
  DravikStatus set(const DravikEffectParameters& block);
  const std::vector<uint32_t>& delays() const { return delay_; }
  const std::vector<uint32_t>& levels() const { return level_; }

private:
  bool present_;
  std::vector<uint32_t> delay_;
  std::vector<uint32_t> level_;
};
