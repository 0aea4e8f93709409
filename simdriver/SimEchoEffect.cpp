#include "simdriver/SimEchoEffect.h"

namespace {

bool entriesValid(const DravikEffectParameters& block) {
  return block.countOrValue >= 1 && block.countOrValue <= DRAVIK_EFFECT_MAX_ENTRIES;
}

}  // namespace

DravikStatus SimEchoEffect::get(DravikEffectParameters& block) const {
  if (!present_) return DRAVIK_STATUS_NOT_SUPPORTED;
  switch (block.parameterId) {
    case DRAVIK_EFFECT_CHANNEL_COUNT:
      block.countOrValue = kChannels;
      return DRAVIK_STATUS_SUCCESS;
    case DRAVIK_EFFECT_MAX_DELAY:
      block.countOrValue = kMaxDelayMs;
      return DRAVIK_STATUS_SUCCESS;
    case DRAVIK_EFFECT_DELAY:
    case DRAVIK_EFFECT_LEVEL: {
      if (!entriesValid(block)) return DRAVIK_STATUS_INVALID_PARAMETER;
      for (uint32_t i = 0; i < block.countOrValue; ++i)
        if (block.entries[i].channel >= kChannels) return DRAVIK_STATUS_INVALID_PARAMETER;
      const std::vector<uint32_t>& values = block.parameterId == DRAVIK_EFFECT_DELAY ? delay_ : level_;
      for (uint32_t i = 0; i < block.countOrValue; ++i) block.entries[i].value = values[block.entries[i].channel];
      return DRAVIK_STATUS_SUCCESS;
    }
    default:
      return DRAVIK_STATUS_INVALID_PARAMETER;
  }
}

DravikStatus SimEchoEffect::set(const DravikEffectParameters& block) {
  if (!present_) return DRAVIK_STATUS_NOT_SUPPORTED;
  switch (block.parameterId) {
    case DRAVIK_EFFECT_CHANNEL_COUNT:
    case DRAVIK_EFFECT_MAX_DELAY:
      return DRAVIK_STATUS_NOT_ALLOWED;
    case DRAVIK_EFFECT_DELAY:
    case DRAVIK_EFFECT_LEVEL: {
      if (!entriesValid(block)) return DRAVIK_STATUS_INVALID_PARAMETER;
      const uint32_t limit = block.parameterId == DRAVIK_EFFECT_DELAY ? kMaxDelayMs : kMaxLevel;
      for (uint32_t i = 0; i < block.countOrValue; ++i)
        if (block.entries[i].channel >= kChannels || block.entries[i].value > limit)
          return DRAVIK_STATUS_INVALID_PARAMETER;
      std::vector<uint32_t>& values = block.parameterId == DRAVIK_EFFECT_DELAY ? delay_ : level_;
      for (uint32_t i = 0; i < block.countOrValue; ++i) values[block.entries[i].channel] = block.entries[i].value;
      return DRAVIK_STATUS_SUCCESS;
    }
    default:
      return DRAVIK_STATUS_INVALID_PARAMETER;
  }
}
