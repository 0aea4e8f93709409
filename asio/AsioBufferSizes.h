// The buffer sizes the driver allows a host to choose from: the powers of two
// from 16 to 65,536 frames, and the range it reports around the size the
// kernel driver is set to.
//
// Pure functions over a constant table; safe on any thread.
//
//   AsioBufferSizeRange r = asioBufferSizeRange(96);   // 64 .. 128
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint32_t kAsioAllowedBufferSizes[] = {16,   32,   64,    128,   256,   512,  1024,
                                                       2048, 4096, 8192, 16384, 32768, 65536};
inline constexpr size_t kAsioAllowedBufferSizeCount = sizeof(kAsioAllowedBufferSizes) / sizeof(uint32_t);
static_assert(kAsioAllowedBufferSizeCount == 13);

struct AsioBufferSizeRange {
  uint32_t minSize;
  uint32_t maxSize;
};

// v at most 16 or above 65,536: both v. Otherwise the largest allowed size
// not above v and the smallest not below it.
constexpr AsioBufferSizeRange asioBufferSizeRange(uint32_t v) {
  if (v <= kAsioAllowedBufferSizes[0] || v > kAsioAllowedBufferSizes[kAsioAllowedBufferSizeCount - 1]) return {v, v};
  AsioBufferSizeRange r{v, v};
  for (size_t i = 0; i < kAsioAllowedBufferSizeCount; ++i)
    if (kAsioAllowedBufferSizes[i] <= v) r.minSize = kAsioAllowedBufferSizes[i];
  for (size_t i = kAsioAllowedBufferSizeCount; i-- > 0;)
    if (kAsioAllowedBufferSizes[i] >= v) r.maxSize = kAsioAllowedBufferSizes[i];
  return r;
}

static_assert(asioBufferSizeRange(96).minSize == 64 && asioBufferSizeRange(96).maxSize == 128);
static_assert(asioBufferSizeRange(256).minSize == 256 && asioBufferSizeRange(256).maxSize == 256);
