#include "tools/asiohost/AsioLoopbackVerifier.h"

namespace {

constexpr uint32_t kFrameMask = 0xFFFFFFu;

uint32_t tagOf(uint32_t channel) { return 0x80u | (channel & 0x7Fu); }

}  // namespace

void AsioLoopbackVerifier::begin(uint32_t inputs, uint32_t outputs, uint32_t framesPerHalf) {
  inputs_ = inputs < kMaxChannels ? inputs : static_cast<uint32_t>(kMaxChannels);
  outputs_ = outputs;
  frames_ = framesPerHalf;
  for (Channel& c : channels_) c = Channel();
  errors_ = 0;
  haveFirstDelay_ = false;
  firstDelay_ = 0;
  delayMismatches_ = 0;
}

void AsioLoopbackVerifier::writeOutput(uint32_t channel, uint32_t* half, uint64_t firstFrame) const {
  for (uint32_t i = 0; i < frames_; ++i) half[i] = asioRampSample(channel, firstFrame + i);
}

bool AsioLoopbackVerifier::checkSilence(const uint32_t* half) const {
  for (uint32_t i = 0; i < frames_; ++i)
    if (half[i] != 0) return false;
  return true;
}

bool AsioLoopbackVerifier::checkInput(uint32_t channel, const uint32_t* half, uint64_t firstFrame) {
  if (channel >= inputs_) return true;
  if (channel >= outputs_) {
    if (checkSilence(half)) return true;
    ++errors_;
    return false;
  }
  Channel& c = channels_[channel];
  const uint32_t tag = tagOf(channel);
  for (uint32_t i = 0; i < frames_; ++i) {
    const uint32_t v = half[i];
    const uint64_t frame = firstFrame + i;
    if (c.phase == Phase::Locked) {
      if (v == asioRampSample(channel, frame - c.delay)) continue;
      c.phase = Phase::Lost;
      ++errors_;
      return false;
    }
    // Waiting for the ramp (silence is fine) or looking for it again after a
    // break (silence is not).
    if (c.phase == Phase::Waiting && v == 0) continue;
    if ((v & 0xFFu) != tag) {
      c.phase = Phase::Lost;
      ++errors_;
      return false;
    }
    c.delay = static_cast<uint32_t>((frame - (v >> 8)) & kFrameMask);
    c.phase = Phase::Locked;
    if (!c.everLocked) {
      c.everLocked = true;
      if (!haveFirstDelay_) {
        haveFirstDelay_ = true;
        firstDelay_ = c.delay;
      } else if (c.delay != firstDelay_) {
        ++delayMismatches_;
      }
    }
  }
  return true;
}

uint32_t AsioLoopbackVerifier::lockedChannels() const {
  uint32_t n = 0;
  const uint32_t paired = inputs_ < outputs_ ? inputs_ : outputs_;
  for (uint32_t i = 0; i < paired; ++i)
    if (channels_[i].everLocked) ++n;
  return n;
}
