// AsioSignalSource: where a simulated driver publishes when it signalled
// each buffer switch, so that a host in the same process can measure how
// long the switch took to reach it. The switch signals are numbered 0, 1,
// 2 ... over the source's life; the newest kHistory times are kept.
//
// Lifetime: outlives the host that reads it. Threading: the driver writes
// from its clock thread; readers on any thread see a signal's time once
// signalCount() counts it.
//
//   uint64_t n = source.signalCount();
//   if (n > served) latency = entry - source.signalTime(served);
#pragma once

#include <cstdint>

class AsioSignalSource {
public:
  static constexpr uint64_t kHistory = 4096;

  virtual ~AsioSignalSource() = default;
  // Switch signals so far.
  virtual uint64_t signalCount() const = 0;
  // Monotonic time (wnMonotonicNanos) of signal n; 0 when n is not (or no
  // longer) kept.
  virtual uint64_t signalTime(uint64_t n) const = 0;
};
