// The simulated-driver device-event feed on POSIX: there is no service
// control manager, and a simulator in this process raises its device events
// directly (wnRaiseDeviceInterfaceEvent), so only the wrapper's stub is here.
#include "platform/WnSimulatedDriver.h"

uint32_t wnRegisterServiceCtrlHandlerEx(const char16_t*, WnServiceHandlerProc, void*, WnServiceStatusHandle& statusHandle) {
  statusHandle = nullptr;
  return WN_ERROR_CALL_NOT_IMPLEMENTED;
}
