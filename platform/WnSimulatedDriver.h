// The opt-in to a simulated kernel driver served by another process, and
// the record through which that process announces device-interface arrival
// and removal.
//
// The opt-in is the REG_SZ value "SimulatedDriver" of
// HKEY_LOCAL_MACHINE\Software\HALVENOR\tovix8 (the 32-bit view on 64-bit
// Windows, as every program of the package is 32-bit): the path (or bare
// name) of the pipe the simulator serves. Only administrators can write
// below HKEY_LOCAL_MACHINE, so a program that runs as LocalSystem (the
// service) talks to a pipe only because an administrator said so; without
// the value every program opens only the real device.
//
// With the opt-in set, device-interface notifications that a program
// registers on Win32 (WnDeviceNotificationList, for a window or a service's
// control handler) are also fed from the simulator: a thread of the platform
// layer connects to the pipe "<pipe>-events", reads WnDeviceEventRecord
// records and delivers each as the system would (WM_DEVICECHANGE sent to
// the window; SERVICE_CONTROL_DEVICEEVENT to a handler registered with
// wnRegisterServiceCtrlHandlerEx). The value is read when a registration is
// made.
//
// Threading: the functions are safe from any thread.
//
//   char16_t pipe[WN_PIPE_NAME_CHARS];
//   if (wnSimulatedDriverPipe(pipe) == 0) ...use the pipe transport...
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/WnCom.h"
#include "platform/WnPipe.h"
#include "platform/WnTypes.h"

inline constexpr char16_t WN_SIMULATED_DRIVER_KEY[] = u"Software\\HALVENOR\\tovix8";
inline constexpr char16_t WN_SIMULATED_DRIVER_VALUE[] = u"SimulatedDriver";
inline constexpr char16_t WN_SIMULATED_EVENTS_SUFFIX[] = u"-events";

// The pipe path of the opt-in. WN_ERROR_FILE_NOT_FOUND without the key or
// the value; WN_ERROR_BAD_FORMAT for a value that is not a non-empty REG_SZ
// pipe name that fits (treated as absent by every caller).
uint32_t wnSimulatedDriverPipe(char16_t (&out)[WN_PIPE_NAME_CHARS]);

// pipe + suffix as a pipe path; false when it does not fit.
bool wnDerivedPipePath(const char16_t* pipe, const char16_t* suffix, char16_t (&out)[WN_PIPE_NAME_CHARS]);

constexpr uint32_t WN_DEVICE_EVENT_MAGIC = 0x45443854;  // "T8DE"
constexpr size_t WN_DEVICE_EVENT_NAME_CHARS = 112;

// One arrival or removal, as the simulator writes it to every subscriber
// (fixed layout, little-endian).
struct WnDeviceEventRecord {
  uint32_t magic;      // WN_DEVICE_EVENT_MAGIC
  uint32_t size;       // sizeof(WnDeviceEventRecord)
  uint32_t eventType;  // WN_DBT_DEVICEARRIVAL or WN_DBT_DEVICEREMOVECOMPLETE
  uint32_t reserved;   // 0
  WnGuid classGuid;    // the device-interface class
  char16_t name[WN_DEVICE_EVENT_NAME_CHARS];  // the interface's name, zero-terminated
};
static_assert(sizeof(WnDeviceEventRecord) == 256);
static_assert(offsetof(WnDeviceEventRecord, eventType) == 8);
static_assert(offsetof(WnDeviceEventRecord, classGuid) == 16);
static_assert(offsetof(WnDeviceEventRecord, name) == 32);

// A record for the event; the name is cut to fit.
WnDeviceEventRecord wnMakeDeviceEventRecord(uint32_t eventType, const WnGuid& classGuid, const char16_t* name);
// True for a record a subscriber may deliver: magic, size, an arrival or a
// removal, a terminated name.
bool wnIsValidDeviceEventRecord(const WnDeviceEventRecord& record);

// Win32: RegisterServiceCtrlHandlerExW that also remembers the handler, so
// that simulated device events reach it. handler has the HandlerEx
// signature and calling convention (WN_STDCALL of WnCom.h). POSIX:
// WN_ERROR_CALL_NOT_IMPLEMENTED.
using WnServiceHandlerProc = uint32_t(WN_STDCALL*)(uint32_t control, uint32_t eventType, void* eventData,
                                                  void* context);
uint32_t wnRegisterServiceCtrlHandlerEx(const char16_t* serviceName, WnServiceHandlerProc handler, void* context,
                                        WnServiceStatusHandle& statusHandle);
