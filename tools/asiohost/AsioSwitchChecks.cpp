#include "tools/asiohost/AsioSwitchChecks.h"

namespace {

constexpr AsioULong kValidFlags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid | kSpeedValid;
constexpr uint64_t kFrozenAfterSwitches = 100;

}  // namespace

void AsioSwitchChecks::begin(uint32_t framesPerSwitch) {
  end();
  frames_ = framesPerSwitch;
  runSwitches_ = 0;
}

void AsioSwitchChecks::end() {
  if (runSwitches_ > kFrozenAfterSwitches && lastStamp_ == firstStamp_) ++frozenRuns_;
  runSwitches_ = 0;
}

void AsioSwitchChecks::onSwitch(AsioLong index, uint64_t samplePosition, uint64_t timeStamp) {
  if (runSwitches_ == 0) {
    if (index != 0) ++alternationErrors_;
    if (samplePosition != 0) ++positionErrors_;
    firstStamp_ = timeStamp;
  } else {
    if (index != (lastIndex_ ^ 1)) ++alternationErrors_;
    if (samplePosition != lastPosition_ + frames_) ++positionErrors_;
    if (timeStamp < lastStamp_) ++timeStampErrors_;
  }
  lastIndex_ = index & 1;
  lastPosition_ = samplePosition;
  lastStamp_ = timeStamp;
  ++runSwitches_;
  ++switches_;
}

void AsioSwitchChecks::onTimeInfo(const AsioTimeInfo& info) {
  if ((info.flags & kValidFlags) != kValidFlags || info.speed != 1.0 || !(info.sampleRate > 0.0)) ++timeInfoErrors_;
}
