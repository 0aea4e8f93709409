#include "tools/asiohost/AsioDispatchTimeline.h"

#include <deque>

namespace {

constexpr uint64_t kWindowNanos = 500000000;  // each side: one second in all
constexpr size_t kMinStretch = 16;

}  // namespace

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

void AsioDispatchTimeline::estimateStretch(size_t first, size_t end, uint64_t periodNanos, Result& out) const {
  const size_t n = end - first;
  if (n < kMinStretch) return;
  auto at = [&](size_t i) { return static_cast<double>(records_[first + i].entry - records_[first].entry); };
  // The grid's period: first from the stretch's ends, then again through
  // the earliest switch of its first and of its last third, which came on
  // time rather than late.
  double step = at(n - 1) / static_cast<double>(n - 1);
  std::vector<double> offset(n);
  for (size_t i = 0; i < n; ++i) offset[i] = at(i) - step * static_cast<double>(i);
  size_t early = 0, lateEnd = n - 1;
  for (size_t i = 0; i < n / 3; ++i)
    if (offset[i] < offset[early]) early = i;
  for (size_t i = n - n / 3; i < n; ++i)
    if (offset[i] < offset[lateEnd]) lateEnd = i;
  if (lateEnd > early) step = (at(lateEnd) - at(early)) / static_cast<double>(lateEnd - early);
  for (size_t i = 0; i < n; ++i) offset[i] = at(i) - step * static_cast<double>(i);
  size_t half = static_cast<size_t>(static_cast<double>(kWindowNanos) / step);
  if (half < 8) half = 8;
  // Sliding minimum over [i - half, i + half].
  std::deque<size_t> window;
  size_t next = 0;
  for (size_t i = 0; i < n; ++i) {
    const size_t hi = i + half < n - 1 ? i + half : n - 1;
    for (; next <= hi; ++next) {
      while (!window.empty() && offset[window.back()] >= offset[next]) window.pop_back();
      window.push_back(next);
    }
    while (window.front() + half < i) window.pop_front();
    const double lateness = offset[i] - offset[window.front()];
    const uint64_t nanos = lateness > 0 ? static_cast<uint64_t>(lateness) : 0;
    out.latency.add(nanos);
    ++out.measured;
    if (nanos > periodNanos) ++out.late;
  }
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
    // One run: skip its priming calls.
    const uint32_t run = records_[i].run;
    const uint64_t period = run < periods_.size() ? periods_[run] : 0;
    size_t end = i;
    while (end < size_ && records_[end].run == run) ++end;
    const size_t first = i + kPrimingCalls < end ? i + kPrimingCalls : end;
    if (anySignal) {
      for (size_t k = first; k < end; ++k) {
        const Record& r = records_[k];
        if (r.signal == 0 || r.entry < r.signal) continue;
        const uint64_t latency = r.entry - r.signal;
        out.latency.add(latency);
        ++out.measured;
        if (period && latency > period) ++out.late;
      }
    } else {
      // Stretches without a pause of more than three periods.
      size_t s = first;
      for (size_t k = first + 1; k <= end; ++k) {
        if (k == end || (period && records_[k].entry > records_[k - 1].entry + 3 * period)) {
          estimateStretch(s, k, period ? period : UINT64_MAX, out);
          s = k;
        }
      }
    }
    i = end;
  }
  return out;
}
