// AsioLoopbackVerifier: the ramp the harness plays on its outputs and the
// check that it comes back on the inputs, delayed but unbroken.
//
// Output channel n carries at output frame k the 32-bit sample
//   ((k mod 2^24) << 8) | 0x80 | (n mod 128),
// so that every sample names its channel and its place in the stream, and
// silence (0) never looks like ramp. An input channel that has an output of
// the same number is expected to carry that output's ramp at a fixed delay:
// before the ramp first arrives it may be silent; the first ramp sample
// fixes the delay (input frame minus the frame the sample names); from then
// on every sample must be exactly the ramp at that delay. A half with a
// wrong sample counts one error and the channel looks for the delay again
// (silence is no longer accepted then), so one break counts once and a
// broken loopback keeps counting. An input without a partner output must
// stay silent.
//
// Lifetime: plain value; begin() starts a run (new delays). Threading: one
// thread at a time (the host's streaming thread); read the results after
// streaming stopped. Nothing allocates after construction.
//
//   AsioLoopbackVerifier v;
//   v.begin(18, 18, 256);
//   v.writeOutput(n, outHalf, frame);            // in each buffer switch
//   v.checkInput(n, inHalf, frame);
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t asioRampSample(uint32_t channel, uint64_t frame) {
  return (static_cast<uint32_t>(frame & 0xFFFFFFu) << 8) | 0x80u | (channel & 0x7Fu);
}

class AsioLoopbackVerifier {
public:
  static constexpr size_t kMaxChannels = 128;

  // A new run: inputs and outputs by number, frames per buffer half.
  void begin(uint32_t inputs, uint32_t outputs, uint32_t framesPerHalf);
  // Fills one output half with the ramp from output frame firstFrame on.
  void writeOutput(uint32_t channel, uint32_t* half, uint64_t firstFrame) const;
  // Checks one input half holding input frames from firstFrame on; false
  // when it counted an error.
  bool checkInput(uint32_t channel, const uint32_t* half, uint64_t firstFrame);

  uint64_t errors() const { return errors_; }
  // Channels whose delay was found (at least once in this run).
  uint32_t lockedChannels() const;
  // The delay found first in this run, in frames (0 before).
  uint64_t firstDelay() const { return firstDelay_; }
  // Channels whose delay differed from the first one found.
  uint32_t delayMismatches() const { return delayMismatches_; }

private:
  enum class Phase : uint8_t { Waiting, Locked, Lost };
  struct Channel {
    Phase phase = Phase::Waiting;
    bool everLocked = false;
    uint32_t delay = 0;  // mod 2^24
  };

  bool checkSilence(const uint32_t* half) const;

  Channel channels_[kMaxChannels];
  uint32_t inputs_ = 0;
  uint32_t outputs_ = 0;
  uint32_t frames_ = 0;
  uint64_t errors_ = 0;
  bool haveFirstDelay_ = false;
  uint64_t firstDelay_ = 0;
  uint32_t delayMismatches_ = 0;
};
