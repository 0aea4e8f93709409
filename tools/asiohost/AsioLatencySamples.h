// AsioLatencySamples: a store of measured durations (nanoseconds) with room
// reserved up front, so that adding a sample on a time-critical thread never
// allocates, and the summary the harness and the benchmarks print: count,
// p50, p99, p99.9, max and mean. Samples beyond the reserved room are
// counted as dropped, not stored.
//
// Lifetime: plain value. Threading: one writer at a time; summarise after
// the writer stopped.
//
//   AsioLatencySamples samples(100000);
//   samples.add(entry - signal);          // streaming thread
//   AsioLatencySummary s = samples.summary();
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AsioLatencySummary {
  size_t count = 0;
  uint64_t p50 = 0;
  uint64_t p99 = 0;
  uint64_t p999 = 0;
  uint64_t max = 0;
  uint64_t mean = 0;
};

class AsioLatencySamples {
public:
  explicit AsioLatencySamples(size_t capacity = 0) { reserve(capacity); }
  // Forgets all samples and makes room for capacity of them.
  void reserve(size_t capacity);
  void add(uint64_t nanos) {
    if (size_ < values_.size())
      values_[size_++] = nanos;
    else
      ++dropped_;
  }
  size_t size() const { return size_; }
  uint64_t dropped() const { return dropped_; }
  uint64_t at(size_t i) const { return values_[i]; }
  // Nearest-rank percentiles over the stored samples (all zero when empty).
  AsioLatencySummary summary() const;

private:
  std::vector<uint64_t> values_;
  size_t size_ = 0;
  uint64_t dropped_ = 0;
};

// Nanoseconds as microseconds with one decimal ("12.3").
std::string asioMicros(uint64_t nanos);
