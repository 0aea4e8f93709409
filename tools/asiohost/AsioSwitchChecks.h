// AsioSwitchChecks: what a host relies on in the sequence of buffer
// switches of one run (from start to stop): the half index starts at 0 and
// alternates, the sample position starts at 0 and advances by the buffer
// size at every switch, the time stamps never go back, and (with time info)
// the record says that system time, sample position, rate and speed are
// valid, with speed 1. Each broken expectation counts once and the check
// goes on from what was seen, so one jump is one error.
//
// Lifetime: plain value; begin() starts a run, totals add up over runs.
// Threading: one thread at a time (the streaming thread); read after it
// stopped.
//
//   AsioSwitchChecks checks;
//   checks.begin(256);
//   checks.onSwitch(index, position, stamp);   // in each buffer switch
#pragma once

#include <cstdint>

#include "asio/AsioRecords.h"

class AsioSwitchChecks {
public:
  void begin(uint32_t framesPerSwitch);
  void onSwitch(AsioLong index, uint64_t samplePosition, uint64_t timeStamp);
  // The time info handed to bufferSwitchTimeInfo.
  void onTimeInfo(const AsioTimeInfo& info);

  uint64_t switches() const { return switches_; }
  uint64_t alternationErrors() const { return alternationErrors_; }
  uint64_t positionErrors() const { return positionErrors_; }
  uint64_t timeStampErrors() const { return timeStampErrors_; }
  uint64_t timeInfoErrors() const { return timeInfoErrors_; }
  // Runs of more than 100 switches whose time stamps never moved.
  uint64_t frozenClockRuns() const { return frozenRuns_; }
  // Closes the current run (its frozen-clock check); call after the last switch.
  void end();

private:
  uint32_t frames_ = 0;
  uint64_t runSwitches_ = 0;
  AsioLong lastIndex_ = 0;
  uint64_t lastPosition_ = 0;
  uint64_t firstStamp_ = 0;
  uint64_t lastStamp_ = 0;

  uint64_t switches_ = 0;
  uint64_t alternationErrors_ = 0;
  uint64_t positionErrors_ = 0;
  uint64_t timeStampErrors_ = 0;
  uint64_t timeInfoErrors_ = 0;
  uint64_t frozenRuns_ = 0;
};
