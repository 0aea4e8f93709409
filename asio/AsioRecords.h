// The records exchanged between an ASIO host and the driver: buffer and
// channel descriptions, clock sources, the host's callbacks, the 64-bit
// sample positions and time stamps split into two 32-bit halves, the time
// info handed to bufferSwitchTimeInfo and the I/O format of future.
//
// These records use the host's natural packing. The static_asserts pin what
// the 32-bit build produces (doubles 8-aligned inside records there, as on
// the hosts' compilers); on the native 64-bit build only the layouts without
// pointers are pinned, the rest follows the same rules with 8-byte pointers.
//
// Plain values; a record belongs to whoever passes it. No threading concerns
// of their own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asio/AsioTypes.h"
#include "platform/WnCom.h"

// A 64-bit count of samples or nanoseconds as two 32-bit halves.
struct ASIOSamples {
  AsioULong hi;
  AsioULong lo;
};
struct ASIOTimeStamp {
  AsioULong hi;
  AsioULong lo;
};
static_assert(sizeof(ASIOSamples) == 8 && sizeof(ASIOTimeStamp) == 8);
static_assert(offsetof(ASIOSamples, lo) == 4 && offsetof(ASIOTimeStamp, lo) == 4);

inline void asioSplit(uint64_t value, ASIOSamples& out) {
  out.hi = static_cast<AsioULong>(value >> 32);
  out.lo = static_cast<AsioULong>(value);
}
inline void asioSplit(uint64_t value, ASIOTimeStamp& out) {
  out.hi = static_cast<AsioULong>(value >> 32);
  out.lo = static_cast<AsioULong>(value);
}
template <class HiLo>
inline uint64_t asioJoin(const HiLo& v) {
  return (uint64_t{v.hi} << 32) | v.lo;
}

// One channel the host wants a buffer for; createBuffers fills buffers.
struct ASIOBufferInfo {
  ASIOBool isInput;
  AsioLong channelNum;
  void* buffers[2];
};

// getChannelInfo: the host sets channel and isInput, the driver the rest.
struct ASIOChannelInfo {
  AsioLong channel;
  ASIOBool isInput;
  ASIOBool isActive;
  AsioLong channelGroup;
  ASIOSampleType type;
  char name[32];
};
static_assert(sizeof(ASIOChannelInfo) == 52);
static_assert(offsetof(ASIOChannelInfo, type) == 16 && offsetof(ASIOChannelInfo, name) == 20);

struct ASIOClockSource {
  AsioLong index;
  AsioLong associatedChannel;
  AsioLong associatedGroup;
  ASIOBool isCurrentSource;
  char name[32];
};
static_assert(sizeof(ASIOClockSource) == 48);
static_assert(offsetof(ASIOClockSource, isCurrentSource) == 12 && offsetof(ASIOClockSource, name) == 16);

struct ASIOTimeCode {
  double speed;
  ASIOSamples timeCodeSamples;
  AsioULong flags;
  char future[64];
};
static_assert(offsetof(ASIOTimeCode, timeCodeSamples) == 8);
static_assert(offsetof(ASIOTimeCode, flags) == 16 && offsetof(ASIOTimeCode, future) == 20);
static_assert(sizeof(ASIOTimeCode) == 88);  // padded to the double's alignment

struct AsioTimeInfo {
  double speed;
  ASIOTimeStamp systemTime;
  ASIOSamples samplePosition;
  ASIOSampleRate sampleRate;
  AsioULong flags;
  char reserved[12];
};
static_assert(offsetof(AsioTimeInfo, systemTime) == 8 && offsetof(AsioTimeInfo, samplePosition) == 16);
static_assert(offsetof(AsioTimeInfo, sampleRate) == 24 && offsetof(AsioTimeInfo, flags) == 32);
static_assert(offsetof(AsioTimeInfo, reserved) == 36 && sizeof(AsioTimeInfo) == 48);

struct ASIOTime {
  AsioLong reserved[4];
  AsioTimeInfo timeInfo;
  ASIOTimeCode timeCode;
};
static_assert(offsetof(ASIOTime, timeInfo) == 16 && offsetof(ASIOTime, timeCode) == 64);
static_assert(sizeof(ASIOTime) == 152);

// The host's callbacks, plain C functions.
struct ASIOCallbacks {
  void(WN_CDECL* bufferSwitch)(AsioLong doubleBufferIndex, ASIOBool directProcess);
  void(WN_CDECL* sampleRateDidChange)(ASIOSampleRate sRate);
  AsioLong(WN_CDECL* asioMessage)(AsioLong selector, AsioLong value, void* message, double* opt);
  ASIOTime*(WN_CDECL* bufferSwitchTimeInfo)(ASIOTime* params, AsioLong doubleBufferIndex, ASIOBool directProcess);
};

// future(kAsioSetIoFormat / kAsioGetIoFormat / kAsioCanDoIoFormat, &format).
struct ASIOIoFormat {
  ASIOIoFormatType FormatType;
  char future[512 - sizeof(ASIOIoFormatType)];
};
static_assert(sizeof(ASIOIoFormat) == 512);

// Records with pointers: pinned for the 32-bit build the hosts load.
static_assert(sizeof(void*) != 4 || sizeof(ASIOBufferInfo) == 16);
static_assert(sizeof(void*) != 4 || offsetof(ASIOBufferInfo, buffers) == 8);
static_assert(sizeof(void*) != 4 || sizeof(ASIOCallbacks) == 16);
static_assert(sizeof(void*) != 4 || offsetof(ASIOCallbacks, asioMessage) == 8);
static_assert(sizeof(void*) != 4 || offsetof(ASIOCallbacks, bufferSwitchTimeInfo) == 12);
