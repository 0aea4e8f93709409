#include "tools/asiohost/AsioLatencySamples.h"

#include <algorithm>
#include <cstdio>

void AsioLatencySamples::reserve(size_t capacity) {
  values_.assign(capacity, 0);
  size_ = 0;
  dropped_ = 0;
}

AsioLatencySummary AsioLatencySamples::summary() const {
  AsioLatencySummary s;
  s.count = size_;
  if (size_ == 0) return s;
  std::vector<uint64_t> sorted(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(size_));
  std::sort(sorted.begin(), sorted.end());
  // Nearest rank: the smallest value with at least p of the samples at or below it.
  // p is in thousandths.
  auto rank = [&](uint64_t p) {
    const uint64_t n = sorted.size();
    uint64_t k = (p * n + 999) / 1000;
    if (k == 0) k = 1;
    return sorted[static_cast<size_t>(std::min<uint64_t>(k, n) - 1)];
  };
  s.p50 = rank(500);
  s.p99 = rank(990);
  s.p999 = rank(999);
  s.max = sorted.back();
  long double sum = 0;
  for (uint64_t v : sorted) sum += static_cast<long double>(v);
  s.mean = static_cast<uint64_t>(sum / static_cast<long double>(sorted.size()));
  return s;
}

std::string asioMicros(uint64_t nanos) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%llu", static_cast<unsigned long long>(nanos / 1000),
                static_cast<unsigned long long>((nanos % 1000) / 100));
  return text;
}
