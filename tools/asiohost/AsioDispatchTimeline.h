// AsioDispatchTimeline: when each buffer switch reached the host, and how
// late that was.
//
// For every host call the streaming thread records the monotonic time of
// its entry and, where the simulated driver publishes them, the time of the
// switch signal it answers. The analysis after streaming gives the dispatch
// latency (entry minus signal) of every switch that answered a signal. The
// two priming calls of each run answer no signal and are left out.
//
// Where no signal times exist (the driver in another process), the latency
// is estimated from the host's own calls instead: each call's lateness is
// how much more than one buffer period passed since the call before (0 when
// less). A switch the driver's clock signals late thus counts once, with its
// lateness, and the early one after it counts 0. That measures the whole
// chain from the driver's clock to the host, not the dispatch alone.
//
// A switch is late when its latency exceeds one buffer period: the next
// signal was due before the host even started.
//
// Lifetime: plain value; reserve() before streaming, nothing allocates while
// recording. Threading: record() on the streaming thread, beginRun() and
// analyse() on the host's thread while no switch runs.
//
//   AsioDispatchTimeline t;
//   t.reserve(100000);
//   t.beginRun(periodNanos);
//   t.record(entry, signal);               // in each buffer switch
//   AsioDispatchTimeline::Result r = t.analyse();
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/asiohost/AsioLatencySamples.h"

class AsioDispatchTimeline {
public:
  static constexpr uint32_t kPrimingCalls = 2;

  // Forgets everything and makes room for this many switches.
  void reserve(size_t switches);
  // A new run (start): its first two calls are the priming ones.
  void beginRun(uint64_t periodNanos);
  // signalNanos 0: not known.
  void record(uint64_t entryNanos, uint64_t signalNanos) {
    if (size_ < records_.size())
      records_[size_++] = Record{entryNanos, signalNanos, run_};
    else
      ++dropped_;
  }

  struct Result {
    AsioLatencySamples latency;
    bool fromSignals = false;  // else estimated from the schedule
    uint64_t late = 0;
    uint64_t measured = 0;     // switches with a latency
  };
  Result analyse() const;
  size_t size() const { return size_; }
  uint64_t dropped() const { return dropped_; }

private:
  struct Record {
    uint64_t entry;
    uint64_t signal;
    uint32_t run;
  };

  std::vector<Record> records_;
  std::vector<uint64_t> periods_;  // by run
  size_t size_ = 0;
  uint64_t dropped_ = 0;
  uint32_t run_ = 0;
};
