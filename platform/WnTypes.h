// Basic types and operating-system codes shared by the platform layer and
// everything above it. The numeric values are those of Win32; the POSIX
// backend produces the same values so callers compare with one set of codes.
#pragma once

#include <cstddef>
#include <cstdint>

// An operating-system handle: HANDLE on Win32, an emulated kernel object on
// POSIX. Null means "no handle".
using WnRawHandle = void*;
// A window (HWND on Win32) or, on POSIX, a WnMessageTarget* (WnMessageTarget.h).
using WnWindow = void*;
// A module instance (HINSTANCE on Win32; an opaque non-null token on POSIX).
using WnInstance = void*;
// A registry key handle (HKEY on Win32; an emulated key on POSIX).
using WnRegKey = void*;
// A service status handle (SERVICE_STATUS_HANDLE on Win32).
using WnServiceStatusHandle = void*;

// Operating-system error codes (Win32 values). 0 means success.
enum : uint32_t {
  WN_ERROR_SUCCESS = 0,
  WN_ERROR_FILE_NOT_FOUND = 2,
  WN_ERROR_PATH_NOT_FOUND = 3,
  WN_ERROR_ACCESS_DENIED = 5,
  WN_ERROR_INVALID_HANDLE = 6,
  WN_ERROR_NOT_ENOUGH_MEMORY = 8,
  WN_ERROR_BAD_FORMAT = 11,
  WN_ERROR_INVALID_DATA = 13,
  WN_ERROR_NOT_SUPPORTED = 50,
  WN_ERROR_INVALID_PARAMETER = 87,
  WN_ERROR_CALL_NOT_IMPLEMENTED = 120,
  WN_ERROR_INSUFFICIENT_BUFFER = 122,
  WN_ERROR_ALREADY_EXISTS = 183,
  WN_ERROR_MORE_DATA = 234,
  WN_ERROR_NO_MORE_ITEMS = 259,
  WN_ERROR_IO_PENDING = 997,
  WN_ERROR_SERVICE_NOT_ACTIVE = 1062,
  WN_ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063,
  WN_ERROR_SERVICE_EXISTS = 1073,
  WN_ERROR_ALREADY_INITIALIZED = 1247,
  WN_ERROR_TIMEOUT = 1460,
};

// Results of the wait operations (WnWait.h).
constexpr uint32_t WN_INFINITE = 0xFFFFFFFFu;
constexpr uint32_t WN_WAIT_OBJECT_0 = 0;
constexpr uint32_t WN_WAIT_ABANDONED_0 = 0x80;
constexpr uint32_t WN_WAIT_IO_COMPLETION = 0xC0;
constexpr uint32_t WN_WAIT_TIMEOUT = 258;
constexpr uint32_t WN_WAIT_FAILED = 0xFFFFFFFFu;
constexpr uint32_t WN_MAXIMUM_WAIT_OBJECTS = 64;
// The exit code of a thread that has not ended (STILL_ACTIVE).
constexpr uint32_t WN_STILL_ACTIVE = 259;

// A GUID with the Win32 layout.
struct WnGuid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
static_assert(sizeof(WnGuid) == 16);

inline bool operator==(const WnGuid& a, const WnGuid& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.data4[i] != b.data4[i]) return false;
  return true;
}
