#include "tools/asiohost/AsioDispatchTimeline.h"

void AsioDispatchTimeline::reserve(size_t switches) {
  records_.assign(switches, Record{0, 0, 0});
  periods_.clear();
  periods_.reserve(64);
  size_ = 0;
  dropped_ = 0;
  run_ = 0;
}

void AsioDispatchTimeline::beginRun(uint64_t periodNanos) {
  periods_.push_back(periodNanos);
  run_ = static_cast<uint32_t>(periods_.size() - 1);
}

AsioDispatchTimeline::Result AsioDispatchTimeline::analyse() const {
  Result out;
  out.latency.reserve(size_);
  bool anySignal = false;
  for (size_t i = 0; i < size_; ++i)
    if (records_[i].signal != 0) anySignal = true;
  out.fromSignals = anySignal;

  size_t i = 0;
  while (i < size_) {
    // One run: its priming calls answer no signal and are left out.
    const uint32_t run = records_[i].run;
    const uint64_t period = run < periods_.size() ? periods_[run] : 0;
    size_t end = i;
    while (end < size_ && records_[end].run == run) ++end;
    const size_t first = i + kPrimingCalls < end ? i + kPrimingCalls : end;
    for (size_t k = first; k < end; ++k) {
      const Record& r = records_[k];
      uint64_t latency = 0;
      if (anySignal) {
        if (r.signal == 0 || r.entry < r.signal) continue;
        latency = r.entry - r.signal;
      } else {
        // Lateness against one period after the switch before.
        if (k == first || period == 0) continue;
        const uint64_t previous = records_[k - 1].entry;
        const uint64_t interval = r.entry > previous ? r.entry - previous : 0;
        latency = interval > period ? interval - period : 0;
      }
      out.latency.add(latency);
      ++out.measured;
      if (period && latency > period) ++out.late;
    }
    i = end;
  }
  return out;
}
