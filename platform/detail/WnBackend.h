// Internal seam between the portable wrappers (platform/*.cpp) and the two
// backends (platform/win32, platform/posix). Not for use outside platform/.
//
// Every function returns a Win32 error code (0 = success) unless noted. The
// registry functions mirror RegCreateKeyExW / RegOpenKeyExW /
// RegQueryValueExW / RegSetValueExW / RegDeleteValueW / RegDeleteKeyW /
// RegCloseKey, so that WnRegistryKey keeps its checks in one place.
#pragma once

#include "platform/WnTypes.h"

class WnThreadCallbackInterface;
class WnWaitableTimerCallbackInterface;
struct WnDeviceInterfaceBroadcast;

namespace wn::detail {

// Kernel objects.
uint32_t createEvent(bool manualReset, bool initialState, WnRawHandle* out);
// Returns the last-error value after the creation (183 when the name
// existed; *out is valid then) or the failure code (*out null).
uint32_t createMutex(bool initialOwner, const char16_t* name, WnRawHandle* out);
uint32_t createThread(WnThreadCallbackInterface* callback, uint32_t stackSize, uint32_t creationFlags,
                      WnRawHandle* out, uint32_t* threadId);
// STILL_ACTIVE (259) while the thread runs or for a bad handle.
uint32_t threadExitCode(WnRawHandle thread);
uint32_t createWaitableTimer(bool manualReset, void* securityAttributes, const char16_t* name, WnRawHandle* out);
uint32_t setWaitableTimer(WnRawHandle timer, int64_t dueTime100ns, int32_t periodMs,
                          WnWaitableTimerCallbackInterface* callback, bool resume);
uint32_t cancelWaitableTimer(WnRawHandle timer);

// Registry (see above). A null or empty subKey names the parent itself.
uint32_t regCreateKey(WnRegKey parent, const char16_t* subKey, uint32_t access, WnRegKey* out);
uint32_t regOpenKey(WnRegKey parent, const char16_t* subKey, uint32_t access, WnRegKey* out);
// data may be null (then only type and size are reported).
uint32_t regQueryValue(WnRegKey key, const char16_t* name, uint32_t* type, void* data, uint32_t* size);
uint32_t regSetValue(WnRegKey key, const char16_t* name, uint32_t type, const void* data, uint32_t size);
uint32_t regDeleteValue(WnRegKey key, const char16_t* name);
uint32_t regDeleteKey(WnRegKey key, const char16_t* subKey);
uint32_t regCloseKey(WnRegKey key);

// Device notifications. kind: 0 window, 1 service status handle.
uint32_t registerDeviceNotification(int kind, void* recipient, const WnDeviceInterfaceBroadcast& filter,
                                    void** notifyHandle);
void unregisterDeviceNotification(void* notifyHandle);

// Window plumbing used by WnPnPNotificator::handleMessage.
intptr_t defWindowProc(WnWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);
void postQuitMessage(int exitCode);
// The program's own module (null instance passed to start).
WnInstance moduleInstance();
// Frees what the backend kept in WnPnPNotificator::backend_ (null: nothing).
void destroyNotificatorBackend(void* backend);
// Formats "<prefix><process id>_<calling thread's id>" (portable).
void formatWithIds(char16_t (&out)[80], const char* prefix);

}  // namespace wn::detail

// Window messages the notificator uses (Win32 values).
constexpr uint32_t WN_WM_DESTROY = 0x0002;
constexpr uint32_t WN_WM_CLOSE = 0x0010;
constexpr uint32_t WN_WM_QUIT = 0x0012;
